// The device callbacks, on the platform's thread, never touch the window or close a device
// themselves: they post this message, and the window's thread does the closing work.
#pragma once

#include <windows.h>

inline constexpr UINT WM_ENGINE_NOTIFY = WM_APP + 1;

// Runs on the window's thread, from MainDialogProc.
void HandleEngineNotify(HWND window, WPARAM wParam, LPARAM lParam);

// True while a recording or playback is starting or stopping, or playback is moving to another
// place: their message boxes (some without an owner window) run a message loop, and no
// command may run inside one. Window's thread only.
bool EngineBusy();
