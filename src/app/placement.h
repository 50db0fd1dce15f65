// The main window's placement in the per-user registry, and the About box. Window's thread.
#pragma once

#include <windows.h>

inline constexpr const char* PlacementKey = "software\\Velmora\\Quenby Pro Recorder";

void SavePlacement(HWND window);
void RestorePlacement(HWND window);
void ShowAbout(HWND owner);
INT_PTR CALLBACK AboutDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
