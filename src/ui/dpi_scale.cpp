// The DPI a window is shown at, and sizes scaled to it. Runs on the window's thread.
#include "ui/dpi_scale.h"

namespace {

// The per-window and per-monitor queries are looked up at run time: the program also runs
// where they do not exist.
using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);

// MDT_EFFECTIVE_DPI of shellscalingapi.h.
constexpr int EffectiveDpi = 0;

template <typename Fn>
Fn Lookup(HMODULE module, const char* name) {
  if (!module) return nullptr;
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

GetDpiForWindowFn PerWindowQuery() {
  static const auto query =
      Lookup<GetDpiForWindowFn>(GetModuleHandleA("user32.dll"), "GetDpiForWindow");
  return query;
}

GetDpiForMonitorFn PerMonitorQuery() {
  // Loaded from the system folder only, and kept for the process's life. Where the loader
  // does not know that flag (Windows 7 without its update), there is no such query anyway.
  static const auto query = Lookup<GetDpiForMonitorFn>(
      LoadLibraryExA("shcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32), "GetDpiForMonitor");
  return query;
}

UINT SystemDpi() {
  const HDC screen = GetDC(nullptr);
  if (!screen) return BaseDpi;
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : BaseDpi;
}

}  // namespace

UINT WindowDpi(HWND window) {
  if (window) {
    if (const auto query = PerWindowQuery()) {
      if (const UINT dpi = query(window)) return dpi;
    }
    if (const auto query = PerMonitorQuery()) {
      UINT x = 0;
      UINT y = 0;
      const HMONITOR monitor = MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST);
      if (monitor && SUCCEEDED(query(monitor, EffectiveDpi, &x, &y)) && y) return y;
    }
  }
  return SystemDpi();
}
