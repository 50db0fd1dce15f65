// The About box, a modal dialog. Runs on the window's thread.
#include "state/context.h"
#include "app/placement.h"
#include "resources/resource.h"

void ShowAbout(HWND owner) {
  DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_ABOUT), owner, AboutDialogProc, 0);
}

// Escape arrives as IDCANCEL and is deliberately left alone: the box closes only through OK
// (or Enter) and the window's close command (close box, Alt+F4, system menu).
INT_PTR CALLBACK AboutDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        EndDialog(window, 1);
        return 1;
      }
      break;
    case WM_SYSCOMMAND:
      // The four low bits of a system command are the platform's own.
      if ((LOWORD(wParam) & 0xFFF0) == SC_CLOSE) {
        EndDialog(window, 1);
        return 1;
      }
      break;
  }
  return 0;
}
