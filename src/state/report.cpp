// The error boxes. Window's thread: a device callback never shows one, it posts instead.
#include "state/report.h"

#include "platform/services.h"

int ReportError(HWND owner, const char* text, int code) {
  sys.MessageBoxA(owner, text, "Error", MB_OK);
  return code;
}

void ReportError(HWND owner, const char* text) {
  sys.MessageBoxA(owner, text, "Error", MB_OK);
}
