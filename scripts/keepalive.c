/* Keeps one hidden window alive in the test prefix for the whole run, so Wine's desktop
   process stays up between program starts (otherwise each start after the last window
   closed can stall for seconds). Ended by `wineserver -k` at teardown. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
  (void)previous;
  (void)commandLine;
  (void)show;
  WNDCLASSA windowClass = {0};
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = "RecorderTestKeepAlive";
  if (!RegisterClassA(&windowClass)) return 1;
  HWND window = CreateWindowExA(0, windowClass.lpszClassName, "Recorder test keep-alive",
                                WS_OVERLAPPED, 0, 0, 10, 10, NULL, NULL, instance, NULL);
  if (!window) return 1;
  MSG message;
  while (GetMessageA(&message, NULL, 0, 0) > 0) DispatchMessageA(&message);
  return 0;
}
