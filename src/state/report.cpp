#include "state/report.h"

#include "platform/services.h"

int ReportError(HWND owner, const char* text, int code) {
  sys.MessageBoxA(owner, text, "Error", MB_OK);
  return code;
}

void ReportError(HWND owner, const char* text) {
  sys.MessageBoxA(owner, text, "Error", MB_OK);
}
