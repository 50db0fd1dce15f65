// What one recording run shares between the window's thread (recorder.cpp), which starts and
// stops it, and the device's callback on the platform's thread (record_writer.cpp), which
// writes each returned buffer. Both threads touch these: the counts and states are atomic,
// and the file is used under g_fileLock.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <mutex>

namespace engine::recording {

// Running: returned buffers are written and handed back. Draining: the window's thread is
// stopping; returned buffers are still written (they hold the tail) but not handed back.
// Dropping: a write or hand-back failed; returned buffers are left alone.
enum class Phase { Off, Running, Draining, Dropping };

enum class Failure { None, DiskFull, WriteFailed, TooLarge, AddRefused, DeviceStalled };

inline std::atomic<HWAVEIN> g_waveIn{nullptr};
inline std::atomic<Phase> g_phase{Phase::Off};
inline std::atomic<Failure> g_failure{Failure::None};
inline std::atomic<LONG> g_serial{0};
// Headers handed to the device whose return has not been dealt with yet.
inline std::atomic<int> g_outstanding{0};
// Hand-backs decided while Running whose waveInAddBuffer has not returned yet.
inline std::atomic<int> g_addsInFlight{0};
// Orders a hand-back's Running check against the window's switch to Draining.
inline std::mutex g_addLock;

// The recording file. The callback's write and the window's close both hold g_fileLock, so a
// write in progress is complete before the file is closed. The window's thread never holds
// it while calling into the device (a reset may run the callback on the same thread).
inline std::mutex g_fileLock;
inline HMMIO g_file = nullptr;
inline bool g_wroteAny = false;
// The data size the file declared when the run began. A run that overwrites inside the data
// and stops before its old end leaves the file declaring the old size: the older bytes after
// the new end stay part of the recording, as the window already treats them.
inline DWORD g_declaredAtStart = 0;

// Any thread, g_fileLock held (or the file private to the caller). The data chunk's size
// becomes the declared size and the RIFF size follows it.
bool PatchSizes(HMMIO file, DWORD position);

// Any thread, g_fileLock held (or the file private to the caller). How much of the data from
// its start up to `position` the file really holds: `position`, or less when the file ends
// sooner. A file whose length cannot be read is taken at its writes' word.
DWORD HeldUpTo(HMMIO file, DWORD position);

// The size the file declares once the run has written up to `position`: the larger of the
// size it declared at the start and the new end.
DWORD DeclaredSize(DWORD position);

// Any thread. Hands header `index` to the device while the run is Running; 0 also when the
// run has moved on and nothing was handed over.
MMRESULT AddBuffer(HWAVEIN device, int index);

}  // namespace engine::recording
