// Tooltips of the transport buttons: the standard tooltip control, owned by the main window,
// showing each button's name and key, for example "Play (Ctrl+P)". Everything here runs on the
// dialog's thread.
#pragma once

#include <windows.h>

// After CreateControls: the tooltip control and one tool per button, its font at the window's
// DPI.
void CreateTransportTips(HWND window);
// The tips' font follows the window's DPI.
void ScaleTransportTips(UINT dpi);
// The window gives way to a message box, a dialog or another program: a tip must not stay
// on top of it.
void HideTransportTip();
// After a change of enabled buttons: a tip showing for a button that can no longer act goes.
void HideTipOfDisabledButton();
// WM_NOTIFY: answers the tooltip's request for a button's text; false for other notices.
bool AnswerTipTextRequest(HWND window, NMHDR* header);
