// Where the main window's controls go at the DPI it is shown at. Window's thread only.
#pragma once

#include <windows.h>

// WM_DPICHANGED, newer than the Windows version the program is built for.
inline constexpr UINT DpiChangedMessage = 0x02E0;

// The transport buttons (Rewind .. Record) and the slider at the given DPI, in the window's
// client coordinates.
RECT ButtonRect(int index, UINT dpi);
RECT SliderRect(UINT dpi);

// Reads the window's DPI, notes where the template's controls would be at 96 DPI, turns off the
// platform's own rescaling of the dialog (the layout here scales every control and font) and
// gives the window its icons. Called at the start of WM_INITDIALOG, before the window's own
// controls are made.
void StartMainLayout(HWND window);

// Places every control and sizes the slider's thumb for the window's DPI; the client area
// takes its size at that DPI (at 96 DPI the template's layout is left exactly as it is), and
// more where the buttons would not fit.
void LayOutMainWindow(HWND window);

// The window moved to a monitor of another DPI (or the display's scale changed): it takes the
// place the system suggests, and its size, controls, fonts, icons and tooltips follow the DPI.
void ApplyDpiChange(HWND window, UINT dpi, const RECT* suggested);

// After the window was placed (while still hidden): it follows the DPI of the monitor it is on.
void FollowMonitorDpi(HWND window);
