#include "shell_fixture.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include "state/context.h"
#include "app/main_dialog.h"
#include "resources/resource.h"

bool PumpMessages(HWND dialog, int* exitCode) {
  bool quit = false;
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      quit = true;
      if (exitCode) *exitCode = static_cast<int>(msg.wParam);
      continue;
    }
    if (dialog && IsWindow(dialog) && IsDialogMessageA(dialog, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return quit;
}

int MenuItemEnabled(HWND window, UINT id) {
  const UINT state = GetMenuState(GetMenu(window), id, MF_BYCOMMAND);
  if (state == static_cast<UINT>(-1)) return -1;
  return (state & (MF_GRAYED | MF_DISABLED)) ? 0 : 1;
}

HINSTANCE TestModule() {
  return GetModuleHandleA(nullptr);
}

UINT WINAPI OneCaptureDevice() {
  return 1;
}
UINT WINAPI NoCaptureDevice() {
  return 0;
}

HGLOBAL WINAPI AllocFail(UINT, SIZE_T) {
  return nullptr;
}
LPVOID WINAPI LockFail(HGLOBAL) {
  return nullptr;
}

ACMFORMATTAGDETAILSA g_tagRequest;
MMRESULT WINAPI TagDetailsFake(HACMDRIVER driver, LPACMFORMATTAGDETAILSA details, DWORD) {
  g_tagRequest = *details;
  if (driver) return MMSYSERR_INVALHANDLE;
  lstrcpyA(details->szFormatTag, "Looked-up Tag");
  return MMSYSERR_NOERROR;
}
MMRESULT WINAPI TagDetailsFail(HACMDRIVER, LPACMFORMATTAGDETAILSA, DWORD) {
  return ACMERR_NOTPOSSIBLE;
}

ACMFORMATDETAILSA g_detailsRequest;
MMRESULT WINAPI DetailsFake(HACMDRIVER driver, LPACMFORMATDETAILSA details, DWORD) {
  g_detailsRequest = *details;
  if (driver) return MMSYSERR_INVALHANDLE;
  wsprintfA(details->szFormat, "looked up %lu Hz", details->pwfx->nSamplesPerSec);
  return MMSYSERR_NOERROR;
}
MMRESULT WINAPI DetailsFail(HACMDRIVER, LPACMFORMATDETAILSA, DWORD) {
  return ACMERR_NOTPOSSIBLE;
}

MainWindow::MainWindow() {
  g_instance = TestModule();
  InitCommonControls();
  window_ =
      CreateDialogParamA(TestModule(), MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDialogProc, 0);
  PumpMessages(window_);
}

MainWindow::~MainWindow() {
  Destroy();
}

void MainWindow::Destroy() {
  if (window_ && IsWindow(window_)) DestroyWindow(window_);
  window_ = nullptr;
  PumpMessages(nullptr);
}

void ExpectShutdownWroteTheRegistry() {
  HKEY key = nullptr;
  ASSERT_EQ(
      RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Velmora\\Quenby Pro Recorder", 0, KEY_READ, &key),
      ERROR_SUCCESS);
  DWORD type = 0, size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "Placement", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(size, 44u);
  for (const char* name : {"File1", "File2", "File3", "File4"}) {
    type = 0;
    EXPECT_EQ(RegQueryValueExA(key, name, nullptr, &type, nullptr, nullptr), ERROR_SUCCESS) << name;
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ)) << name;
  }
  RegCloseKey(key);
}
