// The recording run's work in the device's callback: each returned buffer is written at the
// write position, the file's sizes patched to what the file then holds, and the buffer
// handed back.
//
// Threads. RecordCallback runs on the platform's callback thread (or, while the window's thread
// stops or resets the device, inside that call). It never waits for the window: a failure is
// stored and posted as WM_ENGINE_NOTIFY, and the window's thread stops the run (recorder.cpp).
// GetFreeDiskBytes runs on any thread.
#include <algorithm>
#include <cstring>
#include <string_view>

#include "engine/buffer_pool.h"
#include "engine/engine_internal.h"
#include "engine/record_run.h"
#include "engine/recorder.h"
#include "platform/services.h"
#include "platform/text.h"
#include "state/context.h"

namespace engine::recording {

namespace {

// Any thread, g_fileLock held (or the file private to the caller).
bool WriteSizeField(HMMIO file, LONG offset, DWORD value) {
  return sys.mmioSeek(file, offset, SEEK_SET) == offset &&
         sys.mmioWrite(file, reinterpret_cast<const char*>(&value), sizeof value) == sizeof value;
}

}  // namespace

DWORD HeldUpTo(HMMIO file, DWORD position) {
  MMIOINFO info{};
  LARGE_INTEGER length{};
  if (sys.mmioGetInfo(file, &info, 0) != MMSYSERR_NOERROR || info.fccIOProc != FOURCC_DOS ||
      !sys.GetFileSizeEx(LongToHandle(static_cast<LONG>(info.adwInfo[0])), &length))
    return position;
  const LONGLONG held = length.QuadPart - LONGLONG{g_context.dataOffset};
  if (held <= 0) return 0;
  return held < LONGLONG{position} ? static_cast<DWORD>(held) : position;
}

DWORD DeclaredSize(DWORD position) {
  return std::max(g_declaredAtStart, position);
}

bool PatchSizes(HMMIO file, DWORD position) {
  const DWORD offset = g_context.dataOffset;
  const DWORD size = DeclaredSize(position);
  return WriteSizeField(file, static_cast<LONG>(offset - 4), size) &&
         WriteSizeField(file, 4, offset + size - 8);
}

namespace {

// Callback thread (or the window's thread inside a device call), g_fileLock held.
// Writes one returned block at the write position, then rewrites the two sizes, so that a
// process killed mid-recording leaves a valid file holding every block written. The file is
// unbuffered: each write has reached the system when it returns, and nothing needs flushing.
// The sizes never claim more than the file was found to hold after the write: a write that
// answered for bytes that never arrived stops the run.
Failure WriteBlock(const char* data, DWORD bytes) {
  if (bytes == 0 || !g_file) return Failure::None;
  if (GetFreeDiskBytes(engine::LoadedFilePath()) <= bytes + FreeSpaceReserve)
    return Failure::DiskFull;
  const DWORD position = g_context.position;
  const DWORDLONG end = DWORDLONG{g_context.dataOffset} + position + bytes;
  if (end > engine::MaxFileOffset) return Failure::TooLarge;

  const LONG written = sys.mmioWrite(g_file, data, static_cast<LONG>(bytes));
  if (written <= 0) return Failure::WriteFailed;
  g_wroteAny = true;
  const DWORD now = HeldUpTo(g_file, position + static_cast<DWORD>(written));
  g_context.position = now;
  const LONG resume = static_cast<LONG>(g_context.dataOffset + now);
  const bool patched = PatchSizes(g_file, now) && sys.mmioSeek(g_file, resume, SEEK_SET) == resume;
  return patched && now == position + bytes ? Failure::None : Failure::WriteFailed;
}

// Callback thread. Returned buffers are left alone from now on, and the window's thread is
// asked to stop the run; the first failure is the one reported.
void FailRun(Failure failure) {
  Failure none = Failure::None;
  g_failure.compare_exchange_strong(none, failure);
  Phase phase = g_phase;
  while ((phase == Phase::Running || phase == Phase::Draining) &&
         !g_phase.compare_exchange_weak(phase, Phase::Dropping)) {
  }
  engine::PostEngineNotify(engine::NotifyReason::RecordFailed, g_serial);
}

}  // namespace

MMRESULT AddBuffer(HWAVEIN device, int index) {
  {
    std::lock_guard lock(g_addLock);
    if (g_phase != Phase::Running) return MMSYSERR_NOERROR;
    ++g_outstanding;
    ++g_addsInFlight;
  }
  const MMRESULT result = sys.waveInAddBuffer(device, g_pool.headers[index], sizeof(WAVEHDR));
  if (result != MMSYSERR_NOERROR) --g_outstanding;
  --g_addsInFlight;
  return result;
}

}  // namespace engine::recording

using namespace engine::recording;

// Platform's callback thread.
void CALLBACK RecordCallback(HWAVEIN device, UINT message, DWORD_PTR, DWORD_PTR param1, DWORD_PTR) {
  if (message == WIM_CLOSE) {
    if (device == g_waveIn.load()) g_context.deviceOpen = false;
    return;
  }
  if (message != WIM_DATA || device != g_waveIn.load()) return;

  auto* header = reinterpret_cast<WAVEHDR*>(param1);
  const Phase phase = g_phase;
  if (phase == Phase::Running || phase == Phase::Draining) {
    Failure failure;
    {
      std::lock_guard lock(g_fileLock);
      failure = WriteBlock(header->lpData, header->dwBytesRecorded);
    }
    if (failure != Failure::None)
      FailRun(failure);
    else if (AddBuffer(device, header == g_pool.headers[1] ? 1 : 0) != MMSYSERR_NOERROR)
      FailRun(Failure::AddRefused);
  }
  --g_outstanding;
}

// Any thread. The free bytes on the volume that holds `path` (a file path: its folder is
// asked, so network shares and mounted folders count too), at most the largest 32-bit value;
// 0 when the query fails.
DWORD GetFreeDiskBytes(const char* path) {
  // The folder is put together on the stack: the callback asks before every block it writes,
  // and allocates nothing. Every path the program holds fits (PathTextSize).
  char folder[PathTextSize + 2] = "";
  const std::string_view text = path ? path : "";
  std::string_view part;  // empty: no folder in the path, so the current folder's volume
  if (const size_t cut = text.find_last_of("\\/"); cut != std::string_view::npos)
    part = text.substr(0, cut + 1);
  else if (text.size() >= 2 && text[1] == ':')
    part = text.substr(0, 2);
  if (part.size() > PathTextSize) return 0;
  std::memcpy(folder, part.data(), part.size());
  if (part.size() == 2) folder[2] = '\\';
  ULARGE_INTEGER available{};
  if (!sys.GetDiskFreeSpaceExA(part.empty() ? nullptr : folder, &available, nullptr, nullptr))
    return 0;
  return available.QuadPart > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<DWORD>(available.QuadPart);
}
