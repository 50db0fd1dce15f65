// The main dialog: entry, message table, start-up, command dispatch and shutdown. All of it
// runs on the window's thread, the one that calls RunRecorder.
#pragma once

#include <windows.h>

// The body of the entry point; returns the exit code (always 0).
int RunRecorder(HINSTANCE instance);

INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL InitMainDialog(HWND window);
void CreateControls(HINSTANCE instance, HWND window);
void DispatchCommand(HWND window, WPARAM wParam);
void HandleSliderScroll(HWND window, WPARAM wParam);
void HandleTimer(HWND window, UINT_PTR timerId);
void ShutdownMainDialog(HWND window);

// Ends a slider drag that playback no longer needs: the window calls it when Play starts a
// run and whenever a run has stopped (window's thread only, like every use of sliderDragging).
void ClearSliderDragging();
