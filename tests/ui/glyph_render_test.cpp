// Renders buttons through GDI into memory bitmaps and checks the pixels.
#include <gtest/gtest.h>

#include "glyph_model.h"
#include "resources/resource.h"

using namespace glyph_test;

namespace {

class GlyphRender : public ::testing::Test {
 protected:
  void SetUp() override {
    g_instance = GetModuleHandleA(nullptr);
    if (!GlyphDC) {
      ASSERT_EQ(InitButtonDrawing(), 1);
    }
  }
};

TEST_F(GlyphRender, ThePlayGlyphSitsAtTenTwoAndAtElevenThreeWhenPressed) {
  ColorsScope colors(kClassic);
  Canvas canvas;
  PaintButton(canvas, IDC_PLAY, 0);
  // The triangle's tip column (glyph column 8, rows 3..13) lands on button column 18.
  for (int row = 3; row <= 13; ++row) EXPECT_EQ(canvas.At(18, 2 + row), kBlack) << row;
  EXPECT_EQ(canvas.At(17, 8), kSilver);
  EXPECT_EQ(canvas.At(28, 10), kBlack);  // glyph (18, 8): the triangle's point
  EXPECT_EQ(canvas.At(29, 10), kSilver);
  for (UINT state : {0u, UINT(ODS_SELECTED | ODS_FOCUS)}) {
    PaintButton(canvas, IDC_PLAY, state);
    // The corners keep the face colour in both looks.
    for (auto [x, y] : {std::pair{0, 0}, {44, 0}, {0, 21}, {44, 21}})
      EXPECT_EQ(canvas.At(x, y), kSilver) << x << "," << y;
  }
  EXPECT_EQ(canvas.At(18, 5), kSilver);
  for (int row = 3; row <= 13; ++row) EXPECT_EQ(canvas.At(19, 3 + row), kBlack) << row;
  EXPECT_EQ(Differences(canvas.Read(), ColourButton(2, kClassic, true)), "");
}

TEST_F(GlyphRender, EveryButtonShowsItsOwnGlyphInEveryLook) {
  // The last set has every colour distinct, the four glyph colours standard so the glyph is
  // copied straight.
  for (const Colors& c : {kClassic, kWineLike, Colors{kBlack, kGray, kSilver, kWhite, 0x0000FF}}) {
    ColorsScope colors(c);
    for (int index = 0; index < 5; ++index) {
      Canvas canvas;
      const UINT id = IDC_REWIND + index;
      PaintButton(canvas, id, 0);
      EXPECT_EQ(Differences(canvas.Read(), ColourButton(index, c, false)), "") << index;
      PaintButton(canvas, id, ODS_SELECTED);
      EXPECT_EQ(Differences(canvas.Read(), ColourButton(index, c, true)), "") << index;
      PaintButton(canvas, id, ODS_DISABLED);
      EXPECT_EQ(Differences(canvas.Read(), EmbossedButton(index, c)), "") << index;
      // Selected and disabled: drawn pressed, in colour.
      PaintButton(canvas, id, ODS_SELECTED | ODS_DISABLED);
      EXPECT_EQ(Differences(canvas.Read(), ColourButton(index, c, true)), "") << index;
    }
  }
}

TEST_F(GlyphRender, DisabledStopShowsAShadowRectangleWithAHighlightEdge) {
  for (const Colors& c : {kClassic, kWineLike}) {
    ColorsScope colors(c);
    Canvas canvas;
    PaintButton(canvas, IDC_STOP, ODS_DISABLED);
    for (int y = 2; y <= 18; ++y) {
      for (int x = 2; x <= 41; ++x) {
        COLORREF want = c.face;
        if (x >= 16 && x <= 28 && y >= 6 && y <= 14) {
          want = c.shadow;
        } else if ((x == 29 && y >= 7 && y <= 15) || (y == 15 && x >= 17 && x <= 29)) {
          want = c.highlight;
        }
        ASSERT_EQ(canvas.At(x, y), want) << "at " << x << "," << y;
      }
    }
  }
}

TEST_F(GlyphRender, OtherFaceColourLeavesNoSilverAndKeepsTheRedDisc) {
  Colors c = kClassic;
  c.face = 0xD8E4EC;
  ColorsScope colors(c);
  Canvas canvas;
  PaintButton(canvas, IDC_RECORD, 0);
  const Image image = canvas.Read();
  for (int y = 0; y < kButtonH; ++y)
    for (int x = 0; x < kButtonW; ++x) ASSERT_NE(image.at(x, y), kSilver) << x << "," << y;
  EXPECT_EQ(image.at(10 + 11, 2 + 3), kDarkRed);  // top of the disc
  EXPECT_EQ(image.at(10 + 7, 2 + 8), kDarkRed);   // left edge
  EXPECT_EQ(image.at(10 + 6, 2 + 8), c.face);     // just outside it
  EXPECT_EQ(Differences(image, ColourButton(4, c, false)), "");
}

TEST_F(GlyphRender, NonWhiteHighlightRecoloursWhiteGlyphPixels) {
  // The committed strip has no white or gray pixels, so this strip is made here: glyph 2
  // holds one pixel of each standard colour and one of another colour.
  HDC screen = GetDC(nullptr);
  ScopedGdiObj<HBITMAP> strip(CreateCompatibleBitmap(screen, 5 * kGlyphW, kGlyphH));
  ReleaseDC(nullptr, screen);
  ASSERT_TRUE(strip);
  const int base = 2 * kGlyphW;
  {
    ScopedDC paint(CreateCompatibleDC(nullptr));
    ScopedSelectObject select(paint.get(), strip.get());
    for (int y = 0; y < kGlyphH; ++y)
      for (int x = 0; x < 5 * kGlyphW; ++x) SetPixel(paint.get(), x, y, kSilver);
    SetPixel(paint.get(), base + 3, 4, kWhite);
    SetPixel(paint.get(), base + 4, 4, kWhite);
    SetPixel(paint.get(), base + 5, 4, kGray);
    SetPixel(paint.get(), base + 6, 4, kBlack);
    SetPixel(paint.get(), base + 7, 4, 0xFF0000);
    SetPixel(paint.get(), 3, 4, kBlack);  // another glyph's pixel must not show
  }
  const Colors c{0x102030, 0x405060, 0x708090, 0x00FFFF, 0x000000};
  ColorsScope colors(c);
  Canvas canvas;
  ASSERT_EQ(RenderButton(canvas.dc(), 0, 0, kButtonW, kButtonH, strip.get(), kGlyphW, kGlyphH, 2,
                         GLYPH_DRAW),
            1);
  Image want = Frame(kButtonW, kButtonH, c, false);
  want.at(10 + 3, 2 + 4) = want.at(10 + 4, 2 + 4) = c.highlight;
  want.at(10 + 5, 2 + 4) = c.shadow;
  want.at(10 + 6, 2 + 4) = c.text;
  want.at(10 + 7, 2 + 4) = 0xFF0000;
  EXPECT_EQ(Differences(canvas.Read(), want), "");
}

TEST_F(GlyphRender, ColoursAreReadThroughTheSeamAtEveryPaint) {
  Colors c = kClassic;
  ColorsScope colors(c);
  Canvas canvas;
  PaintButton(canvas, IDC_REWIND, 0);
  EXPECT_GE(g_colorReads, 5);
  EXPECT_EQ(canvas.At(5, 10), kSilver);

  g_colors.face = 0x00E0E0;
  g_colors.frame = 0xFF0000;
  PaintButton(canvas, IDC_REWIND, 0);
  EXPECT_EQ(canvas.At(5, 10), 0x00E0E0u);
  EXPECT_EQ(canvas.At(5, 0), 0xFF0000u);
  EXPECT_EQ(ButtonColors[2], 0x00E0E0u);
  EXPECT_EQ(ButtonColors[4], 0xFF0000u);
}

TEST_F(GlyphRender, PaintPutsBackWhatItSelected) {
  ColorsScope colors(kWineLike);
  Canvas canvas;
  const HGDIOBJ glyphBitmap = GetCurrentObject(GlyphDC, OBJ_BITMAP);
  const HGDIOBJ maskBitmap = GetCurrentObject(MaskDC, OBJ_BITMAP);
  const HGDIOBJ targetBrush = GetCurrentObject(canvas.dc(), OBJ_BRUSH);
  SetBkColor(canvas.dc(), 0x123456);
  SetTextColor(canvas.dc(), 0x654321);
  for (UINT state : {0u, UINT(ODS_SELECTED), UINT(ODS_DISABLED)}) {
    PaintButton(canvas, IDC_STOP, state);
    EXPECT_EQ(GetCurrentObject(GlyphDC, OBJ_BITMAP), glyphBitmap);
    EXPECT_EQ(GetCurrentObject(MaskDC, OBJ_BITMAP), maskBitmap);
    EXPECT_EQ(GetCurrentObject(canvas.dc(), OBJ_BRUSH), targetBrush);
    EXPECT_EQ(GetBkColor(canvas.dc()), 0x123456u);
    EXPECT_EQ(GetTextColor(canvas.dc()), 0x654321u);
  }
}

TEST_F(GlyphRender, OnlyOwnerDrawnButtonsArePainted) {
  ColorsScope colors(kClassic);
  Canvas canvas;
  PaintButton(canvas, IDC_PLAY, 0, ODT_STATIC);
  for (int y = 0; y < kButtonH; ++y)
    for (int x = 0; x < kButtonW; ++x) ASSERT_EQ(canvas.At(x, y), 0xFF00FFu);
  EXPECT_EQ(
      RenderButton(nullptr, 0, 0, kButtonW, kButtonH, nullptr, kGlyphW, kGlyphH, 0, GLYPH_DRAW), 0);
}

TEST_F(GlyphRender, WithoutTheDrawingSurfacesOnlyTheFrameIsDrawn) {
  ColorsScope colors(kClassic);
  const HDC glyphDC = std::exchange(GlyphDC, nullptr);
  const HDC maskDC = std::exchange(MaskDC, nullptr);
  Canvas canvas;
  PaintButton(canvas, IDC_PLAY, 0);
  const Image raised = canvas.Read();
  PaintButton(canvas, IDC_PLAY, ODS_SELECTED);
  const Image sunken = canvas.Read();
  GlyphDC = glyphDC;
  MaskDC = maskDC;
  EXPECT_EQ(Differences(raised, Frame(kButtonW, kButtonH, kClassic, false)), "");
  EXPECT_EQ(Differences(sunken, Frame(kButtonW, kButtonH, kClassic, true)), "");
}

}  // namespace
