// What the transport buttons must look like at any display scale, written from their pictures
// and pixel layout: the frame stays one pixel per line, and the glyph grows with the DPI, each
// of its pixels one of the picture's pixels it covers (whole-number growth repeats each pixel).
// Plus a memory canvas to render into, a reader of the screen and a fake source of colours.
#pragma once

#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "state/context.h"
#include "platform/owners.h"
#include "support/test_support.h"
#include "ui/glyph_buttons.h"

namespace glyph_test {

constexpr int kButtonW = 45;
constexpr int kButtonH = 22;
constexpr int kGlyphW = 25;
constexpr int kGlyphH = 17;

constexpr COLORREF kBlack = 0x000000;
constexpr COLORREF kGray = 0x808080;
constexpr COLORREF kSilver = 0xC0C0C0;
constexpr COLORREF kWhite = 0xFFFFFF;
constexpr COLORREF kDarkRed = 0x000080;  // red 128 as 0x00BBGGRR

using Glyph = std::array<std::array<COLORREF, kGlyphW>, kGlyphH>;  // [row][column]

// The five pictures, each from its own description.
inline Glyph GlyphPicture(int index) {
  Glyph g;
  for (auto& row : g) row.fill(kSilver);
  auto paint = [&](int row, int first, int last, COLORREF c) {
    for (int col = first; col <= last; ++col) g[row][col] = c;
  };
  // Rows 3 .. 8 are drawn, rows 9 .. 13 repeat rows 7 .. 3.
  auto triangleRows = [&](auto rowSpans) {
    for (int k = 0; k <= 5; ++k) {
      rowSpans(3 + k, k);
      if (k <= 4) rowSpans(13 - k, k);
    }
  };
  switch (index) {
    case 0:
      triangleRows([&](int row, int k) {
        paint(row, 11 - 2 * k, 11, kBlack);
        paint(row, 22 - 2 * k, 22, kBlack);
      });
      paint(8, 1, 22, kBlack);
      break;
    case 1:
      triangleRows([&](int row, int k) {
        paint(row, 1, 1 + 2 * k, kBlack);
        paint(row, 12, 12 + 2 * k, kBlack);
      });
      break;
    case 2:
      triangleRows([&](int row, int k) { paint(row, 8, 8 + 2 * k, kBlack); });
      break;
    case 3:
      for (int row = 4; row <= 12; ++row) paint(row, 6, 18, kBlack);
      break;
    case 4:
      paint(3, 11, 14, kDarkRed);
      paint(4, 9, 16, kDarkRed);
      for (int row = 5; row <= 6; ++row) paint(row, 8, 17, kDarkRed);
      for (int row = 7; row <= 10; ++row) paint(row, 7, 18, kDarkRed);
      for (int row = 11; row <= 12; ++row) paint(row, 8, 17, kDarkRed);
      paint(13, 9, 16, kDarkRed);
      paint(14, 11, 14, kDarkRed);
      break;
  }
  return g;
}

// The system colours a test wants the buttons to see.
struct Colors {
  COLORREF text, shadow, face, highlight, frame;
};
inline constexpr Colors kClassic{kBlack, kGray, kSilver, kWhite, kBlack};
// Wine's own defaults, which differ from the colours the strip is drawn in.
inline constexpr Colors kWineLike{0x000000, 0xA6A6A6, 0xF5F5F5, 0xFFFFFF, 0x9E9E9E};

inline Colors g_colors = kClassic;
inline int g_colorReads = 0;

inline DWORD WINAPI FakeSysColor(int index) {
  ++g_colorReads;
  switch (index) {
    case COLOR_BTNTEXT:
      return g_colors.text;
    case COLOR_BTNSHADOW:
      return g_colors.shadow;
    case COLOR_BTNFACE:
      return g_colors.face;
    case COLOR_BTNHIGHLIGHT:
      return g_colors.highlight;
    case COLOR_WINDOWFRAME:
      return g_colors.frame;
  }
  return 0x123456;  // a colour no button may ask for
}

// Supplies the given colours through the program's seam for the scope.
class ColorsScope {
 public:
  explicit ColorsScope(const Colors& colors) : swap_(sys.GetSysColor, FakeSysColor) {
    g_colors = colors;
    g_colorReads = 0;
  }

 private:
  ScopedService<decltype(PlatformServices::GetSysColor)> swap_;
};

// An image of any size; a pixel of a glyph grown by a fraction may take any of its `choices`.
struct Image {
  int w = 0;
  int h = 0;
  std::vector<COLORREF> pixels;                // row by row
  std::vector<std::vector<COLORREF>> choices;  // empty, or the other colours of each pixel
  Image() = default;
  Image(int width, int height, COLORREF fill)
      : w(width), h(height), pixels(static_cast<size_t>(width) * height, fill) {}
  COLORREF& at(int x, int y) { return pixels[static_cast<size_t>(y) * w + x]; }
  COLORREF at(int x, int y) const { return pixels[static_cast<size_t>(y) * w + x]; }
  bool allows(int x, int y, COLORREF c) const {
    if (at(x, y) == c) return true;
    if (choices.empty()) return false;
    const auto& other = choices[static_cast<size_t>(y) * w + x];
    return std::find(other.begin(), other.end(), c) != other.end();
  }
  // Pixel (x, y) may be any of `colours` (the first is the one `at` shows).
  void set(int x, int y, const std::vector<COLORREF>& colours) {
    at(x, y) = colours.front();
    if (colours.size() == 1) return;
    choices.resize(pixels.size());
    choices[static_cast<size_t>(y) * w + x].assign(colours.begin() + 1, colours.end());
  }
};

inline int AtDpi(int length, UINT dpi) {
  return MulDiv(length, static_cast<int>(dpi), 96);
}

struct Sizes {
  int buttonW, buttonH, glyphW, glyphH;
};

inline Sizes SizesAt(UINT dpi) {
  return {AtDpi(kButtonW, dpi), AtDpi(kButtonH, dpi), AtDpi(kGlyphW, dpi), AtDpi(kGlyphH, dpi)};
}

// The frame as at 96 DPI, one pixel per line, around a button of any size; the inside is face.
inline Image Frame(int w, int h, const Colors& c, bool sunken) {
  Image m(w, h, c.face);
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

// A strip colour as the system colours show it; colours outside the four stay as they are.
inline COLORREF Shown(COLORREF strip, const Colors& c) {
  if (strip == kBlack) return c.text;
  if (strip == kGray) return c.shadow;
  if (strip == kSilver) return c.face;
  if (strip == kWhite) return c.highlight;
  return strip;
}

// The picture's pixels that pixel (x, y) of the glyph grown to `s` covers, as `colour` shows
// them; none outside the glyph.
template <typename Colour>
std::vector<COLORREF> Covered(const Glyph& g, const Sizes& s, int x, int y, Colour colour) {
  std::vector<COLORREF> out;
  if (x < 0 || y < 0 || x >= s.glyphW || y >= s.glyphH) return out;
  for (int r = y * kGlyphH / s.glyphH; r <= ((y + 1) * kGlyphH - 1) / s.glyphH; ++r)
    for (int col = x * kGlyphW / s.glyphW; col <= ((x + 1) * kGlyphW - 1) / s.glyphW; ++col)
      if (std::find(out.begin(), out.end(), colour(g[r][col])) == out.end())
        out.push_back(colour(g[r][col]));
  return out;
}

// The glyph sits centred in the frame's inside, one pixel right and down when pressed.
inline POINT GlyphOrigin(const Sizes& s, bool pressed) {
  const int shift = pressed ? 1 : 0;
  return {1 + ((s.buttonW - 2 - s.glyphW) >> 1) + shift,
          1 + ((s.buttonH - 2 - s.glyphH) >> 1) + shift};
}

inline Image ColourButton(int index, const Colors& c, bool pressed, UINT dpi = 96) {
  const Sizes s = SizesAt(dpi);
  Image m = Frame(s.buttonW, s.buttonH, c, pressed);
  const Glyph g = GlyphPicture(index);
  const POINT o = GlyphOrigin(s, pressed);
  for (int y = 0; y < s.glyphH; ++y)
    for (int x = 0; x < s.glyphW; ++x)
      m.set(o.x + x, o.y + y, Covered(g, s, x, y, [&](COLORREF p) { return Shown(p, c); }));
  return m;
}

// The glyph's dark pixels in shadow over the same shape in highlight one pixel right and down.
inline Image EmbossedButton(int index, const Colors& c, UINT dpi = 96) {
  const Sizes s = SizesAt(dpi);
  Image m = Frame(s.buttonW, s.buttonH, c, false);
  const Glyph g = GlyphPicture(index);
  const POINT o = GlyphOrigin(s, false);
  const auto dark = [](COLORREF p) { return static_cast<COLORREF>(p != kSilver && p != kWhite); };
  for (int y = 0; y <= s.glyphH; ++y)
    for (int x = 0; x <= s.glyphW; ++x) {
      const std::vector<COLORREF> here = Covered(g, s, x, y, dark);
      const std::vector<COLORREF> above = Covered(g, s, x - 1, y - 1, dark);
      std::vector<COLORREF> colours;
      const auto may = [](const std::vector<COLORREF>& v, COLORREF d) {
        return std::find(v.begin(), v.end(), d) != v.end();
      };
      if (may(here, 1)) colours.push_back(c.shadow);
      if (here.empty() || may(here, 0)) {
        if (may(above, 1)) colours.push_back(c.highlight);
        // Beside the glyph the frame's pixel stays.
        if (above.empty() || may(above, 0))
          colours.push_back(here.empty() ? m.at(o.x + x, o.y + y) : c.face);
      }
      m.set(o.x + x, o.y + y, colours);
    }
  return m;
}

// Empty when `got` shows what `want` allows, else the sizes or the first few differing pixels.
inline std::string Differences(const Image& got, const Image& want) {
  if (got.w != want.w || got.h != want.h)
    return "size " + std::to_string(got.w) + "x" + std::to_string(got.h) + " want " +
           std::to_string(want.w) + "x" + std::to_string(want.h);
  std::string out;
  int shown = 0;
  for (int y = 0; y < got.h; ++y)
    for (int x = 0; x < got.w; ++x)
      if (!want.allows(x, y, got.at(x, y)) && shown++ < 8) {
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
inline Image ReadArea(HDC source, int left, int top, int w, int h) {
  Image image(w, h, 0);
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

// A screen-compatible memory bitmap, as a real button's drawing context has; magenta shows any
// pixel a paint did not reach.
class Canvas {
 public:
  explicit Canvas(int w = kButtonW, int h = kButtonH) : w_(w), h_(h) {
    HDC screen = GetDC(nullptr);
    dc_.reset(CreateCompatibleDC(screen));
    bitmap_.reset(CreateCompatibleBitmap(screen, w, h));
    ReleaseDC(nullptr, screen);
    previous_ = SelectObject(dc_.get(), bitmap_.get());
    RECT all{0, 0, w, h};
    SetBkColor(dc_.get(), 0x00FF00FF);
    ExtTextOutA(dc_.get(), 0, 0, ETO_OPAQUE, &all, "", 0, nullptr);
  }
  ~Canvas() { SelectObject(dc_.get(), previous_); }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  HDC dc() const { return dc_.get(); }
  COLORREF At(int x, int y) const { return GetPixel(dc_.get(), x, y); }
  Image Read() const { return ReadArea(dc_.get(), 0, 0, w_, h_); }

 private:
  int w_, h_;
  ScopedDC dc_;
  ScopedGdiObj<HBITMAP> bitmap_;
  HGDIOBJ previous_ = nullptr;
};

// Paints button `id`, `width` by `height`, into `dc` as its owner-draw message would.
inline void PaintButtonInto(HDC dc, int width, int height, UINT id, UINT itemState,
                            UINT controlType = ODT_BUTTON) {
  DRAWITEMSTRUCT item{};
  item.CtlType = controlType;
  item.CtlID = id;
  item.itemAction = ODA_DRAWENTIRE;
  item.itemState = itemState;
  item.hDC = dc;
  SetRect(&item.rcItem, 0, 0, width, height);
  DrawGlyphButton(&item);
}

// Paints button `id` at its 96-DPI size.
inline void PaintButton(const Canvas& canvas, UINT id, UINT itemState,
                        UINT controlType = ODT_BUTTON) {
  PaintButtonInto(canvas.dc(), kButtonW, kButtonH, id, itemState, controlType);
}

// Live GDI objects of this process. GetGuiResources when the platform counts them; Wine
// answers 0 there, so the handle table it shares with the process is counted instead, found
// through the PEB's GdiSharedHandleTable field (0x94 on Win32, 0xF8 on Win64). The PEB comes
// from NtQueryInformationProcess rather than NtCurrentTeb, whose x64 inline form GCC 12 at -O2
// flags as an out-of-bounds read.
inline long GdiObjectCount() {
  const DWORD reported = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  if (reported) return static_cast<long>(reported);
  struct Entry {
    unsigned long long object;
    unsigned long owner;
    unsigned short unique;
    unsigned char type;
    unsigned char flags;
    unsigned long long userPointer;
  };
  static_assert(sizeof(Entry) == 24);
  constexpr int kTableEntries = 0x4000;
  constexpr unsigned kGdiTableOffset = sizeof(void*) == 8 ? 0xF8 : 0x94;
  using QueryProcess = LONG(WINAPI*)(HANDLE, PROCESSINFOCLASS, void*, ULONG, ULONG*);
  const auto query = reinterpret_cast<QueryProcess>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess")));
  PROCESS_BASIC_INFORMATION basic{};
  if (!query ||
      query(GetCurrentProcess(), ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0)
    return -1;
  auto* peb = reinterpret_cast<const char*>(basic.PebBaseAddress);
  auto* table = *reinterpret_cast<const Entry* const*>(peb + kGdiTableOffset);
  if (!table) return -1;
  long live = 0;
  for (int i = 0; i < kTableEntries; ++i) live += table[i].type != 0;
  return live;
}

}  // namespace glyph_test
