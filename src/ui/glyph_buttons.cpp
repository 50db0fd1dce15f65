#include "ui/glyph_buttons.h"

// Placeholders until the glyph buttons land.
int InitButtonDrawing() { return 0; }
void DrawGlyphButton(const DRAWITEMSTRUCT*) {}
int RenderButton(HDC, int, int, int, int, HBITMAP, int, int, int, UINT) { return 0; }
void DrawButtonFrame(HDC, int, int, int, int, bool, COLORREF*) {}
void FillRectColor(HDC, int, int, int, int, COLORREF) {}
void BuildGlyphMask(int, int, int, int, int, int, int) {}
