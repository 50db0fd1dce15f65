// The committed glyph strip holds exactly the five pictures.
#include <gtest/gtest.h>

#include <vector>

#include "glyph_model.h"
#include "resources/resource.h"

using namespace glyph_test;

namespace {

TEST(GlyphStrip, ResourceIsA125By17SixteenColourBitmap) {
  HMODULE self = GetModuleHandleA(nullptr);
  HRSRC found = FindResourceA(self, MAKEINTRESOURCEA(IDB_BUTTONS), MAKEINTRESOURCEA(2));
  ASSERT_TRUE(found);
  ASSERT_GE(SizeofResource(self, found), sizeof(BITMAPINFOHEADER));
  const auto* header =
      static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(self, found)));
  ASSERT_TRUE(header);
  EXPECT_EQ(header->biWidth, 5 * kGlyphW);
  EXPECT_EQ(header->biHeight, kGlyphH);
  EXPECT_EQ(header->biBitCount, 4);
  EXPECT_EQ(header->biCompression, static_cast<DWORD>(BI_RGB));
}

TEST(GlyphStrip, EveryPixelMatchesItsPicture) {
  ScopedGdiObj<HBITMAP> strip(
      LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_BUTTONS)));
  ASSERT_TRUE(strip);
  BITMAP info{};
  ASSERT_TRUE(GetObjectA(strip.get(), sizeof info, &info));
  ASSERT_EQ(info.bmWidth, 5 * kGlyphW);
  ASSERT_EQ(info.bmHeight, kGlyphH);

  BITMAPINFO request{};
  request.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  request.bmiHeader.biWidth = 5 * kGlyphW;
  request.bmiHeader.biHeight = -kGlyphH;  // top row first
  request.bmiHeader.biPlanes = 1;
  request.bmiHeader.biBitCount = 32;
  request.bmiHeader.biCompression = BI_RGB;
  std::vector<DWORD> pixels(5 * kGlyphW * kGlyphH);
  HDC screen = GetDC(nullptr);
  const int rows =
      GetDIBits(screen, strip.get(), 0, kGlyphH, pixels.data(), &request, DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  ASSERT_EQ(rows, kGlyphH);

  int wrong = 0;
  for (int index = 0; index < 5; ++index) {
    const Glyph want = GlyphPicture(index);
    for (int r = 0; r < kGlyphH; ++r) {
      for (int c = 0; c < kGlyphW; ++c) {
        const DWORD rgb = pixels[r * 5 * kGlyphW + index * kGlyphW + c] & 0xFFFFFF;
        // DIB pixels are 0x00RRGGBB; pictures are 0x00BBGGRR.
        const COLORREF got = RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
        if (got != want[r][c] && wrong++ < 10) {
          ADD_FAILURE() << "glyph " << index << " column " << c << " row " << r << ": got "
                        << std::hex << got << " want " << want[r][c];
        }
      }
    }
  }
  EXPECT_EQ(wrong, 0);
}

}  // namespace
