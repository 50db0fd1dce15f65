// The one-page properties sheet of the current sound. Window's thread.
#pragma once

#include <windows.h>

void ShowProperties(HWND window);
INT_PTR CALLBACK DetailsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
