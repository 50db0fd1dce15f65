// Helpers for tests that run the real main dialog inside the test process.
#pragma once

#include <windows.h>
#include <mmreg.h>
#include <msacm.h>

#include <string>

#include "support/test_support.h"

// Runs queued messages through the dialog the way a dialog loop would; true if a quit
// request was among them (its code goes to *exitCode).
bool PumpMessages(HWND dialog, int* exitCode = nullptr);

// Enabled state of a File menu command; -1 when the menu lacks it.
int MenuItemEnabled(HWND window, UINT id);

// Module instance of the test program, which carries the resources.
HINSTANCE TestModule();

UINT WINAPI OneCaptureDevice();
UINT WINAPI NoCaptureDevice();

// Platform calls that fail, and compression-manager lookups that note their request (refusing
// a driver handle, which the program never passes) and answer with a text of their own.
using AllocFn = decltype(PlatformServices::GlobalAlloc);
using LockFn = decltype(PlatformServices::GlobalLock);
using TagDetailsFn = decltype(PlatformServices::acmFormatTagDetailsA);
using DetailsFn = decltype(PlatformServices::acmFormatDetailsA);
HGLOBAL WINAPI AllocFail(UINT, SIZE_T);
LPVOID WINAPI LockFail(HGLOBAL);
extern ACMFORMATTAGDETAILSA g_tagRequest;
MMRESULT WINAPI TagDetailsFake(HACMDRIVER driver, LPACMFORMATTAGDETAILSA details,
                               DWORD);  // "Looked-up Tag"
MMRESULT WINAPI TagDetailsFail(HACMDRIVER, LPACMFORMATTAGDETAILSA, DWORD);
extern ACMFORMATDETAILSA g_detailsRequest;
MMRESULT WINAPI DetailsFake(HACMDRIVER driver, LPACMFORMATDETAILSA details,
                            DWORD);  // "looked up <rate> Hz"
MMRESULT WINAPI DetailsFail(HACMDRIVER, LPACMFORMATDETAILSA, DWORD);

// The main dialog created modelessly with the real dialog procedure; destroyed (running the
// shutdown) at scope end unless the test destroyed it.
class MainWindow {
 public:
  MainWindow();
  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;
  HWND get() const { return window_; }
  void Destroy();

 private:
  HWND window_ = nullptr;
};

// The shutdown saved the placement (44 binary bytes) and the recent list (File1..File4).
void ExpectShutdownWroteTheRegistry();
