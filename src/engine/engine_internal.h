// What the recorder, the player and the notification handler share inside the engine. All of
// it is for the window's thread, except LoadedFilePath and PostEngineNotify, which the device
// callbacks call too.
#pragma once

#include <windows.h>

#include <atomic>

#include "state/context.h"
#include "wave/format.h"

namespace engine {

// The file that holds the loaded sound. A failed Open or New leaves filePath naming the file
// the user picked, while dataOffset and dataSize still describe the loaded one: recording and
// playback go to the loaded file.
inline char* LoadedFilePath() {
  return g_context.loadedPath[0] ? g_context.loadedPath : g_context.filePath;
}

// The file services seek with signed 32-bit offsets: no byte of a file we write or read may
// lie beyond this offset.
inline constexpr DWORDLONG MaxFileOffset = 0x7FFFFFFF;

// How long the window's thread waits for a callback to finish what it has started (a file
// write, or handing a buffer to the device) before it goes on regardless.
inline constexpr DWORD CallbackWaitMs = 3000;

// Why a device callback asks the window's thread to act (the WPARAM of WM_ENGINE_NOTIFY).
enum class NotifyReason : WPARAM {
  RecordFailed = 1,     // the recorder could not write or re-add a buffer
  PlayEnded = 2,        // the last buffer of the data has been played
  PlayWriteFailed = 3,  // the output device refused a buffer
};

// Every run gets a new serial (the LPARAM of WM_ENGINE_NOTIFY), so that a notification left
// over from an earlier run is recognised and ignored.
LONG NextRunSerial();

// Any thread. Never waits for the window's thread.
void PostEngineNotify(NotifyReason reason, LONG serial);

// Window's thread: lets the other thread finish, polling `done` for up to `ms` milliseconds.
// The callbacks never wait for the window's thread, so this cannot deadlock; the limit only
// guards against a device layer that never answers.
template <typename Done>
bool WaitUntil(Done done, DWORD ms = CallbackWaitMs) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start >= ms) return false;
    Sleep(1);
  }
  return true;
}

// Window's thread: marks a start, stop or reposition under way for its scope (EngineBusy).
class BusyScope {
 public:
  BusyScope();
  ~BusyScope();
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;
};

// Window's thread, from HandleEngineNotify.
void HandleRecorderNotify(HWND window, LONG serial);
void HandlePlayerNotify(HWND window, NotifyReason reason, LONG serial);

}  // namespace engine
