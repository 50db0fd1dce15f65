// Recording in a compressed format: the input device captures PCM into buffers of its
// own, and each captured block is encoded into the chosen format and copied into the
// caller's headers. Everything a run needs is allocated when the device opens.
//
// Threads: CaptureArrived runs on the platform's callback thread, or inside the Stop, Reset
// or Close that the caller's thread makes; the Converting* calls run on the caller's thread
// (the window's, in the program, and AddBuffer also from the recorder's own callback on the
// platform's thread). One mutex per device guards its state; the caller is called back
// without it held, and never waits on the window's thread.
#include <algorithm>
#include <array>
#include <cstring>

#include "convert/converting_device.h"
#include "platform/wave_devices.h"

namespace {

using namespace wave_convert;

// About a tenth of a second per capture buffer, and enough of them to ride out a slow
// caller for most of a second.
constexpr DWORD CaptureBuffersPerSecond = 10;
constexpr size_t CaptureBufferCount = 8;
// Encoded bytes kept while the caller has no header queued.
constexpr DWORD BacklogSeconds = 2;
constexpr size_t MaxInputDevices = 4;

enum class CaptureState { Free, Queued, Returned };

struct CaptureBuffer {
  WAVEHDR header{};
  std::vector<BYTE> data;
  CaptureState state = CaptureState::Free;
  uint64_t sequence = 0;  // the order in which the device fills it
  DWORD bytes = 0;
  bool prepared = false;
};

struct ConvertingIn {
  std::mutex mutex;
  std::condition_variable changed;
  HWAVEIN handle = nullptr;  // what the caller holds
  HWAVEIN real = nullptr;
  ClientCallback client;
  FormatCopy coded;
  WAVEFORMATEX pcm{};
  DWORD blockAlign = 1;
  std::array<CaptureBuffer, CaptureBufferCount> buffers;
  AcmConverter encoder;
  DWORD sourceBlock = 1;  // PCM bytes of one encoded block
  DWORD carried = 0;      // PCM bytes at the start of the encoder's input, short of a block
  bool restartStream = true;
  std::vector<BYTE> backlog;  // encoded bytes not yet copied into a header
  DWORD backlogStart = 0;
  DWORD backlogEnd = 0;
  HeaderList queued;  // the caller's headers, the one being filled first
  Deliveries deliveries;
  uint64_t nextToAdd = 0;
  uint64_t nextToEncode = 0;
  DWORD captured = 0;  // encoded bytes put into the caller's headers since open or reset
  DWORD dropped = 0;   // encoded bytes lost since then for want of a header to take them
  bool running = false;
  bool discarding = false;
  bool closing = false;
  std::atomic<int> activeCallbacks{0};
};

DeviceSlots<ConvertingIn, HWAVEIN, MaxInputDevices> g_devices;

ConvertingIn* Find(HWAVEIN handle) {
  return g_devices.Find(handle);
}

void Deliver(std::unique_lock<std::mutex>& lock, ConvertingIn& device, bool wait) {
  DeliverFinished(lock, device.changed, device.deliveries, wait, [&](WAVEHDR* header) {
    device.client.Send(device.handle, WIM_DATA, reinterpret_cast<DWORD_PTR>(header));
  });
}

DWORD BacklogBytes(const ConvertingIn& device) {
  return device.backlogEnd - device.backlogStart;
}

// Keeps encoded bytes for the caller's headers; whole blocks only. What does not fit is
// lost, as a device loses sound while no buffer is queued.
void KeepEncoded(ConvertingIn& device, const BYTE* bytes, DWORD count) {
  if (device.backlogStart != 0 && device.backlogEnd + count > device.backlog.size()) {
    std::memmove(device.backlog.data(), device.backlog.data() + device.backlogStart,
                 BacklogBytes(device));
    device.backlogEnd -= device.backlogStart;
    device.backlogStart = 0;
  }
  DWORD room = static_cast<DWORD>(device.backlog.size()) - device.backlogEnd;
  room -= room % device.blockAlign;
  const DWORD kept = std::min(count, room);
  std::memcpy(device.backlog.data() + device.backlogEnd, bytes, kept);
  device.backlogEnd += kept;
  device.dropped += count - kept;
}

void Finish(ConvertingIn& device, WAVEHDR* header) {
  MarkDone(header);
  device.deliveries.finished.Push(header);
}

// Copies the backlog into the queued headers; a header whose room is less than a block is
// full and goes to the caller.
void FillHeaders(ConvertingIn& device) {
  while (!device.queued.empty()) {
    WAVEHDR* header = device.queued.front();
    DWORD room = header->dwBufferLength - header->dwBytesRecorded;
    room -= room % device.blockAlign;
    if (room == 0) {
      Finish(device, device.queued.Pop());
      continue;
    }
    const DWORD count = std::min(room, BacklogBytes(device));
    if (count == 0) return;
    std::memcpy(header->lpData + header->dwBytesRecorded,
                device.backlog.data() + device.backlogStart, count);
    header->dwBytesRecorded += count;
    // Only what reaches a header counts as captured: what the backlog drops never does.
    device.captured += count;
    device.backlogStart += count;
    if (device.backlogStart == device.backlogEnd) device.backlogStart = device.backlogEnd = 0;
  }
}

// Runs the carried PCM through the encoder; what is short of a block stays carried.
void EncodeCarried(ConvertingIn& device) {
  while (device.carried >= device.sourceBlock) {
    DWORD used = 0;
    DWORD produced = 0;
    const MMRESULT result =
        device.encoder.Convert(device.carried, device.restartStream, used, produced);
    if (result != 0) {
      // A stream that fails would fail again: drop the input rather than spin, so that the
      // recording goes on.
      device.carried = 0;
      return;
    }
    device.restartStream = false;
    if (used == 0) {
      // The codec wants more at once: keep the sound until the buffer is full, and drop it
      // only then, so that the recording goes on.
      if (device.carried >= device.encoder.sourceCapacity()) device.carried = 0;
      return;
    }
    produced -= produced % device.blockAlign;
    KeepEncoded(device, device.encoder.target(), produced);
    std::memmove(device.encoder.source(), device.encoder.source() + used, device.carried - used);
    device.carried -= used;
  }
}

void Encode(ConvertingIn& device, const BYTE* pcm, DWORD count) {
  while (count > 0) {
    const DWORD take = std::min(count, device.encoder.sourceCapacity() - device.carried);
    std::memcpy(device.encoder.source() + device.carried, pcm, take);
    device.carried += take;
    pcm += take;
    count -= take;
    EncodeCarried(device);
  }
}

// Completes a carried partial block with silence, so that everything captured is kept
// and the data stays whole blocks. What the codec took nothing of may be several blocks.
void FlushCarried(ConvertingIn& device) {
  if (device.carried == 0) return;
  const BYTE silence = device.pcm.wBitsPerSample == 8 ? 0x80 : 0x00;
  device.carried = PadToWholeBlocks(device.encoder.source(), device.carried, device.sourceBlock,
                                    device.encoder.sourceCapacity(), silence);
  EncodeCarried(device);
  device.carried = 0;
}

// Encodes the returned capture buffers in the order the device filled them (Stop returns
// the current one on the caller's thread, possibly while the device thread still hands
// over the one before it).
void EncodeReturned(ConvertingIn& device) {
  for (;;) {
    CaptureBuffer* next = nullptr;
    for (CaptureBuffer& buffer : device.buffers) {
      if (buffer.state == CaptureState::Returned && buffer.sequence == device.nextToEncode) {
        next = &buffer;
      }
    }
    if (!next) break;
    if (!device.discarding) Encode(device, next->data.data(), next->bytes);
    next->state = CaptureState::Free;
    ++device.nextToEncode;
  }
  if (!device.discarding) FillHeaders(device);
}

// Lets a buffer the device will not fill take its turn in order, with no sound, so that the
// buffers after it are not held up for ever. Call with the lock held.
void PassTurn(ConvertingIn& device, CaptureBuffer& buffer) {
  buffer.bytes = 0;
  buffer.state = CaptureState::Returned;
  EncodeReturned(device);
}

// Runs on the device's thread, or on the thread calling Stop, Reset or Close.
void CALLBACK CaptureArrived(HWAVEIN, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                             DWORD_PTR) {
  if (message != WIM_DATA) return;
  auto& device = *reinterpret_cast<ConvertingIn*>(instance);
  auto* header = reinterpret_cast<WAVEHDR*>(param1);
  auto& buffer = *reinterpret_cast<CaptureBuffer*>(header->dwUser);
  // Counted before the lock: Close must not miss a callback that waits for it.
  CallbackScope scope(&device, device.activeCallbacks);
  std::unique_lock lock(device.mutex);
  {
    buffer.bytes = std::min(header->dwBytesRecorded, static_cast<DWORD>(buffer.data.size()));
    buffer.state = CaptureState::Returned;
    EncodeReturned(device);
    const bool requeue = device.running && !device.closing && buffer.state == CaptureState::Free;
    if (requeue) {
      buffer.state = CaptureState::Queued;
      buffer.sequence = device.nextToAdd++;
      buffer.header.dwFlags &= ~WHDR_DONE;
      buffer.header.dwBytesRecorded = 0;
      lock.unlock();
      const MMRESULT added = winmm.waveInAddBuffer(device.real, &buffer.header, sizeof(WAVEHDR));
      lock.lock();
      if (added != 0) PassTurn(device, buffer);
    }
    Deliver(lock, device, false);
  }
  // Stop, Reset and Close wait for the count to drop; past this point, with the lock still
  // held, the callback touches the device no more.
  scope.End();
  device.changed.notify_all();
}

// Waits for the callbacks of the buffers the device has let go of (see
// WaitForCallbacksAndBuffers). Call with `lock` held; false after ClosePatienceMs.
bool WaitForDevice(std::unique_lock<std::mutex>& lock, ConvertingIn& device) {
  return WaitForCallbacksAndBuffers(
      lock, device,
      [](const CaptureBuffer& buffer) {
        return buffer.state == CaptureState::Queued && !(buffer.header.dwFlags & WHDR_INQUEUE);
      },
      [] { return false; });
}

// The input's share of opening and closing (converting_device.h).
struct InputSide {
  using Device = ConvertingIn;
  using Handle = HWAVEIN;
  static constexpr bool Encodes = true;
  static constexpr UINT OpenMessage = WIM_OPEN;
  static constexpr UINT CloseMessage = WIM_CLOSE;

  static auto& Slots() { return g_devices; }
  static constexpr auto Open = &WinmmWaveCalls::waveInOpen;
  static constexpr auto Reset = &WinmmWaveCalls::waveInReset;
  static constexpr auto Close = &WinmmWaveCalls::waveInClose;
  static constexpr auto Callback = &CaptureArrived;
  // Sizes everything from the PCM partner and the codec's own figures: the coded format's
  // header may come from a file, and its byte rate says nothing reliable.
  static MMRESULT Prepare(ConvertingIn& device) {
    const DWORD pcmBlock = device.pcm.nBlockAlign;
    DWORD perBuffer = device.pcm.nAvgBytesPerSec / CaptureBuffersPerSecond;
    perBuffer = std::max(perBuffer - perBuffer % pcmBlock, pcmBlock);
    MMRESULT result = device.encoder.Open(&device.pcm, device.coded.get());
    if (result == 0) result = device.encoder.Allocate(perBuffer * 2);
    if (result != 0) return result;
    device.sourceBlock = device.encoder.SourceBytesFor(device.blockAlign);
    if (device.sourceBlock == 0 || device.sourceBlock > perBuffer) return WAVERR_BADFORMAT;
    // The encoder's output for two buffers of PCM, as many times as BacklogSeconds needs.
    const uint64_t backlog =
        uint64_t{device.encoder.targetCapacity()} * BacklogSeconds * CaptureBuffersPerSecond / 2;
    try {
      device.backlog.assign(static_cast<size_t>(std::min<uint64_t>(backlog, MaxConvertBytes)), 0);
      for (CaptureBuffer& buffer : device.buffers) buffer.data.assign(perBuffer, 0);
    } catch (const std::bad_alloc&) {
      return MMSYSERR_NOMEM;
    }
    return PrepareBuffers(device.buffers, perBuffer, device.real, winmm.waveInPrepareHeader);
  }
  static void UnprepareAll(ConvertingIn& device) {
    for (CaptureBuffer& buffer : device.buffers) {
      if (buffer.prepared)
        winmm.waveInUnprepareHeader(device.real, &buffer.header, sizeof(WAVEHDR));
      buffer.prepared = false;
    }
  }
  static AcmConverter& Converter(ConvertingIn& device) { return device.encoder; }
  static void StopForClose(std::unique_lock<std::mutex>&, ConvertingIn& device) {
    device.running = false;
    device.discarding = true;
  }
  static void ResumeAfterRefusedClose(ConvertingIn& device) { device.discarding = false; }
  // Its buffers are prepared again, and Start requeues them.
  static void RecoverFromFailedClose(ConvertingIn& device) {
    for (CaptureBuffer& buffer : device.buffers) {
      buffer.state = CaptureState::Free;
      buffer.prepared = winmm.waveInPrepareHeader(device.real, &buffer.header, sizeof(WAVEHDR)) ==
                        MMSYSERR_NOERROR;
    }
    device.nextToEncode = device.nextToAdd;
  }
  static bool WaitForDevice(std::unique_lock<std::mutex>& lock, ConvertingIn& device) {
    return ::WaitForDevice(lock, device);
  }
  static void Deliver(std::unique_lock<std::mutex>& lock, ConvertingIn& device, bool wait) {
    ::Deliver(lock, device, wait);
  }
};

}  // namespace

bool IsConvertingDevice(HWAVEIN device) {
  return Find(device) != nullptr;
}

MMRESULT WINAPI ConvertingWaveInOpen(LPHWAVEIN device, UINT deviceId, LPCWAVEFORMATEX format,
                                     DWORD_PTR callback, DWORD_PTR instance, DWORD flags) {
  if (!format || IsUncompressedFormat(format)) {
    return winmm.waveInOpen(device, deviceId, format, callback, instance, flags);
  }
  return OpenDevice<InputSide>(device, deviceId, format, callback, instance, flags);
}

MMRESULT WINAPI ConvertingWaveInPrepareHeader(HWAVEIN handle, LPWAVEHDR header, UINT size) {
  if (!Find(handle)) return winmm.waveInPrepareHeader(handle, header, size);
  return PrepareClientHeader(header, size);
}

MMRESULT WINAPI ConvertingWaveInUnprepareHeader(HWAVEIN handle, LPWAVEHDR header, UINT size) {
  ConvertingIn* device = Find(handle);
  if (!device) return winmm.waveInUnprepareHeader(handle, header, size);
  return UnprepareClientHeader(*device, header, size);
}

MMRESULT WINAPI ConvertingWaveInAddBuffer(HWAVEIN handle, LPWAVEHDR header, UINT size) {
  ConvertingIn* device = Find(handle);
  if (!device) return winmm.waveInAddBuffer(handle, header, size);
  if (!header || size < sizeof(WAVEHDR) || !header->lpData) return MMSYSERR_INVALPARAM;
  std::lock_guard guard(device->mutex);
  if (!(header->dwFlags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
  if (header->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
  // A header that cannot hold one block would come back empty for ever.
  if (header->dwBufferLength < device->blockAlign) return MMSYSERR_INVALPARAM;
  if (device->closing) return MMSYSERR_INVALHANDLE;
  header->dwFlags = (header->dwFlags | WHDR_INQUEUE) & ~WHDR_DONE;
  header->dwBytesRecorded = 0;
  device->queued.Push(header);
  return 0;
}

MMRESULT WINAPI ConvertingWaveInStart(HWAVEIN handle) {
  ConvertingIn* device = Find(handle);
  if (!device) return winmm.waveInStart(handle);
  std::array<CaptureBuffer*, CaptureBufferCount> toAdd{};
  size_t count = 0;
  {
    std::unique_lock lock(device->mutex);
    if (device->running) return 0;
    WaitForCallbacks(lock, device->changed, device, device->activeCallbacks);
    for (CaptureBuffer& buffer : device->buffers) {
      if (buffer.state != CaptureState::Free) continue;
      buffer.state = CaptureState::Queued;
      buffer.sequence = device->nextToAdd++;
      buffer.header.dwFlags &= ~WHDR_DONE;
      buffer.header.dwBytesRecorded = 0;
      toAdd[count++] = &buffer;
    }
    device->running = true;
  }
  for (size_t i = 0; i < count; ++i) {
    if (winmm.waveInAddBuffer(device->real, &toAdd[i]->header, sizeof(WAVEHDR)) != 0) {
      std::lock_guard guard(device->mutex);
      PassTurn(*device, *toAdd[i]);
    }
  }
  const MMRESULT result = winmm.waveInStart(device->real);
  if (result != 0) {
    std::lock_guard guard(device->mutex);
    device->running = false;
  }
  return result;
}

MMRESULT WINAPI ConvertingWaveInStop(HWAVEIN handle) {
  ConvertingIn* device = Find(handle);
  if (!device) return winmm.waveInStop(handle);
  {
    std::lock_guard guard(device->mutex);
    device->running = false;
  }
  // A stopped device may still hand over sound it had captured, later and on its own
  // thread, when the caller no longer records. A reset hands back every capture buffer
  // with what it holds before it returns, so all of it is encoded here; Start queues the
  // buffers again.
  const MMRESULT result = winmm.waveInReset(device->real);
  std::unique_lock lock(device->mutex);
  WaitForDevice(lock, *device);
  FlushCarried(*device);
  // The tail goes into the caller's headers, full ones back to the caller as they fill; a
  // caller still recording adds them again from its callback, and they take the rest.
  for (;;) {
    FillHeaders(*device);
    if (device->deliveries.finished.empty()) break;
    Deliver(lock, *device, true);
    if (BacklogBytes(*device) == 0) break;
  }
  if (!device->queued.empty() && device->queued.front()->dwBytesRecorded > 0) {
    Finish(*device, device->queued.Pop());
  }
  Deliver(lock, *device, true);
  // With no header left to hold it, the rest of the tail is lost, as sound is on a device
  // with no buffer queued; the position counts it as lost.
  device->dropped += BacklogBytes(*device);
  device->backlogStart = device->backlogEnd = 0;
  return result;
}

MMRESULT WINAPI ConvertingWaveInReset(HWAVEIN handle) {
  ConvertingIn* device = Find(handle);
  if (!device) return winmm.waveInReset(handle);
  {
    std::lock_guard guard(device->mutex);
    device->running = false;
    device->discarding = true;
  }
  const MMRESULT result = winmm.waveInReset(device->real);
  std::unique_lock lock(device->mutex);
  WaitForDevice(lock, *device);
  device->discarding = false;
  for (CaptureBuffer& buffer : device->buffers) {
    // After a failed reset the device may still hold some; those stay queued.
    if (result == 0 || buffer.state == CaptureState::Returned) buffer.state = CaptureState::Free;
  }
  if (result == 0) device->nextToEncode = device->nextToAdd;
  device->carried = 0;
  device->backlogStart = device->backlogEnd = 0;
  device->restartStream = true;
  device->captured = 0;
  device->dropped = 0;
  while (WAVEHDR* header = device->queued.Pop()) Finish(*device, header);
  Deliver(lock, *device, true);
  return result;
}

MMRESULT WINAPI ConvertingWaveInGetPosition(HWAVEIN handle, LPMMTIME time, UINT size) {
  ConvertingIn* device = Find(handle);
  if (!device) return winmm.waveInGetPosition(handle, time, size);
  if (!time || size < sizeof(MMTIME)) return MMSYSERR_INVALPARAM;
  std::lock_guard guard(device->mutex);
  // Bytes are the one unit every format has; a device answers other requests in them. Sound
  // lost for want of a header counts as captured, as a device counts the time it ran, so that
  // the caller can tell what it missed.
  time->wType = TIME_BYTES;
  time->u.cb = device->captured + device->dropped;
  return 0;
}

MMRESULT WINAPI ConvertingWaveInClose(HWAVEIN handle) {
  ConvertingIn* device = Find(handle);
  if (!device) return winmm.waveInClose(handle);
  return CloseDevice<InputSide>(*device);
}
