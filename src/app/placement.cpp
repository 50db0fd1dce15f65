#include "app/placement.h"

// Placeholders until placement and About land.
void SavePlacement(HWND) {}
void RestorePlacement(HWND) {}
void ShowAbout(HWND) {}
INT_PTR CALLBACK AboutDialogProc(HWND, UINT, WPARAM, LPARAM) { return 0; }
