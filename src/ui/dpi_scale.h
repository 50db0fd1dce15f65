// Sizes given in 96-DPI pixels, and the DPI a window is shown at. Window's thread.
#pragma once

#include <windows.h>

inline constexpr UINT BaseDpi = 96;

// The DPI of the monitor the window is on, where the system says so per window (Windows 10
// 1607 and later) or per monitor (Windows 8.1); else the system's DPI (Windows 7 and 8), which
// is also what a window is drawn at there.
UINT WindowDpi(HWND window);

// A length in 96-DPI pixels at the given DPI, rounded to the nearest pixel.
inline int ScaleToDpi(int length, UINT dpi) {
  return MulDiv(length, static_cast<int>(dpi), static_cast<int>(BaseDpi));
}
