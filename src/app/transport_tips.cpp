// The transport buttons' tooltips. Runs on the window's thread, which owns the tooltip
// control.
#include "app/transport_tips.h"

#include <commctrl.h>

#include <cstdio>

#include "app/accelerators.h"
#include "state/context.h"
#include "platform/owners.h"
#include "state/display.h"
#include "ui/dpi_scale.h"

namespace {

// Owned by the main window, so destroyed with it.
HWND g_tips = nullptr;
// The font the control chose for itself, at the system's DPI, and that font at the window's.
LOGFONTA g_systemTipFont{};
ScopedGdiObj<HFONT> g_tipFont;

// The size both version 5 and version 6 of the common controls accept.
TTTOOLINFOA ToolInfo(HWND window, HWND button) {
  TTTOOLINFOA tool{};
  tool.cbSize = TTTOOLINFOA_V2_SIZE;
  tool.hwnd = window;
  tool.uId = reinterpret_cast<UINT_PTR>(button);
  return tool;
}

// The text is asked for at every showing, so it always follows the button's state: a button
// that cannot act, or a window disabled under a message box, gets no text, and the control
// shows no tip without text.
void TipText(HWND window, UINT_PTR tool, char* text, size_t size) {
  text[0] = '\0';
  const HWND button = reinterpret_cast<HWND>(tool);
  if (!IsWindowEnabled(window) || !IsWindow(button) || !IsWindowEnabled(button)) return;
  const int id = GetDlgCtrlID(button);
  for (const TransportCommand& command : TransportCommands) {
    if (command.id == id) {
      std::snprintf(text, size, "%s (%s)", command.name, command.key);
      return;
    }
  }
}

}  // namespace

void CreateTransportTips(HWND window) {
  g_tips = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_NOPREFIX,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window,
                           nullptr, g_instance, nullptr);
  // Without tips the buttons still work; nothing to report.
  if (!g_tips) return;
  g_afterControlStates = HideTipOfDisabledButton;
  g_systemTipFont = LOGFONTA{};
  const auto font = reinterpret_cast<HFONT>(SendMessageA(g_tips, WM_GETFONT, 0, 0));
  if (font) GetObjectA(font, sizeof g_systemTipFont, &g_systemTipFont);
  ScaleTransportTips(g_controls.dpi);
  for (const HWND button : g_controls.buttons) {
    TTTOOLINFOA tool = ToolInfo(window, button);
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.lpszText = LPSTR_TEXTCALLBACKA;
    SendMessageA(g_tips, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
  }
}

void ScaleTransportTips(UINT dpi) {
  if (!g_tips || !IsWindow(g_tips)) return;
  HFONT font = FontAtDpi(g_systemTipFont, SystemDpi(), dpi);
  if (!font) return;
  SendMessageA(g_tips, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  g_tipFont.reset(font);
}

void HideTransportTip() {
  if (g_tips && IsWindow(g_tips)) SendMessageA(g_tips, TTM_POP, 0, 0);
}

void HideTipOfDisabledButton() {
  if (!g_tips || !IsWindow(g_tips) || !IsWindowVisible(g_tips)) return;
  TTTOOLINFOA tool = ToolInfo(nullptr, nullptr);
  if (SendMessageA(g_tips, TTM_GETCURRENTTOOLA, 0, reinterpret_cast<LPARAM>(&tool)) &&
      !IsWindowEnabled(reinterpret_cast<HWND>(tool.uId)))
    SendMessageA(g_tips, TTM_POP, 0, 0);
}

bool AnswerTipTextRequest(HWND window, NMHDR* header) {
  if (!header || !g_tips || header->hwndFrom != g_tips) return false;
  if (header->code == TTN_GETDISPINFOA) {
    auto* info = reinterpret_cast<NMTTDISPINFOA*>(header);
    TipText(window, info->hdr.idFrom, info->szText, sizeof info->szText);
    info->lpszText = info->szText;
    info->hinst = nullptr;
    return true;
  }
  if (header->code == TTN_GETDISPINFOW) {
    // Asked in UTF-16 when the control decided so; the texts are plain ASCII.
    auto* info = reinterpret_cast<NMTTDISPINFOW*>(header);
    char text[sizeof info->szText / sizeof info->szText[0]];
    TipText(window, info->hdr.idFrom, text, sizeof text);
    MultiByteToWideChar(CP_ACP, 0, text, -1, info->szText,
                        static_cast<int>(sizeof info->szText / sizeof info->szText[0]));
    info->lpszText = info->szText;
    info->hinst = nullptr;
    return true;
  }
  return false;
}
