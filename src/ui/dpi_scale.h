// Sizes given in 96-DPI pixels, the DPI a window is shown at, and what follows it (fonts,
// system metrics, icons). Window's thread.
#pragma once

#include <windows.h>

inline constexpr UINT BaseDpi = 96;

// The DPI of the monitor the window is on, where the system says so per window (Windows 10
// 1607 and later) or per monitor (Windows 8.1); else the system's DPI (Windows 7 and 8), which
// is also what a window is drawn at there.
UINT WindowDpi(HWND window);
// The DPI of the monitor the window is on now, which a window placed while hidden has not been
// told of; the system's DPI where the system cannot say (before Windows 8.1).
UINT MonitorDpi(HWND window);

// The DPI the system's own metrics and fonts are given at (the primary monitor's at logon).
UINT SystemDpi();

// A length in 96-DPI pixels at the given DPI, rounded to the nearest pixel.
inline int ScaleToDpi(int length, UINT dpi) {
  return MulDiv(length, static_cast<int>(dpi), static_cast<int>(BaseDpi));
}

// A system metric (SM_CXICON, ...) at the DPI; scaled from the system's DPI where the system
// cannot say (before Windows 10 1607).
int SystemMetricAtDpi(int metric, UINT dpi);

// A font described at `fontDpi` made again at `dpi`: same face, same point size. Null for a
// description in cell height (lfHeight >= 0), which does not say its point size.
HFONT FontAtDpi(const LOGFONTA& font, UINT fontDpi, UINT dpi);

// The platform's own rescaling of a dialog on a DPI change (Windows 10 1703 and later) turned
// off for a dialog that lays itself out at every DPI; nothing where there is none.
void KeepDialogFromRescaling(HWND dialog);

// The module's icon `name` at the DPI: the big one (title bar's Alt+Tab size) and the small one.
struct IconPair {
  HICON big = nullptr;
  HICON small = nullptr;
};
IconPair LoadIconsAtDpi(HINSTANCE module, const char* name, UINT dpi);
