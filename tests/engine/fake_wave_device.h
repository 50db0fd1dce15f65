// A wave-in and a wave-out device behind the platform seam, with the effects the engine
// relies on: headers come back in the order given, on the device's own thread; waveInStop
// returns the partly filled buffer; a reset returns every queued buffer and restarts the
// position count; unpreparing a queued header or closing with headers queued fails, as on
// Windows. Any call can be made to fail.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/services.h"

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
  // The n-th add or write (counting from 1) is refused with 11; 0 refuses none.
  std::atomic<int> refuseQueueNumber{0};
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

  // What the output device played, in order (also the partial buffers a reset cut short).
  std::vector<unsigned char> Played();
  // The length of every buffer written to the output device, in order.
  std::vector<DWORD> WrittenLengths();
  // Bytes the input device captured into buffers since its start.
  DWORDLONG Captured();
  int Opens() const { return opens_; }
  int Closes() const { return closes_; }
  bool IsOpen() const { return open_; }
  int Resets() const { return resets_; }
  // Problems the device saw: a header used while not prepared, handed over twice, and so on.
  std::vector<std::string> Misuse();
  void SetRate(DWORD bytesPerMs) { rate_ = bytesPerMs; }
  // Holds back every completion until Resume: lets a test act while buffers are queued.
  void Pause();
  void Resume();
  int Queued();

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
  void Notify(UINT message, WAVEHDR* header);
  void NoteMisuse(const char* text);

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
  std::vector<unsigned char> played_;
  std::vector<DWORD> writtenLengths_;
  std::vector<std::string> misuse_;
  std::thread thread_;
};

// Binds the wave-in and wave-out members of `sys` to the given fakes for the scope (either
// may be null: those members stay as they were).
class FakeWaveBinding {
 public:
  FakeWaveBinding(FakeWaveDevice* in, FakeWaveDevice* out);
  ~FakeWaveBinding();
  FakeWaveBinding(const FakeWaveBinding&) = delete;
  FakeWaveBinding& operator=(const FakeWaveBinding&) = delete;

 private:
  PlatformServices saved_;
};
