// The device callbacks never touch the window or close a device themselves: they post
// this message, and the window's thread does the closing work.
#pragma once

#include <windows.h>

inline constexpr UINT WM_ENGINE_NOTIFY = WM_APP + 1;

// Runs on the window's thread, from MainDialogProc.
void HandleEngineNotify(HWND window, WPARAM wParam, LPARAM lParam);
