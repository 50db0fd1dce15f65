// Enabling rules and the three status texts of the main window. Window's thread only.
#pragma once

#include <windows.h>

void UpdateControlStates(HWND window);
// Called by UpdateControlStates once the buttons are enabled or disabled, on the window's
// thread: set by the window whose tooltips must not stay over a button that can no longer act.
inline void (*g_afterControlStates)() = nullptr;
// Tenths of a second for a byte count at the current format's average byte rate.
int BytesToTenths(DWORD bytes);
// "%02d:%02d.%d"; text must hold at least 16 characters.
void FormatTime(int tenths, char* text);
// The payload byte the slider points at (the slider counts blocks).
DWORD SliderBytePosition();
void ShowPosition(HWND window, DWORD byteOffset);
void ShowLength(HWND window, DWORD byteCount);
// "%7.1lf KB" with the decimal rounded half up; text must hold at least 24 characters.
void FormatDataSize(DWORD byteCount, char* text, size_t size);
void ShowDataSize(HWND window, DWORD byteCount);
void ShowFileTitle(HWND window);
// The title without a file name: no file is loaded.
void ShowNoFileTitle(HWND window);
