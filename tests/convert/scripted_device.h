// A wave device underneath the converting devices (the `winmm` calls of wave_devices.h),
// driven by the test: it completes buffers on its own thread as a device does, or holds them
// for the test to complete from the thread and at the moment it chooses; a reset returns the
// queued buffers through the callback before it returns, as Wine's does.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/wave_devices.h"

class ScriptedDevice {
 public:
  enum class Kind { In, Out };
  explicit ScriptedDevice(Kind kind);
  ~ScriptedDevice();
  ScriptedDevice(const ScriptedDevice&) = delete;
  ScriptedDevice& operator=(const ScriptedDevice&) = delete;

  // The device thread completes queued buffers (input: filled whole, once started) while set.
  std::atomic<bool> autoComplete{true};
  // Input buffers the device thread fills before it rests; negative: no end.
  std::atomic<int> captureBudget{-1};
  // The n-th add or write (from 1) is refused; with refuseEveryLater, every one after it too.
  std::atomic<int> refuseNumber{0};
  std::atomic<bool> refuseEveryLater{false};
  // Runs at the start of every reset, before the queue is returned.
  std::function<void()> onReset;

  // Takes the front buffer off the queue as the device thread does before it calls back,
  // without calling back; nullptr when none is queued.
  WAVEHDR* TakeFront();
  // The callback of a buffer taken with TakeFront, on the calling thread.
  void Complete(WAVEHDR* header);
  void CompleteFront() {
    if (WAVEHDR* header = TakeFront()) Complete(header);
  }
  int Queued();
  DWORD CapturedBytes() const { return captured_; }
  // Bytes of the buffers completed since the last reset (a reset returns the rest unplayed).
  DWORD Played() const { return position_; }
  int Captures() const { return captures_; }

  // The `winmm` entry points land here.
  MMRESULT Open(HANDLE* handle, DWORD_PTR callback, DWORD_PTR instance);
  MMRESULT Prepare(WAVEHDR* header, UINT size);
  MMRESULT Unprepare(WAVEHDR* header, UINT size);
  MMRESULT Queue(WAVEHDR* header, UINT size);
  MMRESULT Start();
  MMRESULT Stop();
  MMRESULT Reset();
  MMRESULT Position(MMTIME* time, UINT size);
  MMRESULT Close();

 private:
  void Run();
  void Notify(UINT message, WAVEHDR* header);
  WAVEHDR* PopFront();  // lock held

  const Kind kind_;
  std::mutex lock_;
  std::condition_variable wake_;
  std::deque<WAVEHDR*> queue_;
  bool started_ = false;
  bool quit_ = false;
  DWORD_PTR callback_ = 0;
  DWORD_PTR instance_ = 0;
  int queueCount_ = 0;
  std::atomic<DWORD> position_{0};
  std::atomic<DWORD> captured_{0};
  std::atomic<int> captures_{0};
  std::thread thread_;
};

// Puts the scripted devices under the converting devices for the scope (either may be null:
// that side stays on WINMM).
class ScriptedDevicesBelow {
 public:
  ScriptedDevicesBelow(ScriptedDevice* in, ScriptedDevice* out);
  ~ScriptedDevicesBelow();
  ScriptedDevicesBelow(const ScriptedDevicesBelow&) = delete;
  ScriptedDevicesBelow& operator=(const ScriptedDevicesBelow&) = delete;

 private:
  WinmmWaveCalls saved_;
};
