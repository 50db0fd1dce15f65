// The one global record that every subsystem reads and writes: on the window's thread, and
// during a run on the device callbacks' thread too (RecorderContext says which fields).
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "platform/text.h"

enum class RecorderState : LONG { Idle = 0, Recording = 1, Playing = 2 };

// Fields touched by both the window's thread and the device callback thread are atomic;
// the others are written on the window's thread alone, and a callback reads some of them
// (dataOffset, loadedPath, filePath) only during a run, which holds them still.
struct RecorderContext {
  std::atomic<RecorderState> state{RecorderState::Idle};
  std::atomic<bool> deviceOpen{false};
  bool sliderDragging = false;
  bool fileLoaded = false;
  // Sized for any name the file dialogs return (PathTextSize).
  char filePath[PathTextSize] = "Untitled.wav";
  char fileTitle[PathTextSize] = "";
  char driveRoot[4] = "";
  // The file that holds the loaded sound. filePath already names a file the user picked when
  // opening or creating it fails; recording and playback must still go to the loaded one.
  char loadedPath[PathTextSize] = "";
  // Its name without the folder, for the Properties sheet.
  char loadedTitle[PathTextSize] = "";
  DWORD dataOffset = 0;
  std::atomic<DWORD> dataSize{0};
  std::atomic<DWORD> position{0};
  std::atomic<DWORD> playStart{0};
  std::atomic<DWORD> recordStart{0};
  std::atomic<bool> morePlayData{false};
  HCURSOR savedCursor = nullptr;
  HWND mainWindow = nullptr;
};

inline RecorderContext g_context;

// Control handles made by CreateControls; they live until the process ends.
struct MainControls {
  HWND buttons[5] = {};  // Rewind, Forward, Play, Stop, Record (ids 800..804)
  HWND slider = nullptr;
  // The DPI they are laid out and drawn for: the window's own once it is known.
  UINT dpi = 96;
};

inline MainControls g_controls;

inline HINSTANCE g_instance = nullptr;

// Trackbar messages always ask for a redraw.
inline LRESULT SliderMessage(UINT message, LPARAM value) {
  return SendMessageA(g_controls.slider, message, 1, value);
}
