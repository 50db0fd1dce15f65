#include "app/display.h"

// Placeholders until the shell lands.
void UpdateControlStates(HWND) {}
int BytesToTenths(DWORD) { return 0; }
void FormatTime(int, char* text) { text[0] = 0; }
void ShowPosition(HWND, DWORD) {}
void ShowLength(HWND, DWORD) {}
void ShowDataSize(HWND, DWORD) {}
void ShowFileTitle(HWND) {}
