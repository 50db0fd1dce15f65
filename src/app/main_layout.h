// Where the main window's controls go at the DPI it is shown at. Window's thread only.
#pragma once

#include <windows.h>

// WM_DPICHANGED, newer than the Windows version the program is built for.
inline constexpr UINT DpiChangedMessage = 0x02E0;

// Sent to itself after a DPI change, so the controls are placed for the new DPI after
// whatever the platform's own dialog scaling has done to them.
inline constexpr UINT WM_LAYOUT_CONTROLS = WM_APP + 2;

// The transport buttons (Rewind .. Record) and the slider at the given DPI, in the window's
// client coordinates.
RECT ButtonRect(int index, UINT dpi);
RECT SliderRect(UINT dpi);

// Reads the window's DPI and notes where the template's controls would be at 96 DPI. Called
// at the start of WM_INITDIALOG, before the window's own controls are made.
void StartMainLayout(HWND window);

// Places every control for the window's DPI; with `sizeWindow` the client area takes its size
// at that DPI too (at 96 DPI the template's layout is left exactly as it is). The window grows
// where the buttons would not fit.
void LayOutMainWindow(HWND window, bool sizeWindow);

// The window moved to a monitor of another DPI (or the display's scale changed): it takes the
// rectangle the system suggests, and its controls and their font follow.
void ApplyDpiChange(HWND window, UINT dpi, const RECT* suggested);
