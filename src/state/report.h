// The error boxes. Window's thread only: they run a message loop until answered.
#pragma once

#include <windows.h>

// An "Error" box with an OK button; returns the code it was given so callers can
// `return ReportError(...)`. Goes through the platform seam so tests capture it.
int ReportError(HWND owner, const char* text, int code);
void ReportError(HWND owner, const char* text);
