// Streaming the current file's data chunk to the wave-output device.
//
// Threads. StartPlayback, StopPlayback, SeekPlayback, PlayTick, ReleasePlayback,
// QueuePlayBuffer and the notification handler run on the window's thread. PlayCallback runs
// on the platform's callback thread (or inside a reset that the window's thread calls); it
// only refills the returned buffer from the file and hands it back to the device. The end of
// the data and a refused buffer are posted to the window's thread as WM_ENGINE_NOTIFY, which
// stops the run there: the device is never reset or closed from its own callback.
//
// Buffers reach the device in the order they were filled, whichever thread filled them: the
// filled ones wait in a short queue, and one thread at a time hands them over. A thread that
// finds another one at it leaves its buffer to that thread instead of waiting.
//
// Repositioning parks every buffer the device returns, resets the device, and only then moves
// the position and refills the parked buffers from the new place: no buffer filled from the
// new place can be handed back unplayed by the reset. Playback then reads on from the new place
// whatever happened before it: an end already seen (the last chunk read, its notice posted) or
// a read limit lowered by a short read belongs to the old place.
#include "engine/player.h"

#include <commctrl.h>

#include <algorithm>
#include <mutex>

#include "state/context.h"
#include "state/display.h"
#include "state/report.h"
#include "engine/buffer_pool.h"
#include "engine/engine_internal.h"
#include "platform/services.h"
#include "resources/resource.h"
#include "wave/format.h"
#include "wave/wave_file.h"

namespace {

// Running: returned buffers are refilled and handed back. Seeking: a reposition is under way;
// returned buffers are parked. Stopping: returned buffers are left alone.
enum class Phase { Off, Running, Seeking, Stopping };
enum class Outcome { Going, Ended, WriteFailed };

std::atomic<HWAVEOUT> g_waveOut{nullptr};
std::atomic<Phase> g_phase{Phase::Off};
std::atomic<LONG> g_serial{0};
// The serial whose end notice has been posted: one per run, and one per reposition.
std::atomic<LONG> g_endNoticeSerial{0};

// Guards the playback file and its read position, the pool's fill bookkeeping
// (currentBuffer, ChunkLength, the header lengths), position, morePlayData and the queue of
// filled buffers. Neither thread holds it while calling into the device.
std::mutex g_lock;
HMMIO g_file = nullptr;
// Payload bytes that can be read: dataSize, less when the file ends early or would pass what
// the file services can seek to.
DWORD g_readLimit = 0;
// A buffer the device refused this run: its notice is on its way and ends the run.
bool g_writeRefused = false;
// The run's full buffer length, whole blocks of the format. Every buffer is this long except
// the true final one, so the read position stays on a block boundary after any reposition.
DWORD g_fullChunk = 0;
int g_waiting[2] = {};  // filled buffers in fill order, not yet handed to the device
int g_waitingCount = 0;
int g_parked[2] = {};  // buffers returned while Seeking
int g_parkedCount = 0;
// Buffers back from the device with nothing left to read into them: a reposition refills them.
int g_idle[2] = {};
int g_idleCount = 0;
bool g_writing = false;  // a thread is handing the waiting buffers to the device
int g_inFlight = 0;      // buffers handed (or being handed) to the device, not yet returned

// Window's thread only.
bool g_runActive = false;  // from the open of the device to its release
bool g_stopping = false;   // StopPlayback is under way (message boxes run a message loop)

constexpr UINT OpenFlags = CALLBACK_FUNCTION | WAVE_ALLOWSYNC;

// The payload bytes the file services can reach: dataSize, or less when the data would pass
// the largest offset they seek to.
DWORD ReachableData() {
  const DWORD room = g_context.dataOffset < engine::MaxFileOffset
                         ? static_cast<DWORD>(engine::MaxFileOffset - g_context.dataOffset)
                         : 0;
  return std::min<DWORD>(g_context.dataSize, room);
}

// g_lock held. Moves the file to payload byte `position`; a place that cannot be reached
// ends the readable data there.
void SeekFile(DWORD position) {
  if (position >= g_readLimit || !g_file) return;
  const auto target = static_cast<LONG>(g_context.dataOffset + position);
  if (sys.mmioSeek(g_file, target, SEEK_SET) != target) g_readLimit = position;
}

// g_lock held, lock owns it. Hands the waiting buffers to the device in fill order.
Outcome WriteWaiting(std::unique_lock<std::mutex>& lock, HWAVEOUT device) {
  if (g_writing) return Outcome::Going;  // the thread at it takes ours too
  g_writing = true;
  Outcome outcome = Outcome::Going;
  while (g_waitingCount > 0 && g_phase == Phase::Running) {
    const int next = g_waiting[0];
    g_waiting[0] = g_waiting[1];
    --g_waitingCount;
    WAVEHDR* header = g_pool.headers[next];
    header->dwFlags = WHDR_PREPARED;
    ++g_inFlight;
    lock.unlock();
    const MMRESULT result = sys.waveOutWrite(device, header, sizeof(WAVEHDR));
    lock.lock();
    if (result != MMSYSERR_NOERROR) {
      --g_inFlight;
      g_writeRefused = true;
      outcome = Outcome::WriteFailed;
      break;
    }
    g_pool.currentBuffer = 1 - next;
  }
  g_writing = false;
  // Nothing at the device and nothing left to hand over: no completion will come to end the
  // run, so it ends here.
  if (outcome == Outcome::Going && g_phase == Phase::Running && g_inFlight == 0 &&
      g_waitingCount == 0)
    outcome = Outcome::Ended;
  return outcome;
}

// g_lock held. Buffer `index` is back and the data has ended: it waits for a reposition.
void KeepIdle(int index) {
  if (g_idleCount < 2) g_idle[g_idleCount++] = index;
}

// g_lock held. Refills buffer `index` and puts it behind the waiting ones.
void Refill(int index) {
  g_pool.currentBuffer = index;
  if (!g_context.morePlayData || FillPlayBuffer())
    KeepIdle(index);
  else if (g_waitingCount < 2)
    g_waiting[g_waitingCount++] = index;
}

// g_lock held. Forgets every buffer the run kept aside.
void ClearRunQueues() {
  g_waitingCount = 0;
  g_parkedCount = 0;
  g_idleCount = 0;
}

// g_lock held, lock owns it. Refills buffer `index` and hands it over (with any waiting).
Outcome RefillAndWrite(std::unique_lock<std::mutex>& lock, HWAVEOUT device, int index) {
  Refill(index);
  return WriteWaiting(lock, device);
}

// Any thread. `serial` is the one in force when the outcome was reached (read under g_lock):
// a reposition since then gives the moved run a new one, and this notice is ignored.
void PostOutcome(Outcome outcome, LONG serial) {
  if (outcome == Outcome::Ended) {
    if (g_endNoticeSerial.exchange(serial) != serial)
      engine::PostEngineNotify(engine::NotifyReason::PlayEnded, serial);
  } else if (outcome == Outcome::WriteFailed) {
    engine::PostEngineNotify(engine::NotifyReason::PlayWriteFailed, serial);
  }
}

// Window's thread: fills and queues buffer `index`; on a refused buffer stops and reports.
int QueueHeader(HWND window, int index) {
  Outcome outcome;
  LONG serial;
  {
    std::unique_lock lock(g_lock);
    if (g_phase != Phase::Running) return 0;
    outcome = RefillAndWrite(lock, g_waveOut, index);
    serial = g_serial;
  }
  if (outcome == Outcome::WriteFailed) {
    StopPlayback(window, 1);
    return ReportError(window, "Error writing wave buffer.", -1);
  }
  PostOutcome(outcome, serial);
  return 0;
}

bool NoThreadWriting() {
  std::lock_guard lock(g_lock);
  return !g_writing;
}

bool NothingAtTheDevice() {
  std::lock_guard lock(g_lock);
  return g_inFlight <= 0;
}

enum class AfterRefusedReset { Wait, GoOn };

// Window's thread: resets the device and waits until it has handed every buffer back. A reset
// the device refuses returns nothing, and its buffers come back only as they are played: a
// reposition goes on without them, a stop waits for them before the device is closed. A
// device that keeps them past the wait may still return them later; ReleasePlayback judges by
// what is at the device then.
void ResetAndWait(HWAVEOUT device, AfterRefusedReset refused) {
  if (sys.waveOutReset(device) == MMSYSERR_NOERROR || refused == AfterRefusedReset::Wait)
    engine::WaitUntil(NothingAtTheDevice);
}

}  // namespace

// Window's thread.
int StartPlayback(HWND window) {
  if (g_context.deviceOpen || g_runActive) return -1;
  engine::BusyScope busy;
  if (!AudioBuffersReady()) return ReportError(window, "Error allocating wave buffer memory.", -1);
  g_pool.currentBuffer = 0;

  // The slider at its last block stands at the end, whether or not the data ends on a block:
  // Play then starts from the beginning rather than play the fraction of a block past it.
  DWORD position = SliderBytePosition();
  if (BlocksInData(position) >= BlocksInData(g_context.dataSize)) {
    SliderMessage(TBM_SETPOS, 0);
    position = 0;
  }
  g_context.position = position;
  g_context.playStart = position;

  HWAVEOUT device = nullptr;
  if (sys.waveOutOpen(&device, WAVE_MAPPER, CurrentFormat,
                      reinterpret_cast<DWORD_PTR>(&PlayCallback),
                      reinterpret_cast<DWORD_PTR>(g_instance), OpenFlags) != MMSYSERR_NOERROR)
    return ReportError(window, "Error opening wave out device.", -1);
  g_waveOut = device;
  {
    // What an earlier run left (a device that kept its buffers) says nothing about this one,
    // and the release of a run that fails from here on judges by these counts.
    std::lock_guard lock(g_lock);
    ClearRunQueues();
    g_writing = false;
    g_inFlight = 0;
  }
  g_serial = engine::NextRunSerial();
  g_endNoticeSerial = 0;
  g_runActive = true;
  g_context.deviceOpen = true;
  ResetAudioBuffers();

  if (sys.waveOutPrepareHeader(device, g_pool.headers[0], sizeof(WAVEHDR)) != MMSYSERR_NOERROR ||
      sys.waveOutPrepareHeader(device, g_pool.headers[1], sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
    ReleasePlayback(window);
    return ReportError(window, "Error preparing header for playing.", -2);
  }

  HMMIO file = sys.mmioOpenA(engine::LoadedFilePath(), nullptr, 0);
  if (!file) {
    ReleasePlayback(window);
    return ReportError(window, "Open for read failed.", -1);
  }
  {
    std::lock_guard lock(g_lock);
    g_file = file;
    g_readLimit = ReachableData();
    g_writeRefused = false;
    g_fullChunk = g_pool.ChunkLength;
    SeekFile(position);
    // Set before the first buffer goes out: on a fast device its completion may arrive
    // before this thread gets further.
    g_context.morePlayData = true;
    g_phase = Phase::Running;
  }

  // Both buffers are filled before the first reaches the device: a device that finished the
  // first before the second was filled would run dry at the very start.
  Outcome outcome;
  LONG serial;
  DWORD shown;
  {
    std::unique_lock lock(g_lock);
    Refill(0);
    shown = g_context.position;  // one buffer ahead of the start, until the first tick
    Refill(1);
    outcome = WriteWaiting(lock, device);
    serial = g_serial;
  }
  if (outcome == Outcome::WriteFailed) {
    StopPlayback(window, 1);
    return ReportError(window, "Error writing wave buffer.", -4);
  }
  g_context.state = RecorderState::Playing;
  SetTimer(window, IDT_PLAY, 250, nullptr);
  ShowPosition(window, shown);
  UpdateControlStates(window);
  PostOutcome(outcome, serial);
  return 0;
}

// Callers hold g_lock (the refills); reads the next chunk into the current buffer.
bool FillPlayBuffer() {
  const DWORD position = g_context.position;
  const DWORD end = g_readLimit;
  if (position >= end) {
    g_pool.ChunkLength = 0;
    g_context.morePlayData = false;
    return true;
  }
  // A full buffer of whole blocks, or what is left before the end: only the true final buffer
  // is shorter, whatever repositioning happened before it.
  g_pool.ChunkLength = std::min<DWORD>(g_fullChunk, end - position);
  const int index = g_pool.currentBuffer;
  const LONG got =
      g_file ? sys.mmioRead(g_file, g_pool.buffers[index], static_cast<LONG>(g_pool.ChunkLength))
             : -1;
  if (got <= 0) {
    // The file holds fewer bytes than its header promises: what is there has been played.
    g_readLimit = position;
    g_context.morePlayData = false;
    return true;
  }
  if (static_cast<DWORD>(got) < g_pool.ChunkLength) g_readLimit = position + got;
  g_pool.headers[index]->dwBufferLength = static_cast<DWORD>(got);
  g_context.position = position + static_cast<DWORD>(got);
  return false;
}

// Window's thread.
int QueuePlayBuffer(HWND window) {
  int index;
  {
    std::lock_guard lock(g_lock);
    index = g_pool.currentBuffer;
  }
  return QueueHeader(window, index);
}

// Platform's callback thread (or the window's thread inside waveOutReset).
void CALLBACK PlayCallback(HWAVEOUT device, UINT message, DWORD_PTR, DWORD_PTR param1, DWORD_PTR) {
  if (message == WOM_CLOSE) {
    if (device == g_waveOut.load()) g_context.deviceOpen = false;
    return;
  }
  if (message != WOM_DONE || device != g_waveOut.load()) return;
  const int index = reinterpret_cast<WAVEHDR*>(param1) == g_pool.headers[1] ? 1 : 0;
  Outcome outcome;
  LONG serial;
  {
    std::unique_lock lock(g_lock);
    if (g_phase == Phase::Off) return;
    --g_inFlight;
    if (g_phase == Phase::Seeking) {
      // Refilled from the new place once the reset has handed back every buffer.
      if (g_parkedCount < 2) g_parked[g_parkedCount++] = index;
      return;
    }
    if (g_phase != Phase::Running) return;
    // The end is seen one completion late: the fill that found no data cleared the flag,
    // and this is the completion of the last buffer queued.
    if (!g_context.morePlayData) KeepIdle(index);
    outcome = g_context.morePlayData ? RefillAndWrite(lock, device, index) : Outcome::Ended;
    serial = g_serial;
  }
  PostOutcome(outcome, serial);
}

// Window's thread.
void StopPlayback(HWND window, int keepText) {
  if (!g_runActive || g_stopping) return;
  engine::BusyScope busy;
  g_stopping = true;
  const HWAVEOUT device = g_waveOut;
  {
    std::lock_guard lock(g_lock);
    g_phase = Phase::Stopping;
    ClearRunQueues();
    g_context.state = RecorderState::Idle;
    g_context.morePlayData = false;
  }
  // A buffer being handed over right now reaches the device before the reset returns it.
  engine::WaitUntil(NoThreadWriting);
  ResetAndWait(device, AfterRefusedReset::Wait);
  KillTimer(window, IDT_PLAY);
  if (!keepText) ShowPosition(window, g_context.position);
  ReleasePlayback(window);
  UpdateControlStates(window);
  g_stopping = false;
}

// Window's thread. Runs once per run: g_runActive is tested first and cleared at once.
void ReleasePlayback(HWND window) {
  if (!g_runActive) return;
  g_runActive = false;
  const HWAVEOUT device = g_waveOut;
  bool kept;
  {
    std::lock_guard lock(g_lock);
    g_phase = Phase::Stopping;
    kept = g_inFlight > 0;
  }
  // Headers the device still holds are neither unprepared nor used again.
  if (!kept &&
      (sys.waveOutUnprepareHeader(device, g_pool.headers[0], sizeof(WAVEHDR)) != MMSYSERR_NOERROR ||
       sys.waveOutUnprepareHeader(device, g_pool.headers[1], sizeof(WAVEHDR)) != MMSYSERR_NOERROR))
    ReportError(window, "Error unpreparing play header.");
  if (sys.waveOutClose(device) != MMSYSERR_NOERROR)
    ReportError(nullptr, "Error closing wave playback device.");
  if (kept) SetAsideAudioBuffers(window);
  g_context.deviceOpen = false;
  {
    std::lock_guard lock(g_lock);
    if (g_file) sys.mmioClose(g_file, 0);
    g_file = nullptr;
    g_phase = Phase::Off;
  }
  g_waveOut = nullptr;
}

// Window's thread, while playing, when the user lets go of the slider.
void SeekPlayback(HWND window, DWORD bytePosition) {
  if (!g_runActive || g_stopping) return;
  engine::BusyScope busy;
  const HWAVEOUT device = g_waveOut;
  {
    std::lock_guard lock(g_lock);
    if (g_phase != Phase::Running) return;
    g_phase = Phase::Seeking;
    g_parkedCount = 0;
    // An end notice already on its way belongs to the old place: the moved run gets a serial
    // of its own. A refused buffer's notice keeps the old one: that run is over either way.
    if (!g_writeRefused) g_serial = engine::NextRunSerial();
  }
  // A buffer being handed over right now holds sound from the old place; once it is at the
  // device the reset returns it with the others, and every returned buffer is parked.
  engine::WaitUntil(NoThreadWriting);
  ResetAndWait(device, AfterRefusedReset::GoOn);

  Outcome outcome;
  LONG serial;
  {
    std::unique_lock lock(g_lock);
    // Filled from the old place and not handed over yet, or left idle at its end: refilled
    // like the returned ones, so that every buffer of the run plays again.
    for (int i = 0; i < g_waitingCount && g_parkedCount < 2; ++i)
      g_parked[g_parkedCount++] = g_waiting[i];
    for (int i = 0; i < g_idleCount && g_parkedCount < 2; ++i)
      g_parked[g_parkedCount++] = g_idle[i];
    g_waitingCount = 0;
    g_idleCount = 0;
    g_context.position = bytePosition;
    g_context.playStart = bytePosition;
    g_readLimit = ReachableData();
    g_context.morePlayData = true;
    SeekFile(bytePosition);
    g_phase = Phase::Running;
    for (int i = 0; i < g_parkedCount; ++i) Refill(g_parked[i]);
    g_parkedCount = 0;
    outcome = WriteWaiting(lock, device);
    serial = g_serial;
  }
  if (outcome == Outcome::WriteFailed) {
    StopPlayback(window, 1);
    ReportError(window, "Error writing wave buffer.");
    return;
  }
  PostOutcome(outcome, serial);
}

// Window's thread.
void PlayTick(HWND window) {
  if (!g_runActive) return;
  MMTIME time{};
  time.wType = TIME_BYTES;
  // A position that could not be read says nothing: the slider and the text stay as they are.
  if (sys.waveOutGetPosition(g_waveOut, &time, sizeof time) != MMSYSERR_NOERROR ||
      time.wType != TIME_BYTES)
    return;
  const DWORD played = g_context.playStart + time.u.cb;
  const DWORD block = played / CurrentBlockAlign();
  SliderMessage(TBM_SETPOS, block > LONG_MAX ? LONG_MAX : static_cast<LPARAM>(block));
  ShowPosition(window, played);
}

namespace engine {

// Window's thread.
void HandlePlayerNotify(HWND window, NotifyReason reason, LONG serial) {
  if (!g_runActive || g_stopping || serial != g_serial) return;
  engine::BusyScope busy;
  if (reason == NotifyReason::PlayEnded) {
    StopPlayback(window, 0);
    // The block under the position, as Forward sets it: at the end of the data that is the
    // slider's maximum, so the thumb is drawn at the end.
    const DWORD block = BlocksInData(g_context.position);
    SliderMessage(TBM_SETPOS, block > LONG_MAX ? LONG_MAX : static_cast<LPARAM>(block));
  } else {
    StopPlayback(window, 1);
    ReportError(window, "Error writing wave buffer.");
  }
}

}  // namespace engine
