// Drawing the owner-drawn transport buttons. Everything here runs on the main window's thread,
// one paint at a time.
#include "ui/glyph_buttons.h"

#include <optional>
#include <vector>

#include "state/context.h"
#include "platform/owners.h"
#include "platform/services.h"
#include "resources/resource.h"
#include "ui/dpi_scale.h"

namespace {

constexpr int FirstButtonId = IDC_REWIND;

// Ten times 96 DPI; the systems offer at most five.
constexpr UINT MaxScaledDpi = 960;

// Paint mask 1 with the selected brush and keep the destination where the mask is 0.
constexpr DWORD RopPaintWhereMaskSet = 0xE20746;
// Paint the selected brush where the mask is 0 and keep the destination where it is 1.
constexpr DWORD RopPaintWhereMaskClear = 0xB8074A;

constexpr COLORREF Black = 0x000000;
constexpr COLORREF Silver = 0xC0C0C0;
constexpr COLORREF White = 0xFFFFFF;

// Entries of ButtonColors.
enum ColorIndex { kText = 0, kShadow = 1, kFace = 2, kHighlight = 3, kFrame = 4 };

// The screen's drawing context for the scope.
class ScreenDC {
 public:
  ScreenDC() : dc_(GetDC(nullptr)) {}
  ScreenDC(const ScreenDC&) = delete;
  ScreenDC& operator=(const ScreenDC&) = delete;
  ~ScreenDC() {
    if (dc_) ReleaseDC(nullptr, dc_);
  }
  HDC get() const { return dc_; }

 private:
  HDC dc_;
};

// A 32-bit top-down request for GetDIBits and SetDIBits.
BITMAPINFO PixelRequest(int width, int height) {
  BITMAPINFO request{};
  request.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  request.bmiHeader.biWidth = width;
  request.bmiHeader.biHeight = -height;
  request.bmiHeader.biPlanes = 1;
  request.bmiHeader.biBitCount = 32;
  request.bmiHeader.biCompression = BI_RGB;
  return request;
}

// The source line or column nearest to the centre of target line `index` of `target`.
int NearestSource(int index, int source, int target) {
  return (2 * index + 1) * source / (2 * target);
}

// The strip for the DPI the controls are laid out for. Made at the first paint at a DPI and
// kept until the DPI changes; the strip at 96 DPI is used as it is.
struct GlyphSource {
  HBITMAP strip;
  SIZE glyph;
};

GlyphSource StripForDpi(HBITMAP strip, UINT dpi) {
  static ScopedGdiObj<HBITMAP> scaled;
  static UINT scaledDpi = 0;
  if (dpi == BaseDpi) return {strip, {GlyphWidth, GlyphHeight}};
  if (!scaled || scaledDpi != dpi) {
    scaled.reset(ScaleGlyphStrip(strip, dpi));
    scaledDpi = dpi;
  }
  // Should the copy fail (memory short), the glyphs show at their 96-DPI size.
  if (!scaled) return {strip, {GlyphWidth, GlyphHeight}};
  return {scaled.get(), GlyphSizeForDpi(dpi)};
}

// Saves a drawing context's state and restores it at scope end.
class SavedDCState {
 public:
  explicit SavedDCState(HDC dc) : dc_(dc), saved_(SaveDC(dc)) {}
  SavedDCState(const SavedDCState&) = delete;
  SavedDCState& operator=(const SavedDCState&) = delete;
  ~SavedDCState() {
    if (saved_) RestoreDC(dc_, saved_);
  }

 private:
  HDC dc_;
  int saved_;
};

bool HasStandardColors() {
  for (int i = 0; i < 4; ++i) {
    if (ButtonColors[i] != StandardGlyphColors[i]) return false;
  }
  return true;
}

// Copies the glyph into a work bitmap, paints each of the four standard colours found in the
// strip with the matching system colour, and puts the result at (gx, gy) of the target.
void DrawRemappedGlyph(HDC target, int gx, int gy, int gw, int gh, int index) {
  ScopedDC work(CreateCompatibleDC(target));
  if (!work) return;
  ScopedGdiObj<HBITMAP> workBitmap(CreateCompatibleBitmap(target, gw, gh));
  if (!workBitmap) return;
  ScopedSelectObject workSelection(work.get(), workBitmap.get());
  if (!workSelection.ok()) return;
  SetTextColor(work.get(), Black);
  SetBkColor(work.get(), White);

  const int sourceX = index * gw;
  BitBlt(work.get(), 0, 0, gw, gh, GlyphDC, sourceX, 0, SRCCOPY);
  for (int i = 0; i < 4; ++i) {
    // Every mask comes from the untouched strip, so a colour painted for one entry is never
    // picked up again by a later one.
    SetBkColor(GlyphDC, StandardGlyphColors[i]);
    BitBlt(MaskDC, 0, 0, gw, gh, GlyphDC, sourceX, 0, SRCCOPY);
    ScopedGdiObj<HBRUSH> brush(CreateSolidBrush(ButtonColors[i]));
    if (!brush) continue;
    ScopedSelectObject brushSelection(work.get(), brush.get());
    if (!brushSelection.ok()) continue;
    BitBlt(work.get(), 0, 0, gw, gh, MaskDC, 0, 0, RopPaintWhereMaskSet);
  }
  BitBlt(target, gx, gy, gw, gh, work.get(), 0, 0, SRCCOPY);
}

// Paints the brush of the given colour through the mask in MaskDC onto the target.
void PaintThroughMask(HDC target, int x, int y, int w, int h, COLORREF color) {
  ScopedGdiObj<HBRUSH> brush(CreateSolidBrush(color));
  if (!brush) return;
  ScopedSelectObject selection(target, brush.get());
  if (!selection.ok()) return;
  BitBlt(target, x, y, w, h, MaskDC, 0, 0, RopPaintWhereMaskClear);
}

// The disabled look: the glyph's dark pixels in the shadow colour, with a highlight-coloured
// copy one pixel right and down showing where the shadow does not cover it.
void DrawEmbossedGlyph(HDC target, int x, int y, int w, int h, int gw, int gh, int index, int dx,
                       int dy) {
  BuildGlyphMask(index, w - 2, h - 2, gw, gh, dx, dy);
  SetTextColor(target, Black);
  SetBkColor(target, White);
  PaintThroughMask(target, x + 2, y + 2, w - 4, h - 4, ButtonColors[kHighlight]);
  PaintThroughMask(target, x + 1, y + 1, w - 4, h - 4, ButtonColors[kShadow]);
}

}  // namespace

int InitButtonDrawing() {
  GlyphDC = CreateCompatibleDC(nullptr);
  MaskDC = CreateCompatibleDC(nullptr);
  if (GlyphDC && MaskDC) return 1;
  if (GlyphDC) DeleteDC(GlyphDC);
  if (MaskDC) DeleteDC(MaskDC);
  GlyphDC = nullptr;
  MaskDC = nullptr;
  return 0;
}

void DrawGlyphButton(const DRAWITEMSTRUCT* item) {
  if (!item || item->CtlType != ODT_BUTTON) return;
  // Loaded at the first paint and kept: every enabling change repaints buttons, and loading
  // the strip each time was much of a repaint's cost. A load that fails is tried again
  // at the next paint.
  static ScopedGdiObj<HBITMAP> strip;
  if (!strip) strip.reset(LoadBitmapA(g_instance, MAKEINTRESOURCEA(IDB_BUTTONS)));
  if (!strip) return;

  const GlyphSource source = StripForDpi(strip.get(), g_controls.dpi);

  UINT state = GLYPH_DRAW;
  if (item->itemState & ODS_SELECTED) {
    state = GLYPH_DRAW | GLYPH_SUNKEN;  // pressed wins over disabled
  } else if (item->itemState & ODS_DISABLED) {
    state = GLYPH_EMBOSS;
  }
  // A button's item rectangle starts at 0, 0, so its right and bottom are its size.
  RenderButton(item->hDC, item->rcItem.left, item->rcItem.top, item->rcItem.right,
               item->rcItem.bottom, source.strip, source.glyph.cx, source.glyph.cy,
               static_cast<int>(item->CtlID) - FirstButtonId, state);
}

int RenderButton(HDC target, int x, int y, int w, int h, HBITMAP strip, int gw, int gh, int index,
                 UINT state) {
  if (!target) return 0;
  const bool sunken = (state & GLYPH_SUNKEN) != 0;

  if (!GlyphDC || !MaskDC) {
    // Without the two surfaces made at start no glyph can be drawn; the frame still shows
    // the button and whether it is pressed.
    SavedDCState saved(target);
    DrawButtonFrame(target, x, y, w, h, sunken, ButtonColors);
    return 1;
  }

  ScopedGdiObj<HBITMAP> mask(CreateBitmap(w - 2, h - 2, 1, 1, nullptr));
  if (!mask) return 0;
  ScopedSelectObject maskSelection(MaskDC, mask.get());
  if (!maskSelection.ok()) return 0;

  SavedDCState saved(target);
  DrawButtonFrame(target, x, y, w, h, sunken, ButtonColors);
  if (!strip) return 1;  // nothing to take a glyph from
  ScopedSelectObject stripSelection(GlyphDC, strip);
  if (!stripSelection.ok()) return 1;

  const int shift = sunken ? 1 : 0;
  // Arithmetic shifts: a glyph wider than the button is centred by rounding toward minus
  // infinity, as the halving of a negative span should.
  const int dx = (((w - 2) - gw) >> 1) + shift;
  const int dy = (((h - 2) - gh) >> 1) + shift;
  const int gx = x + 1 + dx;
  const int gy = y + 1 + dy;

  if (state & GLYPH_DRAW) {
    if (HasStandardColors()) {
      BitBlt(target, gx, gy, gw, gh, GlyphDC, index * gw, 0, SRCCOPY);
    } else {
      DrawRemappedGlyph(target, gx, gy, gw, gh, index);
    }
  }
  if (state & GLYPH_EMBOSS) DrawEmbossedGlyph(target, x, y, w, h, gw, gh, index, dx, dy);
  return 1;
}

void DrawButtonFrame(HDC target, int x, int y, int w, int h, bool sunken, COLORREF* colors) {
  // Read at every paint so that a change of the system colours shows on the next repaint.
  colors[kText] = sys.GetSysColor(COLOR_BTNTEXT);
  colors[kShadow] = sys.GetSysColor(COLOR_BTNSHADOW);
  colors[kFace] = sys.GetSysColor(COLOR_BTNFACE);
  colors[kHighlight] = sys.GetSysColor(COLOR_BTNHIGHLIGHT);
  colors[kFrame] = sys.GetSysColor(COLOR_WINDOWFRAME);

  FillRectColor(target, x, y, w, h, colors[kFace]);
  FillRectColor(target, x + 1, y, w - 2, 1, colors[kFrame]);
  FillRectColor(target, x + 1, y + h - 1, w - 2, 1, colors[kFrame]);
  FillRectColor(target, x, y + 1, 1, h - 2, colors[kFrame]);
  FillRectColor(target, x + w - 1, y + 1, 1, h - 2, colors[kFrame]);
  FillRectColor(target, x + 1, y + 1, w - 2, h - 2, colors[kFace]);

  if (sunken) {
    FillRectColor(target, x + 1, y + 1, 1, h - 2, colors[kShadow]);
    FillRectColor(target, x + 1, y + 1, w - 2, 1, colors[kShadow]);
    return;
  }
  FillRectColor(target, x + 1, y + 1, 1, h - 3, colors[kHighlight]);
  FillRectColor(target, x + 1, y + 1, w - 3, 1, colors[kHighlight]);
  FillRectColor(target, x + w - 2, y + 1, 1, h - 2, colors[kShadow]);
  FillRectColor(target, x + 1, y + h - 2, w - 2, 1, colors[kShadow]);
  FillRectColor(target, x + w - 3, y + 2, 1, h - 4, colors[kShadow]);
  FillRectColor(target, x + 2, y + h - 3, w - 4, 1, colors[kShadow]);
}

void FillRectColor(HDC target, int x, int y, int w, int h, COLORREF color) {
  SetBkColor(target, color);
  RECT area;
  SetRect(&area, x, y, x + w, y + h);
  ExtTextOutA(target, 0, 0, ETO_OPAQUE, &area, "", 0, nullptr);
}

void BuildGlyphMask(int index, int mw, int mh, int gw, int gh, int gx, int gy) {
  PatBlt(MaskDC, 0, 0, mw, mh, WHITENESS);
  // A colour-to-monochrome copy turns the source's background colour white and every other
  // colour black: first the silver background, then (or-ed in) any white pixels.
  SetBkColor(GlyphDC, Silver);
  BitBlt(MaskDC, gx, gy, gw, gh, GlyphDC, index * gw, 0, SRCCOPY);
  SetBkColor(GlyphDC, White);
  BitBlt(MaskDC, gx, gy, gw, gh, GlyphDC, index * gw, 0, SRCPAINT);
}

SIZE GlyphSizeForDpi(UINT dpi) {
  return {ScaleToDpi(GlyphWidth, dpi), ScaleToDpi(GlyphHeight, dpi)};
}

HBITMAP ScaleGlyphStrip(HBITMAP strip, UINT dpi) {
  BITMAP info{};
  if (!strip || !GetObjectA(strip, sizeof info, &info)) return nullptr;
  const int count = info.bmWidth / GlyphWidth;
  const SIZE glyph = GlyphSizeForDpi(dpi);
  // Beyond the largest scale a display offers, the strip is left as it is.
  if (count <= 0 || info.bmHeight != GlyphHeight || dpi > MaxScaledDpi || glyph.cx <= 0 ||
      glyph.cy <= 0) {
    return nullptr;
  }

  ScreenDC screen;
  if (!screen.get()) return nullptr;
  const int sourceWidth = count * GlyphWidth;
  std::vector<DWORD> source(static_cast<size_t>(sourceWidth) * GlyphHeight);
  BITMAPINFO request = PixelRequest(sourceWidth, GlyphHeight);
  if (GetDIBits(screen.get(), strip, 0, GlyphHeight, source.data(), &request, DIB_RGB_COLORS) !=
      GlyphHeight) {
    return nullptr;
  }

  // Glyph by glyph, so that no picture ever takes a column of its neighbour.
  const int width = count * glyph.cx;
  std::vector<DWORD> pixels(static_cast<size_t>(width) * glyph.cy);
  for (int y = 0; y < glyph.cy; ++y) {
    const int sourceY = NearestSource(y, GlyphHeight, glyph.cy);
    for (int index = 0; index < count; ++index) {
      for (int x = 0; x < glyph.cx; ++x) {
        const int sourceX = index * GlyphWidth + NearestSource(x, GlyphWidth, glyph.cx);
        pixels[static_cast<size_t>(y) * width + index * glyph.cx + x] =
            source[static_cast<size_t>(sourceY) * sourceWidth + sourceX];
      }
    }
  }

  // The same kind of bitmap as the loaded strip (the screen's format), so the colour and mask
  // copies behave as they do with it.
  ScopedGdiObj<HBITMAP> scaled(CreateCompatibleBitmap(screen.get(), width, glyph.cy));
  if (!scaled) return nullptr;
  request = PixelRequest(width, glyph.cy);
  if (SetDIBits(screen.get(), scaled.get(), 0, glyph.cy, pixels.data(), &request, DIB_RGB_COLORS) !=
      glyph.cy) {
    return nullptr;
  }
  return scaled.release();
}
