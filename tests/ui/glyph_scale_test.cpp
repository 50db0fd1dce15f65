// The buttons drawn for other display scales, through GDI into memory bitmaps.
#include <gtest/gtest.h>

#include "state/context.h"
#include "resources/resource.h"
#include "scaled_glyph_model.h"

using namespace glyph_test;

namespace {

constexpr UINT kScales[] = {120, 144, 168, 192, 288};

// Paints button `id` at the DPI its window is laid out for, as its owner-draw message would.
void PaintAt(const AnyCanvas& canvas, const Sizes& s, UINT id, UINT itemState) {
  PaintButtonInto(canvas.dc(), s.buttonW, s.buttonH, id, itemState);
}

TEST(GlyphScale, AtEveryScaleEachButtonShowsItsPictureGrownToTheNearestPixel) {
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
        AnyCanvas canvas(s.buttonW, s.buttonH);
        const UINT id = IDC_REWIND + index;
        PaintAt(canvas, s, id, 0);
        EXPECT_EQ(AnyDifferences(canvas.Read(), AnyColourButton(index, s, c, false)), "");
        PaintAt(canvas, s, id, ODS_SELECTED);
        EXPECT_EQ(AnyDifferences(canvas.Read(), AnyColourButton(index, s, c, true)), "");
        PaintAt(canvas, s, id, ODS_DISABLED);
        EXPECT_EQ(AnyDifferences(canvas.Read(), AnyEmbossedButton(index, s, c)), "");
      }
    }
  }
  g_controls.dpi = 96;
}

TEST(GlyphScale, TwiceTheDpiDoublesEveryPixelAndTheModelAgreesAt96) {
  const Sizes s = SizesAt(192);
  ASSERT_EQ(s.glyphW, 2 * kGlyphW);
  for (int index = 0; index < 5; ++index) {
    const Glyph g = GlyphPicture(index);
    for (int y = 0; y < s.glyphH; ++y)
      for (int x = 0; x < s.glyphW; ++x)
        ASSERT_EQ(ScaledGlyphPixel(g, x, y, s.glyphW, s.glyphH), g[y / 2][x / 2]);
  }
  // The model of any size is the 96-DPI one at 96 DPI.
  const Sizes base = SizesAt(96);
  for (int index = 0; index < 5; ++index) {
    const Image want = ColourButtonImage(index, kWineLike, true);
    const AnyImage got = AnyColourButton(index, base, kWineLike, true);
    for (int y = 0; y < kButtonH; ++y)
      for (int x = 0; x < kButtonW; ++x) ASSERT_EQ(got.at(x, y), want[y][x]);
  }
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
