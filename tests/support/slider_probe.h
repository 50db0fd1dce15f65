// The last value sent to the main window's slider with TBM_SETPOS, as it was sent: the control
// clamps what it stores, but does not always draw an out-of-range value at the end.
#pragma once

#include <windows.h>
#include <commctrl.h>

inline WNDPROC g_sliderProc = nullptr;
inline LPARAM g_lastSetPos = -1;

inline LRESULT CALLBACK NoteSetPos(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == TBM_SETPOS) g_lastSetPos = lParam;
  return CallWindowProcA(g_sliderProc, window, message, wParam, lParam);
}

// Puts NoteSetPos in front of the slider's own procedure for the rest of the slider's life.
inline void NoteSliderSetPos(HWND slider) {
  g_lastSetPos = -1;
  g_sliderProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(slider, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&NoteSetPos)));
}
