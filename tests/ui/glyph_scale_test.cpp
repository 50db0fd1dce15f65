// The buttons drawn for other display scales, through GDI into memory bitmaps.
#include <gtest/gtest.h>

#include "state/context.h"
#include "resources/resource.h"
#include "glyph_model.h"

using namespace glyph_test;

namespace {

constexpr UINT kScales[] = {120, 144, 168, 192, 288};

// Fractional growth lets a pixel take any of the picture's pixels it covers; 192 and 288 DPI
// repeat each pixel exactly.
TEST(GlyphScale, AtEveryScaleEachButtonShowsItsPictureGrown) {
  g_instance = GetModuleHandleA(nullptr);
  if (!GlyphDC) {
    ASSERT_EQ(InitButtonDrawing(), 1);
  }
  for (const UINT dpi : kScales) {
    g_controls.dpi = dpi;
    const Sizes s = SizesAt(dpi);
    const SIZE glyph = GlyphSizeForDpi(dpi);
    EXPECT_EQ(glyph.cx, s.glyphW) << dpi;
    EXPECT_EQ(glyph.cy, s.glyphH) << dpi;
    // Both ways of putting the glyph's colours on: copied straight and remapped.
    for (const Colors& c : {kClassic, kWineLike}) {
      ColorsScope colors(c);
      for (int index = 0; index < 5; ++index) {
        SCOPED_TRACE(::testing::Message() << "dpi " << dpi << " glyph " << index);
        Canvas canvas(s.buttonW, s.buttonH);
        const UINT id = IDC_REWIND + index;
        PaintButtonInto(canvas.dc(), s.buttonW, s.buttonH, id, 0);
        EXPECT_EQ(Differences(canvas.Read(), ColourButton(index, c, false, dpi)), "");
        PaintButtonInto(canvas.dc(), s.buttonW, s.buttonH, id, ODS_SELECTED);
        EXPECT_EQ(Differences(canvas.Read(), ColourButton(index, c, true, dpi)), "");
        PaintButtonInto(canvas.dc(), s.buttonW, s.buttonH, id, ODS_DISABLED);
        EXPECT_EQ(Differences(canvas.Read(), EmbossedButton(index, c, dpi)), "");
      }
    }
  }
  g_controls.dpi = 96;
}

// The program's strip at 192 DPI against the committed one read at 96, each pixel doubled.
Image StripPixels(HBITMAP strip) {
  BITMAP info{};
  GetObjectA(strip, sizeof info, &info);
  ScopedDC dc(CreateCompatibleDC(nullptr));
  ScopedSelectObject select(dc.get(), strip);
  return ReadArea(dc.get(), 0, 0, info.bmWidth, info.bmHeight);
}

TEST(GlyphScale, TwiceTheDpiDoublesEveryPixelOfTheStrip) {
  ScopedGdiObj<HBITMAP> strip(
      LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_BUTTONS)));
  ASSERT_TRUE(strip);
  ScopedGdiObj<HBITMAP> doubled(ScaleGlyphStrip(strip.get(), 192));
  ASSERT_TRUE(doubled);
  const Image base = StripPixels(strip.get());
  const Image got = StripPixels(doubled.get());
  ASSERT_EQ(got.w, 2 * base.w);
  ASSERT_EQ(got.h, 2 * base.h);
  Image want(got.w, got.h, 0);
  for (int y = 0; y < got.h; ++y)
    for (int x = 0; x < got.w; ++x) want.at(x, y) = base.at(x / 2, y / 2);
  EXPECT_EQ(Differences(got, want), "");
}

TEST(GlyphScale, AStripThatCannotBeScaledOrAnUnheardOfDpiGivesNothing) {
  EXPECT_EQ(ScaleGlyphStrip(nullptr, 144), nullptr);
  HDC screen = GetDC(nullptr);
  ScopedGdiObj<HBITMAP> odd(CreateCompatibleBitmap(screen, 5 * kGlyphW, kGlyphH + 1));
  ReleaseDC(nullptr, screen);
  EXPECT_EQ(ScaleGlyphStrip(odd.get(), 144), nullptr);
  // A DPI beyond any display's is refused rather than sizing memory after it.
  ScopedGdiObj<HBITMAP> strip(
      LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_BUTTONS)));
  ASSERT_TRUE(strip);
  EXPECT_EQ(ScaleGlyphStrip(strip.get(), 65535), nullptr);
  ScopedGdiObj<HBITMAP> largest(ScaleGlyphStrip(strip.get(), 960));
  EXPECT_TRUE(largest);
}

}  // namespace
