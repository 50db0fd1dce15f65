// The owner-drawn transport buttons: frame, glyph, pressed and embossed looks. Window's thread.
#pragma once

#include <windows.h>

inline constexpr UINT GLYPH_SUNKEN = 1;
inline constexpr UINT GLYPH_DRAW = 2;
inline constexpr UINT GLYPH_EMBOSS = 4;

inline constexpr COLORREF StandardGlyphColors[4] = {0x000000, 0x808080, 0xC0C0C0, 0xFFFFFF};
// Text, shadow, face, highlight, frame; read from the system at every paint.
inline COLORREF ButtonColors[5] = {};

// One picture of the strip at 96 DPI.
inline constexpr int GlyphWidth = 25;
inline constexpr int GlyphHeight = 17;

inline HDC GlyphDC = nullptr;
inline HDC MaskDC = nullptr;

int InitButtonDrawing();
void DrawGlyphButton(const DRAWITEMSTRUCT* item);
int RenderButton(HDC target, int x, int y, int w, int h, HBITMAP strip, int gw, int gh, int index,
                 UINT state);
void DrawButtonFrame(HDC target, int x, int y, int w, int h, bool sunken, COLORREF* colors);
void FillRectColor(HDC target, int x, int y, int w, int h, COLORREF color);
// The size of one glyph at the given DPI, and a copy of a strip of such glyphs made for it
// (the caller owns it; null when it could not be made). Every pixel of the copy is the
// strip's pixel nearest to its centre, so the copy holds only the strip's own colours and its
// edges stay sharp: at 192 DPI every pixel is exactly doubled.
SIZE GlyphSizeForDpi(UINT dpi);
HBITMAP ScaleGlyphStrip(HBITMAP strip, UINT dpi);
void BuildGlyphMask(int index, int mw, int mh, int gw, int gh, int gx, int gy);
