// The window's controls grow with the DPI. The template's controls are placed by the dialog
// manager in dialog units, which follow the font's average letter width and height; those grow
// in whole pixels and lag behind the DPI (under Wine 7 pixels wide at 96 DPI, 8 at 120). So
// every control is kept where it is at 96 DPI and scaled from there: the window keeps its
// proportions at every scale, and at 96 DPI nothing moves. Runs on the window's thread.
#include "app/main_layout.h"

#include <commctrl.h>

#include <algorithm>
#include <utility>

#include "app/transport_tips.h"
#include "platform/owners.h"
#include "state/context.h"
#include "ui/dpi_scale.h"

namespace {

// Left edges of Rewind .. Record, in 96-DPI pixels; their texts are their names
// (TransportCommands): the buttons draw only glyphs, and the texts are what screen readers
// and automation see.
constexpr int ButtonX[5] = {9, 61, 113, 165, 217};
constexpr int ButtonY = 76;
constexpr int ButtonWidth = 45;
constexpr int ButtonHeight = 22;

constexpr int SliderX = 10;
constexpr int SliderY = 53;
constexpr int SliderWidth = 250;
constexpr int SliderHeight = 20;
// What the trackbar gives itself at that height (under Wine), so that at 96 DPI nothing changes.
constexpr int SliderThumbLength = 15;

// What the buttons leave below them at least.
constexpr int BottomMargin = 5;

constexpr int MaxTemplateControls = 16;

struct TemplateControl {
  HWND control;
  RECT at96;
};

struct MainLayout {
  TemplateControl controls[MaxTemplateControls] = {};
  int count = 0;
  SIZE client96{};
  // The template's font as the dialog manager made it, and the DPI it was made at: every font
  // the window makes later is made from it, so moves between DPIs do not add up rounding.
  LOGFONTA templateFont{};
  UINT templateDpi = 0;
  // The template's font at the window's DPI, once the window has made its own.
  ScopedGdiObj<HFONT> font;
  // The window's icons at its DPI; the window only borrows them.
  ScopedIcon bigIcon;
  ScopedIcon smallIcon;
};

MainLayout g_layout;

struct BaseUnits {
  int x = 0;
  int y = 0;
};

// As the dialog manager derives them from its font: half the mean width of the letters,
// rounded, and the height.
BaseUnits FontBaseUnits(HFONT font) {
  static constexpr char Letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  BaseUnits units;
  const HDC screen = GetDC(nullptr);
  if (!screen) return units;
  const HGDIOBJ previous = SelectObject(screen, font);
  TEXTMETRICA metrics{};
  SIZE letters{};
  if (GetTextMetricsA(screen, &metrics) &&
      GetTextExtentPoint32A(screen, Letters, sizeof Letters - 1, &letters)) {
    units = {(letters.cx / 26 + 1) / 2, metrics.tmHeight};
  }
  SelectObject(screen, previous);
  ReleaseDC(nullptr, screen);
  return units;
}

HFONT DialogFont(HWND window) {
  return reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0));
}

int To96(int length, int base96, int baseNow) {
  return baseNow > 0 && base96 > 0 ? MulDiv(length, base96, baseNow) : length;
}

RECT ScaleRect(const RECT& at96, UINT dpi) {
  return {ScaleToDpi(at96.left, dpi), ScaleToDpi(at96.top, dpi), ScaleToDpi(at96.right, dpi),
          ScaleToDpi(at96.bottom, dpi)};
}

RECT ControlRect(int x, int y, int width, int height, UINT dpi) {
  // Each length is scaled on its own, so all five buttons keep one size.
  const int left = ScaleToDpi(x, dpi);
  const int top = ScaleToDpi(y, dpi);
  return {left, top, left + ScaleToDpi(width, dpi), top + ScaleToDpi(height, dpi)};
}

void PlaceControl(HWND control, const RECT& r) {
  SetWindowPos(control, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

// The client area takes the size the controls have at the window's DPI: the template's at that
// DPI, or more where the buttons need it. Computed from the DPI alone, never from the size the
// window has, so that a suggested rectangle or the platform's rounding cannot add up over moves
// between monitors.
void FitWindowToControls(HWND window) {
  RECT client{};
  RECT frame{};
  // A minimized window's rectangles are its button's, not its own.
  if (IsIconic(window) || !GetClientRect(window, &client) || !GetWindowRect(window, &frame)) return;
  const UINT dpi = g_controls.dpi;
  const RECT last = ButtonRect(4, dpi);
  const int wantWidth = std::max<LONG>(last.right + ScaleToDpi(ButtonX[0], dpi),
                                       ScaleToDpi(g_layout.client96.cx, dpi));
  const int wantHeight = std::max<LONG>(last.bottom + ScaleToDpi(BottomMargin, dpi),
                                        ScaleToDpi(g_layout.client96.cy, dpi));
  if (wantWidth == client.right && wantHeight == client.bottom) return;
  SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left + wantWidth - client.right,
               frame.bottom - frame.top + wantHeight - client.bottom,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void SetIcons(HWND window, UINT dpi) {
  const auto module = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE));
  const IconPair icons = LoadIconsAtDpi(module, "RECICON", dpi);
  // The old ones go only once the window no longer shows them.
  ScopedIcon big(icons.big);
  ScopedIcon small(icons.small);
  if (big) SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big.get()));
  if (small) SendMessageA(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small.get()));
  if (big) g_layout.bigIcon = std::move(big);
  if (small) g_layout.smallIcon = std::move(small);
}

}  // namespace

RECT ButtonRect(int index, UINT dpi) {
  return ControlRect(ButtonX[index], ButtonY, ButtonWidth, ButtonHeight, dpi);
}

RECT SliderRect(UINT dpi) {
  return ControlRect(SliderX, SliderY, SliderWidth, SliderHeight, dpi);
}

void StartMainLayout(HWND window) {
  const UINT dpi = WindowDpi(window);
  g_controls.dpi = dpi;
  KeepDialogFromRescaling(window);

  // The template's base units now, and those of the same font at 96 DPI.
  const HFONT font = DialogFont(window);
  g_layout.templateFont = LOGFONTA{};
  g_layout.templateDpi =
      font && GetObjectA(font, sizeof g_layout.templateFont, &g_layout.templateFont) ? dpi : 0;
  const BaseUnits now = FontBaseUnits(font);
  BaseUnits at96 = now;
  if (dpi != BaseDpi) {
    ScopedGdiObj<HFONT> font96(FontAtDpi(g_layout.templateFont, g_layout.templateDpi, BaseDpi));
    if (font96) at96 = FontBaseUnits(font96.get());
  }

  g_layout.count = 0;
  for (HWND child = GetWindow(window, GW_CHILD); child && g_layout.count < MaxTemplateControls;
       child = GetWindow(child, GW_HWNDNEXT)) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
    g_layout.controls[g_layout.count++] = {
        child,
        {To96(r.left, at96.x, now.x), To96(r.top, at96.y, now.y), To96(r.right, at96.x, now.x),
         To96(r.bottom, at96.y, now.y)}};
  }
  RECT client{};
  GetClientRect(window, &client);
  g_layout.client96 = {To96(client.right, at96.x, now.x), To96(client.bottom, at96.y, now.y)};
  SetIcons(window, dpi);
}

void LayOutMainWindow(HWND window) {
  const UINT dpi = g_controls.dpi;
  // At 96 DPI the template's controls stay exactly where the dialog manager put them.
  for (int i = 0; i < g_layout.count; ++i)
    PlaceControl(g_layout.controls[i].control, ScaleRect(g_layout.controls[i].at96, dpi));
  for (int i = 0; i < 5; ++i) PlaceControl(g_controls.buttons[i], ButtonRect(i, dpi));
  const RECT slider = SliderRect(dpi);
  PlaceControl(g_controls.slider, slider);
  // The trackbar lays out its channel and thumb when it is sized, not when the thumb's length
  // changes (Wine's then draws the new thumb over the old channel until the next move), so it
  // is told its size again once the length is set.
  SendMessageA(g_controls.slider, TBM_SETTHUMBLENGTH, ScaleToDpi(SliderThumbLength, dpi), 0);
  SendMessageA(g_controls.slider, WM_SIZE, SIZE_RESTORED,
               MAKELPARAM(slider.right - slider.left, slider.bottom - slider.top));
  FitWindowToControls(window);
}

void ApplyDpiChange(HWND window, UINT dpi, const RECT* suggested) {
  if (dpi == 0 || dpi == g_controls.dpi) return;
  if (HFONT font = FontAtDpi(g_layout.templateFont, g_layout.templateDpi, dpi)) {
    for (int i = 0; i < g_layout.count; ++i)
      SendMessageA(g_layout.controls[i].control, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
    g_layout.font.reset(font);
  }
  g_controls.dpi = dpi;
  // Its place; its size follows from the DPI.
  if (suggested) {
    SetWindowPos(window, nullptr, suggested->left, suggested->top,
                 suggested->right - suggested->left, suggested->bottom - suggested->top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
  LayOutMainWindow(window);
  SetIcons(window, dpi);
  ScaleTransportTips(dpi);
  InvalidateRect(window, nullptr, TRUE);
}

void FollowMonitorDpi(HWND window) {
  ApplyDpiChange(window, MonitorDpi(window), nullptr);
}
