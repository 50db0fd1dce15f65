// Telling a capture device that has stopped delivering from a healthy one. Window's thread
// only: the record tick asks it.
//
// A device whose driver or sound server goes away mid-recording returns no more buffers and
// stops counting, and the run would go on for ever. The record tick watches for that: no
// progress of the captured count nor of the bytes written for the run's limit, over at least
// StallTicks ticks in a row (so a window thread that was itself starved and has just woken
// does not mistake its own absence for the device's), ends the run. The limit is two buffers'
// duration and never below MinStallLimitMs (well above a capture device's start-up delay): a
// healthy device returns a buffer within one buffer's duration, so the bytes written move
// within the limit even where the position count does not. The limit holds for the whole run.
#pragma once

#include <windows.h>

namespace engine {

inline constexpr DWORD MinStallLimitMs = 5000;
inline constexpr int StallTicks = 10;

// Window's thread only.
struct StallWatch {
  DWORD captured = 0;  // the device's count at the last progress
  DWORD written = 0;   // the bytes written at the last progress
  DWORD since = 0;     // tick count of the last progress
  int quietTicks = 0;
  DWORD limitMs = MinStallLimitMs;
};

// Two buffers of `chunkBytes` at `bytesPerSecond`, at least MinStallLimitMs.
DWORD StallLimitMs(DWORD bytesPerSecond, DWORD chunkBytes);

// A run starts at `written` bytes at tick count `now`, with nothing captured yet.
void StartStallWatch(StallWatch& watch, DWORD written, DWORD now, DWORD limitMs);

// One record tick at `now`: true once the run has made no progress for the limit.
bool DeviceStalled(StallWatch& watch, DWORD captured, DWORD written, DWORD now);

}  // namespace engine
