#include "app/main_dialog.h"

#include <commctrl.h>

#include "app/context.h"
#include "resources/resource.h"

// Placeholder until the shell lands: shows the dialog and ends on close.
int RunRecorder(HINSTANCE instance) {
  g_instance = instance;
  InitCommonControls();
  DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDialogProc, 0);
  return 0;
}

INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      return InitMainDialog(window);
    case WM_COMMAND:
      DispatchCommand(window, wParam);
      return 1;
    case WM_CLOSE:
      PostQuitMessage(0);
      return 1;
    case WM_DESTROY:
      ShutdownMainDialog(window);
      return 0;
  }
  return 0;
}

BOOL InitMainDialog(HWND window) {
  g_context.mainWindow = window;
  return 1;
}
void CreateControls(HINSTANCE, HWND) {}
void DispatchCommand(HWND, WPARAM wParam) {
  if (wParam == IDM_EXIT) PostQuitMessage(0);
}
void HandleSliderScroll(HWND, WPARAM) {}
void HandleTimer(HWND, UINT_PTR) {}
void ShutdownMainDialog(HWND) {}
