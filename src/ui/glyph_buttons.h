// The owner-drawn transport buttons: frame, glyph, pressed and embossed looks.
#pragma once

#include <windows.h>

inline constexpr UINT GLYPH_SUNKEN = 1;
inline constexpr UINT GLYPH_DRAW = 2;
inline constexpr UINT GLYPH_EMBOSS = 4;

inline constexpr COLORREF StandardGlyphColors[4] = {0x000000, 0x808080, 0xC0C0C0, 0xFFFFFF};
// Text, shadow, face, highlight, frame; read from the system at every paint.
inline COLORREF ButtonColors[5] = {};

inline HDC GlyphDC = nullptr;
inline HDC MaskDC = nullptr;

int InitButtonDrawing();
void DrawGlyphButton(const DRAWITEMSTRUCT* item);
int RenderButton(HDC target, int x, int y, int w, int h, HBITMAP strip, int gw, int gh, int index,
                 UINT state);
void DrawButtonFrame(HDC target, int x, int y, int w, int h, bool sunken, COLORREF* colors);
void FillRectColor(HDC target, int x, int y, int w, int h, COLORREF color);
void BuildGlyphMask(int index, int mw, int mh, int gw, int gh, int gx, int gy);
