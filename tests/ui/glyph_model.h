// What the transport buttons must look like, written from their pictures and pixel layout,
// plus a memory canvas to render into and a fake source of system colours.
#pragma once

#include <windows.h>
#include <winternl.h>

#include <array>
#include <cstdio>
#include <string>

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

using Image = std::array<std::array<COLORREF, kButtonW>, kButtonH>;  // [row][column]

// A screen-compatible memory bitmap of one button, as the real button's drawing context has.
class Canvas {
 public:
  Canvas() {
    HDC screen = GetDC(nullptr);
    dc_.reset(CreateCompatibleDC(screen));
    bitmap_.reset(CreateCompatibleBitmap(screen, kButtonW, kButtonH));
    ReleaseDC(nullptr, screen);
    previous_ = SelectObject(dc_.get(), bitmap_.get());
    Fill(0x00FF00FF);  // magenta: shows any pixel a paint did not reach
  }
  ~Canvas() { SelectObject(dc_.get(), previous_); }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  HDC dc() const { return dc_.get(); }
  void Fill(COLORREF c) {
    for (int y = 0; y < kButtonH; ++y)
      for (int x = 0; x < kButtonW; ++x) SetPixel(dc_.get(), x, y, c);
  }
  COLORREF At(int x, int y) const { return GetPixel(dc_.get(), x, y); }
  Image Read() const {
    Image image;
    for (int y = 0; y < kButtonH; ++y)
      for (int x = 0; x < kButtonW; ++x) image[y][x] = At(x, y);
    return image;
  }

 private:
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

// The frame as the pixel layout of a 45 x 22 button states it; the inside is face.
inline Image FrameImage(const Colors& c, bool sunken) {
  Image m;
  for (auto& row : m) row.fill(c.face);
  for (int x = 1; x <= 43; ++x) m[0][x] = m[21][x] = c.frame;
  for (int y = 1; y <= 20; ++y) m[y][0] = m[y][44] = c.frame;
  if (sunken) {
    for (int y = 1; y <= 20; ++y) m[y][1] = c.shadow;
    for (int x = 1; x <= 43; ++x) m[1][x] = c.shadow;
    return m;
  }
  for (int y = 1; y <= 19; ++y) m[y][1] = c.highlight;
  for (int x = 1; x <= 42; ++x) m[1][x] = c.highlight;
  for (int y = 1; y <= 20; ++y) m[y][43] = c.shadow;
  for (int x = 1; x <= 43; ++x) m[20][x] = c.shadow;
  for (int y = 2; y <= 19; ++y) m[y][42] = c.shadow;
  for (int x = 2; x <= 42; ++x) m[19][x] = c.shadow;
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

inline Image ColourButtonImage(int index, const Colors& c, bool pressed) {
  Image m = FrameImage(c, pressed);
  const Glyph g = GlyphPicture(index);
  const int left = pressed ? 11 : 10, top = pressed ? 3 : 2;
  for (int r = 0; r < kGlyphH; ++r)
    for (int col = 0; col < kGlyphW; ++col) m[top + r][left + col] = Shown(g[r][col], c);
  return m;
}

inline Image EmbossedButtonImage(int index, const Colors& c) {
  Image m = FrameImage(c, false);
  const Glyph g = GlyphPicture(index);
  auto dark = [&](int r, int col) { return g[r][col] != kSilver && g[r][col] != kWhite; };
  for (int r = 0; r < kGlyphH; ++r)
    for (int col = 0; col < kGlyphW; ++col)
      if (dark(r, col)) m[3 + r][11 + col] = c.highlight;
  for (int r = 0; r < kGlyphH; ++r)
    for (int col = 0; col < kGlyphW; ++col)
      if (dark(r, col)) m[2 + r][10 + col] = c.shadow;
  return m;
}

// Empty when equal, else the first few differing pixels.
inline std::string Differences(const Image& got, const Image& want) {
  std::string out;
  int shown = 0;
  for (int y = 0; y < kButtonH; ++y)
    for (int x = 0; x < kButtonW; ++x)
      if (got[y][x] != want[y][x] && shown++ < 8) {
        char line[96];
        std::snprintf(line, sizeof line, "(%d,%d) got %06lX want %06lX; ", x, y,
                      static_cast<unsigned long>(got[y][x]),
                      static_cast<unsigned long>(want[y][x]));
        out += line;
      }
  if (shown > 8) out += "and " + std::to_string(shown - 8) + " more";
  return out;
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
