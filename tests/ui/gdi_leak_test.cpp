// Painting must give back every GDI object it makes.
#include <gtest/gtest.h>

#include "glyph_model.h"
#include "resources/resource.h"

using namespace glyph_test;

namespace {

TEST(GlyphLeaks, ObjectCountIsTheSameAfterAThousandPaintsAsAfterTen) {
  g_instance = GetModuleHandleA(nullptr);
  ASSERT_EQ(InitButtonDrawing(), 1);
  Canvas canvas;

  // The counter itself must see one new object.
  const long before = GdiObjectCount();
  ASSERT_GT(before, 0);
  {
    ScopedGdiObj<HBRUSH> probe(CreateSolidBrush(0x010203));
    ASSERT_EQ(GdiObjectCount(), before + 1) << "cannot count GDI objects here";
  }

  // Both colour paths, and all three looks, on every button.
  auto paint = [&](int n) {
    for (int i = 0; i < n; ++i) {
      ColorsScope colors(i % 2 ? kClassic : kWineLike);
      const UINT states[] = {0, ODS_SELECTED, ODS_DISABLED};
      PaintButton(canvas, IDC_REWIND + i % 5, states[i % 3]);
    }
  };
  paint(10);
  const long afterTen = GdiObjectCount();
  paint(990);
  EXPECT_EQ(GdiObjectCount(), afterTen);
}

}  // namespace
