// The window's controls grow with the DPI. The template's controls are placed by the dialog
// manager in dialog units, which follow the font's average letter width and height; those grow
// in whole pixels and lag behind the DPI (under Wine 7 pixels wide at 96 DPI, 8 at 120). So
// every control is kept where it is at 96 DPI and scaled from there: the window keeps its
// proportions at every scale, and at 96 DPI nothing moves. Runs on the window's thread.
#include "app/main_layout.h"

#include <algorithm>

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
  // The template's font at the window's DPI, once the window has made its own.
  ScopedGdiObj<HFONT> font;
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

// The dialog's font made again at another DPI: same face, same point size.
HFONT FontAtDpi(HFONT font, UINT fontDpi, UINT dpi) {
  LOGFONTA description{};
  if (!font || !GetObjectA(font, sizeof description, &description) || description.lfHeight >= 0)
    return nullptr;
  const int points = MulDiv(-description.lfHeight, 72, static_cast<int>(fontDpi));
  description.lfHeight = -MulDiv(points, static_cast<int>(dpi), 72);
  return CreateFontIndirectA(&description);
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

// Changes the window's size so that its client area gets the given growth.
void GrowWindow(HWND window, int growWidth, int growHeight) {
  if (!growWidth && !growHeight) return;
  RECT frame{};
  GetWindowRect(window, &frame);
  SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left + growWidth,
               frame.bottom - frame.top + growHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The window grows where the platform's scaling or a suggested rectangle left it too small.
void FitWindowToControls(HWND window) {
  RECT client{};
  if (!GetClientRect(window, &client)) return;
  const UINT dpi = g_controls.dpi;
  const RECT last = ButtonRect(4, dpi);
  // Never smaller than the template's client area at this DPI, nor than the buttons need.
  const int wantWidth = std::max<LONG>(last.right + ScaleToDpi(ButtonX[0], dpi),
                                       ScaleToDpi(g_layout.client96.cx, dpi));
  const int wantHeight = std::max<LONG>(last.bottom + ScaleToDpi(BottomMargin, dpi),
                                        ScaleToDpi(g_layout.client96.cy, dpi));
  GrowWindow(window, wantWidth > client.right ? wantWidth - client.right : 0,
             wantHeight > client.bottom ? wantHeight - client.bottom : 0);
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

  // The template's base units now, and those of the same font at 96 DPI.
  const HFONT font = DialogFont(window);
  const BaseUnits now = FontBaseUnits(font);
  BaseUnits at96 = now;
  if (dpi != BaseDpi) {
    ScopedGdiObj<HFONT> font96(FontAtDpi(font, dpi, BaseDpi));
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
}

void LayOutMainWindow(HWND window, bool sizeWindow) {
  const UINT dpi = g_controls.dpi;
  if (dpi != BaseDpi || !sizeWindow) {
    for (int i = 0; i < g_layout.count; ++i)
      PlaceControl(g_layout.controls[i].control, ScaleRect(g_layout.controls[i].at96, dpi));
    if (sizeWindow) {
      RECT client{};
      GetClientRect(window, &client);
      GrowWindow(window, ScaleToDpi(g_layout.client96.cx, dpi) - client.right,
                 ScaleToDpi(g_layout.client96.cy, dpi) - client.bottom);
    }
  }
  for (int i = 0; i < 5; ++i) PlaceControl(g_controls.buttons[i], ButtonRect(i, dpi));
  PlaceControl(g_controls.slider, SliderRect(dpi));
  FitWindowToControls(window);
}

void ApplyDpiChange(HWND window, UINT dpi, const RECT* suggested) {
  if (dpi == 0 || dpi == g_controls.dpi) return;
  // The template's texts get the font at the new DPI (where the platform scales dialogs
  // itself, it replaces this one with its own afterwards).
  const HFONT current = g_layout.font ? g_layout.font.get() : DialogFont(window);
  if (HFONT font = FontAtDpi(current, g_controls.dpi, dpi)) {
    for (int i = 0; i < g_layout.count; ++i)
      SendMessageA(g_layout.controls[i].control, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
    g_layout.font.reset(font);
  }
  g_controls.dpi = dpi;
  if (suggested) {
    SetWindowPos(window, nullptr, suggested->left, suggested->top,
                 suggested->right - suggested->left, suggested->bottom - suggested->top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
  LayOutMainWindow(window, false);
  InvalidateRect(window, nullptr, TRUE);
  PostMessageA(window, WM_LAYOUT_CONTROLS, 0, 0);
}
