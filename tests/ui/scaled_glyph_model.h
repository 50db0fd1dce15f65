// The transport buttons at any display scale: the button and its glyph grow with the DPI, the
// frame stays one pixel per line, and every glyph pixel is the 96-DPI picture's pixel nearest
// to its centre. Images of any size, read from a drawing context or from the screen.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "glyph_model.h"

namespace glyph_test {

inline int AtDpi(int length, UINT dpi) {
  return MulDiv(length, static_cast<int>(dpi), 96);
}

struct Sizes {
  int buttonW, buttonH, glyphW, glyphH;
};

inline Sizes SizesAt(UINT dpi) {
  return {AtDpi(kButtonW, dpi), AtDpi(kButtonH, dpi), AtDpi(kGlyphW, dpi), AtDpi(kGlyphH, dpi)};
}

struct AnyImage {
  int w = 0;
  int h = 0;
  std::vector<COLORREF> pixels;  // row by row
  AnyImage() = default;
  AnyImage(int width, int height, COLORREF fill)
      : w(width), h(height), pixels(static_cast<size_t>(width) * height, fill) {}
  COLORREF& at(int x, int y) { return pixels[static_cast<size_t>(y) * w + x]; }
  COLORREF at(int x, int y) const { return pixels[static_cast<size_t>(y) * w + x]; }
};

// The picture's pixel nearest to the centre of pixel (x, y) of a glyph of the given size.
inline COLORREF ScaledGlyphPixel(const Glyph& g, int x, int y, int gw, int gh) {
  return g[(2 * y + 1) * kGlyphH / (2 * gh)][(2 * x + 1) * kGlyphW / (2 * gw)];
}

// The frame as at 96 DPI, one pixel per line, around a button of any size.
inline AnyImage AnyFrame(int w, int h, const Colors& c, bool sunken) {
  AnyImage m(w, h, c.face);
  for (int x = 1; x <= w - 2; ++x) m.at(x, 0) = m.at(x, h - 1) = c.frame;
  for (int y = 1; y <= h - 2; ++y) m.at(0, y) = m.at(w - 1, y) = c.frame;
  if (sunken) {
    for (int y = 1; y <= h - 2; ++y) m.at(1, y) = c.shadow;
    for (int x = 1; x <= w - 2; ++x) m.at(x, 1) = c.shadow;
    return m;
  }
  for (int y = 1; y <= h - 3; ++y) m.at(1, y) = c.highlight;
  for (int x = 1; x <= w - 3; ++x) m.at(x, 1) = c.highlight;
  for (int y = 1; y <= h - 2; ++y) m.at(w - 2, y) = c.shadow;
  for (int x = 1; x <= w - 2; ++x) m.at(x, h - 2) = c.shadow;
  for (int y = 2; y <= h - 3; ++y) m.at(w - 3, y) = c.shadow;
  for (int x = 2; x <= w - 3; ++x) m.at(x, h - 3) = c.shadow;
  return m;
}

// The glyph sits centred in the frame's inside, one pixel right and down when pressed.
inline int GlyphLeft(const Sizes& s, bool pressed) {
  return 1 + ((s.buttonW - 2 - s.glyphW) >> 1) + (pressed ? 1 : 0);
}
inline int GlyphTop(const Sizes& s, bool pressed) {
  return 1 + ((s.buttonH - 2 - s.glyphH) >> 1) + (pressed ? 1 : 0);
}

inline AnyImage AnyColourButton(int index, const Sizes& s, const Colors& c, bool pressed) {
  AnyImage m = AnyFrame(s.buttonW, s.buttonH, c, pressed);
  const Glyph g = GlyphPicture(index);
  const int left = GlyphLeft(s, pressed), top = GlyphTop(s, pressed);
  for (int y = 0; y < s.glyphH; ++y)
    for (int x = 0; x < s.glyphW; ++x)
      m.at(left + x, top + y) = Shown(ScaledGlyphPixel(g, x, y, s.glyphW, s.glyphH), c);
  return m;
}

inline AnyImage AnyEmbossedButton(int index, const Sizes& s, const Colors& c) {
  AnyImage m = AnyFrame(s.buttonW, s.buttonH, c, false);
  const Glyph g = GlyphPicture(index);
  const int left = GlyphLeft(s, false), top = GlyphTop(s, false);
  auto dark = [&](int x, int y) {
    const COLORREF p = ScaledGlyphPixel(g, x, y, s.glyphW, s.glyphH);
    return p != kSilver && p != kWhite;
  };
  for (int pass = 0; pass < 2; ++pass)
    for (int y = 0; y < s.glyphH; ++y)
      for (int x = 0; x < s.glyphW; ++x)
        if (dark(x, y)) {
          if (pass == 0) m.at(left + 1 + x, top + 1 + y) = c.highlight;
          if (pass == 1) m.at(left + x, top + y) = c.shadow;
        }
  return m;
}

// Empty when equal, else the sizes or the first few differing pixels.
inline std::string AnyDifferences(const AnyImage& got, const AnyImage& want) {
  if (got.w != want.w || got.h != want.h)
    return "size " + std::to_string(got.w) + "x" + std::to_string(got.h) + " want " +
           std::to_string(want.w) + "x" + std::to_string(want.h);
  std::string out;
  int shown = 0;
  for (int y = 0; y < got.h; ++y)
    for (int x = 0; x < got.w; ++x)
      if (got.at(x, y) != want.at(x, y) && shown++ < 8) {
        char line[96];
        std::snprintf(line, sizeof line, "(%d,%d) got %06lX want %06lX; ", x, y,
                      static_cast<unsigned long>(got.at(x, y)),
                      static_cast<unsigned long>(want.at(x, y)));
        out += line;
      }
  if (shown > 8) out += "and " + std::to_string(shown - 8) + " more";
  return out;
}

// Copies an area of a drawing context (the screen's when null) and reads its pixels.
inline AnyImage ReadArea(HDC source, int left, int top, int w, int h) {
  AnyImage image(w, h, 0);
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -h;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap && bits) {
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, w, h, source ? source : screen, left, top, SRCCOPY);
    GdiFlush();
    const auto* rgb = static_cast<const DWORD*>(bits);
    for (size_t i = 0; i < image.pixels.size(); ++i)
      image.pixels[i] = RGB((rgb[i] >> 16) & 0xFF, (rgb[i] >> 8) & 0xFF, rgb[i] & 0xFF);
    SelectObject(memory, previous);
  }
  if (bitmap) DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return image;
}

// A screen-compatible memory bitmap of any size, as a real button's drawing context has.
class AnyCanvas {
 public:
  AnyCanvas(int w, int h) : w_(w), h_(h) {
    HDC screen = GetDC(nullptr);
    dc_.reset(CreateCompatibleDC(screen));
    bitmap_.reset(CreateCompatibleBitmap(screen, w, h));
    ReleaseDC(nullptr, screen);
    previous_ = SelectObject(dc_.get(), bitmap_.get());
    RECT all{0, 0, w, h};
    SetBkColor(dc_.get(), 0x00FF00FF);  // magenta: shows any pixel a paint did not reach
    ExtTextOutA(dc_.get(), 0, 0, ETO_OPAQUE, &all, "", 0, nullptr);
  }
  ~AnyCanvas() { SelectObject(dc_.get(), previous_); }
  AnyCanvas(const AnyCanvas&) = delete;
  AnyCanvas& operator=(const AnyCanvas&) = delete;

  HDC dc() const { return dc_.get(); }
  AnyImage Read() const { return ReadArea(dc_.get(), 0, 0, w_, h_); }

 private:
  int w_, h_;
  ScopedDC dc_;
  ScopedGdiObj<HBITMAP> bitmap_;
  HGDIOBJ previous_ = nullptr;
};

}  // namespace glyph_test
