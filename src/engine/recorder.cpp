// Capture from the wave-input device into the current file's data chunk: a run's start, its
// ticks, its stop and its end, and the final sizes written into the file.
//
// Threads. Everything here runs on the window's thread. The per-buffer file work runs in the
// device's callback on the platform's thread (record_writer.cpp); when that fails it posts
// WM_ENGINE_NOTIFY and the window's thread stops the run here, so the device is never
// stopped, reset or closed from its own callback and no callback waits for the window.
#include "engine/recorder.h"

#include <commctrl.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <utility>

#include "state/context.h"
#include "state/display.h"
#include "state/report.h"
#include "engine/buffer_pool.h"
#include "engine/engine_internal.h"
#include "engine/record_run.h"
#include "engine/stall_watch.h"
#include "platform/services.h"
#include "platform/wave_devices.h"
#include "resources/resource.h"
#include "wave/format.h"
#include "wave/wave_file.h"

using namespace engine::recording;

namespace {

// Window's thread only.
bool g_runActive = false;   // from the open of the device to the end of FinishRecording
bool g_stopping = false;    // StopRecording is under way (its message boxes run a message loop)
bool g_fileOpened = false;  // this run opened and checked its file, so its sizes may be patched
bool g_deviceKeptBuffers = false;  // the device had not handed every buffer back after the stop
// A failure to write the final sizes, kept to be told together with a stored failure.
const char* g_finishProblem = nullptr;

// The stall watch of this run (engine/stall_watch.h). Window's thread only.
engine::StallWatch g_watch;
// The device's own count of bytes captured in this run, as the last tick read it; the stop's
// tick reads it once the device has stopped. Window's thread only.
DWORD g_deviceCount = 0;
bool g_deviceCounted = false;

constexpr UINT OpenFlags = CALLBACK_FUNCTION | WAVE_ALLOWSYNC;
// Unbuffered: a buffered file of the platform's may write only part of its buffer when it is
// flushed after a seek back to the sizes (Wine writes nothing past what it had read), so a
// take that ends inside the first buffer never reached the disk while the sizes claimed it.
// Each block is written in one call anyway, and then is on its way to the disk at once.
constexpr DWORD ReadWrite = MMIO_READWRITE;

const char* FailureMessage(Failure failure) {
  switch (failure) {
    case Failure::DiskFull:
      return "Your hard disk is full!  Cannot save any more samples!";
    case Failure::WriteFailed:
      return "Error writing data to file.  Your hard disk may be full!";
    case Failure::TooLarge:
      return "The recording has reached the largest size a wave file can hold.  Recording "
             "stopped; everything up to here is saved.";
    case Failure::AddRefused:
      return "Error adding buffer.";
    case Failure::DeviceStalled:
      return "The recording device stopped delivering sound.  Recording stopped; everything "
             "captured up to here is saved.";
    case Failure::None:
      break;
  }
  return nullptr;
}

// Window's thread. The results 5, 6 and 7 of a header preparation get their own box.
void ShowPrepareResult(MMRESULT result) {
  const char* text = nullptr;
  switch (result) {
    case MMSYSERR_INVALHANDLE:
      text = "Invalid handle!";
      break;
    case MMSYSERR_NODRIVER:
      text = "No driver!";
      break;
    case MMSYSERR_NOMEM:
      text = "Could not lock or allocate memory";
      break;
    default:
      return;
  }
  sys.MessageBoxA(nullptr, text, "Error!", MB_OK);
}

constexpr const char* WriteFailedText = "Error writing data to file.  Your hard disk may be full!";

// Window's thread: reopens the file to write the final sizes; what went wrong, or nullptr.
const char* PatchFile() {
  HMMIO file = sys.mmioOpenA(engine::LoadedFilePath(), nullptr, ReadWrite);
  if (!file) return "Error opening file for write.";
  // The sizes claim no more than the file holds, whatever the writes answered.
  const DWORD written = g_context.position;
  g_context.position = HeldUpTo(file, written);
  bool ok = PatchSizes(file, g_context.position) &&
            sys.mmioFlush(file, MMIO_EMPTYBUF) == MMSYSERR_NOERROR && g_context.position == written;
  if (sys.mmioClose(file, 0) != MMSYSERR_NOERROR) ok = false;
  return ok ? nullptr : WriteFailedText;
}

// Window's thread, once every buffer is back: sound the device captured while the file work
// still held both buffers had nowhere to go. Said with how much, so that a slow disk never
// costs sound silently.
void ReportLostSound(HWND window) {
  const DWORD written = g_context.position - g_context.recordStart;
  if (!g_deviceCounted || g_deviceCount <= written || g_failure != Failure::None) return;
  const DWORD lost = g_deviceCount - written;
  const DWORD rate =
      CurrentFormat && CurrentFormat->nAvgBytesPerSec ? CurrentFormat->nAvgBytesPerSec : 1;
  char text[320];
  wsprintfA(text,
            "The disk did not keep up with the recording: %lu.%lu seconds of sound (%lu bytes) "
            "could not be saved and are missing from it.  Everything else is saved.",
            static_cast<unsigned long>(lost / rate),
            static_cast<unsigned long>(DWORDLONG{lost % rate} * 10 / rate),
            static_cast<unsigned long>(lost));
  ReportError(window, text);
}

// Window's thread: a failure met by the callback is told once the run has ended, in one box
// together with a failure to write the final sizes that followed it.
void ReportStoredFailure(HWND window) {
  const char* stored = FailureMessage(g_failure.exchange(Failure::None));
  const char* finish = std::exchange(g_finishProblem, nullptr);
  if (stored && finish && std::string(stored) != finish) {
    ReportError(window, (std::string(stored) +
                         "\n\nThe file's final sizes could not be written either: " + finish)
                            .c_str());
  } else if (stored || finish) {
    ReportError(window, stored ? stored : finish);
  }
}

// Window's thread: a start that fails after the file was opened closes it again.
int AbandonStart(HWND window, HMMIO file, const char* message, int code) {
  if (file) sys.mmioClose(file, 0);
  FinishRecording(window);
  return ReportError(window, message, code);
}

}  // namespace

// Window's thread.
int StartRecording(HWND window) {
  // Record is offered only while idle; a second device is never opened beside the first.
  if (g_context.deviceOpen || g_runActive) return -1;
  // Its message boxes, some without an owner, must not let Open or New run meanwhile.
  engine::BusyScope busy;
  if (!AudioBuffersReady()) return ReportError(window, "Error allocating wave buffer memory.", -1);
  g_pool.currentBuffer = 0;

  // A format with no encoder here would only fail to open: say which format it is instead.
  char why[256];
  if (!CanRecordFormat(CurrentFormat, why, sizeof why)) return ReportError(window, why, -1);

  HWAVEIN device = nullptr;
  if (sys.waveInOpen(&device, WAVE_MAPPER, CurrentFormat,
                     reinterpret_cast<DWORD_PTR>(&RecordCallback),
                     reinterpret_cast<DWORD_PTR>(g_instance), OpenFlags) != MMSYSERR_NOERROR)
    return ReportError(window, "Could not open the input device for recording.", -1);

  g_waveIn = device;
  g_serial = engine::NextRunSerial();
  g_phase = Phase::Off;
  g_failure = Failure::None;
  g_outstanding = 0;
  g_addsInFlight = 0;
  g_runActive = true;
  g_fileOpened = false;
  g_deviceKeptBuffers = false;
  g_finishProblem = nullptr;
  g_deviceCount = 0;
  g_deviceCounted = false;
  {
    std::lock_guard lock(g_fileLock);
    g_wroteAny = false;
  }
  g_context.deviceOpen = true;
  ResetAudioBuffers();

  ShowPrepareResult(sys.waveInPrepareHeader(device, g_pool.headers[0], sizeof(WAVEHDR)));
  ShowPrepareResult(sys.waveInPrepareHeader(device, g_pool.headers[1], sizeof(WAVEHDR)));

  g_context.position = SliderBytePosition();

  HMMIO file = sys.mmioOpenA(engine::LoadedFilePath(), nullptr, ReadWrite);
  if (!file) return AbandonStart(window, nullptr, "Error opening file for write.", -1);

  // The declared size as far as the file holds it: a placeholder must not wrap the sizes.
  WaveLayout layout;
  const LayoutProblem layoutProblem = ReadWaveLayout(file, layout);
  if (layoutProblem == LayoutProblem::NotWave) {
    AbortWaveFile(window, file, "Wave format not found in file.", -2);
    FinishRecording(window);
    return -2;
  }
  if (layoutProblem != LayoutProblem::None) {
    AbortWaveFile(window, file, "data chunk not found.", -3);
    FinishRecording(window);
    return -3;
  }
  g_declaredAtStart = layout.dataSize;

  g_context.recordStart = g_context.position.load();
  const DWORDLONG start = DWORDLONG{g_context.dataOffset} + g_context.position;
  if (start > engine::MaxFileOffset ||
      sys.mmioSeek(file, static_cast<LONG>(start), SEEK_SET) != static_cast<LONG>(start))
    return AbandonStart(window, file, "Error opening file for write.", -1);
  {
    std::lock_guard lock(g_fileLock);
    g_file = file;
  }
  g_fileOpened = true;

  // From here on every returned buffer is written, even one returned before the state turns
  // Recording below.
  g_phase = Phase::Running;
  // A sleeping machine would cut the recording short.
  sys.SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
  if (sys.waveInStart(device) != MMSYSERR_NOERROR) {
    FinishRecording(window);
    return ReportError(window, "Error starting wave record.", -5);
  }
  if (QueueRecordBuffer(window) != 0) return -3;

  SliderMessage(TBM_SETPOS, 0);
  g_context.state = RecorderState::Recording;
  UpdateControlStates(window);
  engine::StartStallWatch(
      g_watch, g_context.position, GetTickCount(),
      engine::StallLimitMs(CurrentFormat ? CurrentFormat->nAvgBytesPerSec : 0, g_pool.ChunkLength));
  SetTimer(window, IDT_RECORD, 200, nullptr);
  return QueueRecordBuffer(window) != 0 ? -6 : 0;
}

// Window's thread.
int QueueRecordBuffer(HWND window) {
  const int index = g_pool.currentBuffer;
  if (AddBuffer(g_waveIn, index) != MMSYSERR_NOERROR) {
    StopRecording(window);
    return ReportError(window, "Error adding buffer.", -1);
  }
  g_pool.currentBuffer = 1 - index;
  return 0;
}

// Window's thread.
void RecordTick(HWND window) {
  if (!g_runActive) return;
  MMTIME time{};
  time.wType = TIME_BYTES;
  const DWORD position = g_context.position;
  // A position that could not be read says nothing: the texts then follow the bytes written,
  // and the stall watch judges by those alone.
  const bool counted = sys.waveInGetPosition(g_waveIn, &time, sizeof time) == MMSYSERR_NOERROR &&
                       time.wType == TIME_BYTES;
  const DWORD captured = counted ? g_context.recordStart + time.u.cb : position;
  const DWORD deviceCount = counted ? time.u.cb : g_watch.captured;
  if (counted) {
    g_deviceCount = time.u.cb;
    g_deviceCounted = true;
  }
  if (position >= g_context.dataSize) {
    g_context.dataSize = position;
    ShowLength(window, captured);
    ShowDataSize(window, captured);
  }
  ShowPosition(window, captured);
  if (!g_stopping && engine::DeviceStalled(g_watch, deviceCount, position, GetTickCount())) {
    Failure none = Failure::None;
    g_failure.compare_exchange_strong(none, Failure::DeviceStalled);
    StopRecording(window);
  }
}

// Window's thread.
void StopRecording(HWND window) {
  if (!g_runActive || g_stopping) return;
  engine::BusyScope busy;
  g_stopping = true;
  const HWAVEIN device = g_waveIn;

  if (sys.waveInStop(device) != MMSYSERR_NOERROR) ReportError(window, "Error in waveInStop");
  {
    std::lock_guard lock(g_addLock);
    if (g_phase == Phase::Running) g_phase = Phase::Draining;
  }
  // A hand-back decided before the switch reaches the device before the reset, which then
  // returns it.
  engine::WaitUntil([] { return g_addsInFlight == 0; });
  RecordTick(window);
  g_context.state = RecorderState::Idle;
  if (sys.waveInReset(device) != MMSYSERR_NOERROR) ReportError(window, "Error in waveInReset");
  // Every buffer is back from the device; the partly filled one that the stop returned is
  // written by the callback, and the file is not finished until it has been. A device that
  // keeps buffers past the wait is given them for good (FinishRecording).
  if (!engine::WaitUntil([] { return g_outstanding <= 0; })) g_deviceKeptBuffers = true;
  KillTimer(window, IDT_RECORD);
  FinishRecording(window);
  g_stopping = false;
  ReportLostSound(window);
  ReportStoredFailure(window);
}

// Window's thread. Runs once per run: g_runActive is tested first and cleared at once, so
// the message boxes below cannot lead back here.
void FinishRecording(HWND window) {
  if (!g_runActive) return;
  g_runActive = false;
  const HWAVEIN device = g_waveIn;

  // Headers the device still holds are neither unprepared nor used again.
  const bool kept = std::exchange(g_deviceKeptBuffers, false);
  if (!kept) {
    if (sys.waveInUnprepareHeader(device, g_pool.headers[0], sizeof(WAVEHDR)) != MMSYSERR_NOERROR)
      ReportError(window, "Error in waveInUnprepareHeader (1)");
    if (sys.waveInUnprepareHeader(device, g_pool.headers[1], sizeof(WAVEHDR)) != MMSYSERR_NOERROR)
      ReportError(window, "Error in waveInUnprepareHeader (2)");
  }

  bool wrote;
  bool closed = true;
  {
    std::lock_guard lock(g_fileLock);
    if (g_file) closed = sys.mmioClose(g_file, 0) == MMSYSERR_NOERROR;
    g_file = nullptr;
    wrote = g_wroteAny;
  }
  const char* problem = closed ? nullptr : WriteFailedText;
  // A run that wrote nothing leaves the file as it was: a failed start must not cut the
  // declared data short at the slider's position.
  if (g_fileOpened && wrote) {
    if (const char* patchProblem = PatchFile()) problem = patchProblem;
  }
  g_fileOpened = false;
  // The window's data size agrees with what the file now declares.
  if (wrote)
    g_context.dataSize = std::max<DWORD>(g_context.dataSize, DeclaredSize(g_context.position));
  // Told with the failure that stopped the run, if one did, in one box.
  if (problem) {
    if (g_failure != Failure::None)
      g_finishProblem = problem;
    else
      ReportError(window, problem);
  }

  SliderMessage(TBM_SETRANGEMIN, 0);
  SliderMessage(TBM_SETRANGEMAX, static_cast<LPARAM>(BlocksInData(g_context.dataSize)));
  SliderMessage(TBM_SETPOS, 0);
  ShowPosition(window, 0);

  if (sys.waveInClose(device) != MMSYSERR_NOERROR)
    ReportError(window, "Error closing input device.");
  if (kept) SetAsideAudioBuffers(window);
  g_phase = Phase::Off;
  g_waveIn = nullptr;
  g_context.deviceOpen = false;
  sys.SetThreadExecutionState(ES_CONTINUOUS);
  UpdateControlStates(window);
}

namespace engine {

// Window's thread.
void HandleRecorderNotify(HWND window, LONG serial) {
  if (g_runActive && serial == g_serial) StopRecording(window);
}

}  // namespace engine
