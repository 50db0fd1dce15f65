// Internal to the driver's sources: reaching the windows of another process. Finding them,
// sending to them with a bound on the wait, and the UTF-8 texts that cross to them as UTF-16.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace recorder_driver {

std::string ClassName(HWND window);
bool IsDialogOf(HWND window, DWORD processId);
std::vector<HWND> TopLevelWindows();
std::vector<HWND> Descendants(HWND parent);

LRESULT SendWithTimeoutA(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                         DWORD timeoutMs = 5000);
LRESULT SendWithTimeoutW(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                         DWORD timeoutMs = 5000);

// The driver's texts are UTF-8, as the program's own are: this test program runs in the
// system's ANSI code page, so texts cross to and from the program only in their wide form.
std::string Narrow(const std::wstring& wide);
std::wstring Widen(const std::string& text);

}  // namespace recorder_driver
