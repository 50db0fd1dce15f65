// A wave-in and a wave-out device behind the platform seam (for the engine) or under the
// converting devices, with the effects both rely on: headers come back in the order given, on
// the device's own thread; waveInStop returns the partly filled buffer; a reset returns every
// queued buffer and restarts the position count; unpreparing a queued header or closing with
// headers queued fails, as on Windows. Any call can be made to fail, and a test can hold the
// buffers back and complete them itself, from the thread and at the moment it chooses.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/services.h"
#include "platform/wave_devices.h"

// Byte `index` of the sound the fake input device captures.
inline unsigned char CapturedByte(DWORDLONG index) {
  return static_cast<unsigned char>((index * 7 + (index >> 8) * 13 + (index >> 16)) & 0xFF);
}

struct FakeFailures {
  std::atomic<MMRESULT> open{0};
  std::atomic<MMRESULT> prepare[2] = {0, 0};
  std::atomic<MMRESULT> unprepare[2] = {0, 0};
  std::atomic<MMRESULT> start{0};
  std::atomic<MMRESULT> stop{0};
  std::atomic<MMRESULT> reset{0};
  std::atomic<MMRESULT> close{0};
  std::atomic<MMRESULT> position{0};  // the position is not read and this is answered
  // The n-th add or write (counting from 1) is refused with 11; 0 refuses none. With
  // refuseEveryLater, every one after it too.
  std::atomic<int> refuseQueueNumber{0};
  std::atomic<bool> refuseEveryLater{false};
};

class FakeWaveDevice {
 public:
  enum class Kind { In, Out };

  // bytesPerMs 0: buffers go through as fast as the device thread runs.
  FakeWaveDevice(Kind kind, DWORD bytesPerMs);
  ~FakeWaveDevice();
  FakeWaveDevice(const FakeWaveDevice&) = delete;
  FakeWaveDevice& operator=(const FakeWaveDevice&) = delete;

  FakeFailures fail;
  // Output: a reset first plays the front buffer to its end and delivers its completion on
  // the resetting thread, as a buffer that completes just as the reset begins.
  std::atomic<bool> completeFrontInReset{false};
  // A reset (or stop) keeps every queued buffer: they are never handed back.
  std::atomic<bool> keepBuffersOnReset{false};
  // A reset that fails (fail.reset) does nothing at all: the queue plays on.
  std::atomic<bool> failedResetDoesNothing{false};
  // A reset hands the queue back through the callback on the resetting thread, and neither a
  // reset nor a close waits for a delivery under way, as Wine's devices do.
  std::atomic<bool> returnOnCaller{false};
  // Input: sound goes on arriving while the device is started with no buffer queued; it is
  // counted in the position, as captured, and lost (Lost()).
  std::atomic<bool> losesSoundWhileDry{false};
  // Input buffers the device fills before it rests; negative: no end.
  std::atomic<int> captureBudget{-1};
  // Runs at the start of every reset, before the queue is returned.
  std::function<void()> onReset;

  // What the output device played, in order (also the partial buffers a reset cut short).
  std::vector<unsigned char> Played();
  // The length of every buffer written to the output device, in order.
  std::vector<DWORD> WrittenLengths();
  // Bytes the input device captured into buffers since its open, and the buffers filled.
  DWORDLONG Captured();
  int Captures() const { return captures_; }
  DWORDLONG Lost() const { return lost_; }
  // Bytes played or captured since the last start or reset (what the position reports).
  DWORD BytesSinceReset();
  int Opens() const { return opens_; }
  int Closes() const { return closes_; }
  bool IsOpen() const { return open_; }
  int Resets() const { return resets_; }
  // Output: times the device ran out of buffers and was given another one later without a
  // reset in between: a gap in the sound while data remained. Counted since the open.
  int RanDry() const { return ranDry_; }
  // Problems the device saw: a header used while not prepared, handed over twice, and so on.
  std::vector<std::string> Misuse();
  void SetRate(DWORD bytesPerMs) { rate_ = bytesPerMs; }
  // Holds back every completion until Resume: lets a test act while buffers are queued.
  void Pause();
  void Resume();
  int Queued();
  // Takes the front buffer off the queue done, as the device thread does before it calls
  // back, without calling back; nullptr when none is queued.
  WAVEHDR* TakeFront();
  // The callback of a buffer taken with TakeFront, on the calling thread.
  void Complete(WAVEHDR* header);
  void CompleteFront() {
    if (WAVEHDR* header = TakeFront()) Complete(header);
  }

  // The seam's entry points land here.
  MMRESULT Open(HANDLE* handle, DWORD_PTR callback, DWORD_PTR instance, DWORD flags);
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
  void DeliverFilled();
  void Notify(UINT message, WAVEHDR* header);
  void NoteMisuse(const char* text);
  // Lock held: plays or captures `step` more bytes of the front buffer.
  void Advance(WAVEHDR* header, DWORD step);
  // Lock held: takes the finished front buffer off the queue, done.
  WAVEHDR* PopDone();

  const Kind kind_;
  std::atomic<DWORD> rate_;
  std::mutex lock_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::deque<WAVEHDR*> queue_;
  std::vector<WAVEHDR*> toReturn_;  // handed back by a stop or reset, delivered by the thread
  int returning_ = 0;               // returns the thread has not delivered yet
  DWORD doneInFront_ = 0;           // bytes of the front buffer already played or captured
  bool started_ = false;
  bool fed_ = false;  // a buffer was queued since the start
  double owed_ = 0;   // lossy input: bytes due and not yet captured or lost
  std::chrono::steady_clock::time_point paceFrom_;
  bool paused_ = false;
  bool quit_ = false;
  std::atomic<bool> open_{false};
  DWORD_PTR callback_ = 0;
  DWORD_PTR instance_ = 0;
  DWORDLONG captured_ = 0;
  DWORD positionBytes_ = 0;
  int queueCount_ = 0;
  int prepareCount_ = 0;  // since the open: 0 is header 0's turn, 1 header 1's
  int unprepareCount_ = 0;
  std::atomic<int> opens_{0};
  std::atomic<int> closes_{0};
  std::atomic<int> resets_{0};
  std::atomic<int> captures_{0};
  std::atomic<int> ranDry_{0};
  std::atomic<DWORDLONG> lost_{0};
  bool dry_ = false;  // the output queue was played empty (not reset empty)
  std::vector<unsigned char> played_;
  std::vector<DWORD> writtenLengths_;
  std::vector<std::string> misuse_;
  std::condition_variable deliver_;
  std::deque<WAVEHDR*> toDeliver_;  // filled buffers for DeliverFilled, in order
  std::thread thread_;
  std::thread deliverer_;
};

// Binds the wave-in and wave-out members of `sys` (the engine's devices), or of `winmm` (the
// devices under the converting devices), to the given fakes for the scope (either may be null:
// those members stay as they were).
class FakeWaveBinding {
 public:
  enum class Seam { Platform, UnderConverting };
  FakeWaveBinding(FakeWaveDevice* in, FakeWaveDevice* out, Seam seam = Seam::Platform);
  ~FakeWaveBinding();
  FakeWaveBinding(const FakeWaveBinding&) = delete;
  FakeWaveBinding& operator=(const FakeWaveBinding&) = delete;

 private:
  PlatformServices savedSys_;
  WinmmWaveCalls savedWinmm_;
};
