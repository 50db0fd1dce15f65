// The DPI a window is shown at, and sizes scaled to it. Runs on the window's thread.
#include "ui/dpi_scale.h"

namespace {

// The per-window and per-monitor queries are looked up at run time: the program also runs
// where they do not exist.
using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
using SetDialogDpiChangeBehaviorFn = BOOL(WINAPI*)(HWND, int, int);

// DDC_DISABLE_RESIZE, DDC_DISABLE_FONT_UPDATE and DDC_DISABLE_RELAYOUT of winuser.h.
constexpr int DialogKeepsItsLayout = 0x0002 | 0x0004 | 0x0008;

// MDT_EFFECTIVE_DPI of shellscalingapi.h.
constexpr int EffectiveDpi = 0;

template <typename Fn>
Fn Lookup(HMODULE module, const char* name) {
  if (!module) return nullptr;
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

template <typename Fn>
Fn User32Function(const char* name) {
  return Lookup<Fn>(GetModuleHandleA("user32.dll"), name);
}

GetDpiForWindowFn PerWindowQuery() {
  static const auto query = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
  return query;
}

GetDpiForMonitorFn PerMonitorQuery() {
  // Loaded from the system folder only, and kept for the process's life. Where the loader
  // does not know that flag (Windows 7 without its update), there is no such query anyway.
  static const auto query = Lookup<GetDpiForMonitorFn>(
      LoadLibraryExA("shcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32), "GetDpiForMonitor");
  return query;
}

}  // namespace

UINT SystemDpi() {
  const HDC screen = GetDC(nullptr);
  if (!screen) return BaseDpi;
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : BaseDpi;
}

int SystemMetricAtDpi(int metric, UINT dpi) {
  static const auto query = User32Function<GetSystemMetricsForDpiFn>("GetSystemMetricsForDpi");
  if (query) {
    if (const int value = query(metric, dpi)) return value;
  }
  return MulDiv(GetSystemMetrics(metric), static_cast<int>(dpi), static_cast<int>(SystemDpi()));
}

HFONT FontAtDpi(const LOGFONTA& font, UINT fontDpi, UINT dpi) {
  if (font.lfHeight >= 0 || fontDpi == 0) return nullptr;
  LOGFONTA description = font;
  const int points = MulDiv(-font.lfHeight, 72, static_cast<int>(fontDpi));
  description.lfHeight = -MulDiv(points, static_cast<int>(dpi), 72);
  return CreateFontIndirectA(&description);
}

void KeepDialogFromRescaling(HWND dialog) {
  static const auto keep =
      User32Function<SetDialogDpiChangeBehaviorFn>("SetDialogDpiChangeBehavior");
  if (keep) keep(dialog, DialogKeepsItsLayout, DialogKeepsItsLayout);
}

IconPair LoadIconsAtDpi(HINSTANCE module, const char* name, UINT dpi) {
  const auto load = [&](int metricX, int metricY) {
    return static_cast<HICON>(LoadImageA(module, name, IMAGE_ICON, SystemMetricAtDpi(metricX, dpi),
                                         SystemMetricAtDpi(metricY, dpi), LR_DEFAULTCOLOR));
  };
  return {load(SM_CXICON, SM_CYICON), load(SM_CXSMICON, SM_CYSMICON)};
}

UINT WindowDpi(HWND window) {
  if (window) {
    if (const auto query = PerWindowQuery()) {
      if (const UINT dpi = query(window)) return dpi;
    }
  }
  return MonitorDpi(window);
}

UINT MonitorDpi(HWND window) {
  if (const auto query = window ? PerMonitorQuery() : nullptr) {
    UINT x = 0;
    UINT y = 0;
    const HMONITOR monitor = MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST);
    if (monitor && SUCCEEDED(query(monitor, EffectiveDpi, &x, &y)) && y) return y;
  }
  return SystemDpi();
}
