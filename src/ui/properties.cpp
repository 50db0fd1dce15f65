#include "ui/properties.h"

// Placeholders until the properties sheet lands.
void ShowProperties(HWND) {}
INT_PTR CALLBACK DetailsPageProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
