// Playback in a compressed format the wave mapper refuses: the output device plays PCM
// from buffers of its own, decoded from the caller's headers. A caller's header comes
// back when the last sound decoded from it has been played.
//
// Threads: PlayDone runs on the platform's callback thread, or inside the Reset or Close that
// the caller's thread makes; the Converting* calls run on the caller's thread (the window's,
// in the program, and Write also from the player's own callback on the platform's thread).
// One mutex per device guards its state; the caller is called back, and the platform written
// to, without it held.
#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>

#include "convert/buffer_ring.h"
#include "convert/converting_device.h"
#include "platform/wave_devices.h"

namespace {

using namespace wave_convert;

// About an eighth of a second of coded sound per play buffer, and six of them queued.
constexpr DWORD PlayBuffersPerSecond = 8;
constexpr size_t PlayBufferCount = 6;
// A header that yields no sound is carried back by this much silence.
constexpr DWORD CarrierDivisor = 100;
constexpr size_t MaxOutputDevices = 4;

std::atomic<PlaybackDecoding> g_decoding{PlaybackDecoding::WhenMapperRefuses};

enum class PlayState { Free, Waiting, Queued };

struct PlayBuffer {
  WAVEHDR header{};
  std::vector<BYTE> data;
  PlayState state = PlayState::Free;
  uint64_t generation = 0;
  uint64_t releaseMark = 0;  // the caller's headers returned once it has played
  uint64_t pcmStart = 0;     // PCM bytes written before it since the last reset
  DWORD pcmBytes = 0;
  DWORD codedStart = 0;  // the same in bytes of the caller's format
  DWORD codedBytes = 0;
  bool prepared = false;
};

struct ConvertingOut {
  std::mutex mutex;
  std::condition_variable changed;
  HWAVEOUT handle = nullptr;
  HWAVEOUT real = nullptr;
  ClientCallback client;
  FormatCopy coded;
  WAVEFORMATEX pcm{};
  DWORD blockAlign = 1;
  std::array<PlayBuffer, PlayBufferCount> buffers;
  AcmConverter decoder;
  bool restartStream = true;
  DWORD pending = 0;  // coded bytes at the start of the decoder's input it has not used yet
  // The caller's headers not yet returned, in order; `cursor` is the first one not
  // wholly decoded, `offset` the bytes of it already decoded.
  HeaderList queued;
  WAVEHDR* cursor = nullptr;
  DWORD offset = 0;
  uint64_t consumed = 0;  // headers wholly decoded since the last reset
  uint64_t released = 0;  // headers returned since the last reset
  uint64_t marked = 0;    // the highest release mark handed to a buffer
  uint64_t generation = 0;
  // 64 bits: a long playback passes 4 GiB of PCM (about 6.8 hours of 44.1 kHz stereo), and
  // the device's own 32-bit count is read against it.
  uint64_t pcmWritten = 0;
  DWORD codedWritten = 0;
  DWORD codedPlayed = 0;
  DWORD codedReported = 0;  // what GetPosition last said: it never goes back before a reset
  BufferRing<PlayBuffer, PlayBufferCount> waiting;  // decoded, not yet written to the device
  BufferRing<PlayBuffer, PlayBufferCount> playing;  // written to the device
  DWORD writer = 0;                                 // the thread writing `waiting` to the device
  Deliveries deliveries;
  bool closing = false;
  std::atomic<int> activeCallbacks{0};
};

DeviceSlots<ConvertingOut, HWAVEOUT, MaxOutputDevices> g_devices;

ConvertingOut* Find(HWAVEOUT handle) {
  return g_devices.Find(handle);
}

void Deliver(std::unique_lock<std::mutex>& lock, ConvertingOut& device, bool wait) {
  DeliverFinished(lock, device.changed, device.deliveries, wait, [&](WAVEHDR* header) {
    device.client.Send(device.handle, WOM_DONE, reinterpret_cast<DWORD_PTR>(header));
  });
}

// The bytes of a header that decode: a partial block at its end cannot.
DWORD Playable(const ConvertingOut& device, const WAVEHDR* header) {
  return header->dwBufferLength - header->dwBufferLength % device.blockAlign;
}

void ReleaseUpTo(ConvertingOut& device, uint64_t mark) {
  while (device.released < mark) {
    WAVEHDR* header = device.queued.Pop();
    if (!header) break;
    MarkDone(header);
    device.deliveries.finished.Push(header);
    ++device.released;
  }
}

bool SoundInFlight(const ConvertingOut& device) {
  for (const PlayBuffer& buffer : device.buffers) {
    if (buffer.state != PlayState::Free && buffer.generation == device.generation) return true;
  }
  return false;
}

PlayBuffer* FreeBuffer(ConvertingOut& device) {
  for (PlayBuffer& buffer : device.buffers) {
    if (buffer.state == PlayState::Free) return &buffer;
  }
  return nullptr;
}

void SkipDecoded(ConvertingOut& device) {
  while (device.cursor && device.offset >= Playable(device, device.cursor)) {
    device.cursor = device.cursor->lpNext;
    device.offset = 0;
    ++device.consumed;
  }
}

void Hand(ConvertingOut& device, PlayBuffer& buffer, DWORD pcmBytes, DWORD codedBytes) {
  buffer.state = PlayState::Waiting;
  buffer.generation = device.generation;
  buffer.releaseMark = device.consumed;
  device.marked = device.consumed;
  buffer.pcmStart = device.pcmWritten;
  buffer.pcmBytes = pcmBytes;
  buffer.codedStart = device.codedWritten;
  buffer.codedBytes = codedBytes;
  buffer.header.dwBufferLength = pcmBytes;
  buffer.header.dwFlags &= ~WHDR_DONE;
  device.pcmWritten += pcmBytes;
  device.codedWritten += codedBytes;
  device.waiting.Push(&buffer);
}

// Decodes queued headers into free play buffers. What the codec leaves of its input stays
// at the front of it for the next round.
void Decode(ConvertingOut& device) {
  SkipDecoded(device);
  for (;;) {
    PlayBuffer* buffer = FreeBuffer(device);
    if (!buffer) return;
    DWORD gathered = device.pending;
    const DWORD capacity = device.decoder.sourceCapacity();
    while (device.cursor && gathered + device.blockAlign <= capacity) {
      DWORD count = std::min(Playable(device, device.cursor) - device.offset, capacity - gathered);
      count -= count % device.blockAlign;
      std::memcpy(device.decoder.source() + gathered, device.cursor->lpData + device.offset, count);
      gathered += count;
      device.offset += count;
      SkipDecoded(device);
    }
    if (gathered == 0) break;
    const bool added = gathered > device.pending;
    DWORD used = 0;
    DWORD produced = 0;
    const MMRESULT result = device.decoder.Convert(gathered, device.restartStream, used, produced);
    if (result == 0) device.restartStream = false;
    // What fails, or what the codec will not take at all, is dropped rather than stall.
    if (result != 0 || (used == 0 && produced == 0)) {
      used = gathered;
      produced = 0;
    }
    device.pending = gathered - used;
    std::memmove(device.decoder.source(), device.decoder.source() + used, device.pending);
    produced -= produced % device.pcm.nBlockAlign;
    produced = std::min(produced, static_cast<DWORD>(buffer->data.size()));
    if (produced == 0) {
      if (!added) break;
      continue;  // nothing to hear; the header goes back by a carrier
    }
    std::memcpy(buffer->data.data(), device.decoder.target(), produced);
    Hand(device, *buffer, produced, used);
  }
  // Headers that yielded nothing still come back: after the sound before them, or,
  // with nothing playing, by a moment of silence.
  if (device.consumed > device.marked) {
    PlayBuffer* buffer = FreeBuffer(device);
    if (!buffer) return;
    DWORD bytes = device.pcm.nAvgBytesPerSec / CarrierDivisor;
    bytes = std::max<DWORD>(bytes - bytes % device.pcm.nBlockAlign, device.pcm.nBlockAlign);
    bytes = std::min(bytes, static_cast<DWORD>(buffer->data.size()));
    std::memset(buffer->data.data(), device.pcm.wBitsPerSample == 8 ? 0x80 : 0x00, bytes);
    Hand(device, *buffer, bytes, 0);
  }
}

// The device refused and plays nothing: no completion will come to return the caller's headers,
// so every one goes back now, decoded or not. The caller's next write meets the refusal itself.
void ReturnEveryHeader(ConvertingOut& device) {
  while (WAVEHDR* header = device.queued.Pop()) {
    MarkDone(header);
    device.deliveries.finished.Push(header);
    ++device.released;
  }
  device.cursor = nullptr;
  device.offset = 0;
  device.pending = 0;
  device.consumed = device.marked = device.released;
  device.restartStream = true;
}

// Writes the decoded buffers to the device in order; one thread at a time, so that the
// order holds when a header arrives while the device thread writes. Answers the device's
// refusal when it left nothing playing (every header has gone back), else 0.
MMRESULT WriteWaiting(std::unique_lock<std::mutex>& lock, ConvertingOut& device) {
  if (device.writer != 0) return 0;
  MMRESULT refused = 0;
  device.writer = GetCurrentThreadId();
  while (PlayBuffer* buffer = device.waiting.Pop()) {
    if (buffer->generation != device.generation || device.closing) {
      buffer->state = PlayState::Free;
      continue;
    }
    buffer->state = PlayState::Queued;
    device.playing.Push(buffer);
    lock.unlock();
    const MMRESULT result = winmm.waveOutWrite(device.real, &buffer->header, sizeof(WAVEHDR));
    lock.lock();
    if (result != 0) {
      // Its sound is lost; the headers it would have returned go back with the next one.
      device.playing.Remove(buffer);
      buffer->state = PlayState::Free;
      refused = result;
    }
  }
  device.writer = 0;
  device.changed.notify_all();
  if (refused == 0 || SoundInFlight(device)) return 0;
  ReturnEveryHeader(device);
  return refused;
}

// Runs on the device's thread, or on the thread calling Reset or Close.
void CALLBACK PlayDone(HWAVEOUT, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR) {
  if (message != WOM_DONE) return;
  auto& device = *reinterpret_cast<ConvertingOut*>(instance);
  auto& buffer = *reinterpret_cast<PlayBuffer*>(reinterpret_cast<WAVEHDR*>(param1)->dwUser);
  // Counted before the lock: Close must not miss a callback that waits for it.
  CallbackScope scope(&device, device.activeCallbacks);
  std::unique_lock lock(device.mutex);
  {
    device.playing.Remove(&buffer);
    buffer.state = PlayState::Free;
    if (buffer.generation == device.generation && !device.closing) {
      device.codedPlayed = buffer.codedStart + buffer.codedBytes;
      ReleaseUpTo(device, buffer.releaseMark);
      Decode(device);
      if (!SoundInFlight(device)) ReleaseUpTo(device, device.consumed);
      WriteWaiting(lock, device);
    }
    Deliver(lock, device, false);
  }
  // Reset and Close wait for the count to drop; past this point, with the lock still held,
  // the callback touches the device no more.
  scope.End();
  device.changed.notify_all();
}

// The output's share of opening and closing (converting_device.h).
struct OutputSide {
  using Device = ConvertingOut;
  using Handle = HWAVEOUT;
  static constexpr bool Encodes = false;
  static constexpr UINT OpenMessage = WOM_OPEN;
  static constexpr UINT CloseMessage = WOM_CLOSE;

  static auto& Slots() { return g_devices; }
  static constexpr auto Open = &WinmmWaveCalls::waveOutOpen;
  static constexpr auto Reset = &WinmmWaveCalls::waveOutReset;
  static constexpr auto Close = &WinmmWaveCalls::waveOutClose;
  static constexpr auto Callback = &PlayDone;
  // Sizes everything from the PCM partner and the codec's own figures: the coded format's
  // header may come from a file, and its byte rate says nothing reliable.
  static MMRESULT Prepare(ConvertingOut& device) {
    MMRESULT result = device.decoder.Open(device.coded.get(), &device.pcm);
    if (result != 0) return result;
    // The coded bytes the codec says make one buffer's share of a second of PCM.
    DWORD coded = device.decoder.SourceBytesFor(device.pcm.nAvgBytesPerSec / PlayBuffersPerSecond);
    coded = std::max(coded - coded % device.blockAlign, device.blockAlign);
    result = device.decoder.Allocate(coded);
    if (result != 0) return result;
    const DWORD perBuffer =
        std::max<DWORD>(device.decoder.targetCapacity(),
                        device.pcm.nAvgBytesPerSec / CarrierDivisor + device.pcm.nBlockAlign);
    try {
      for (PlayBuffer& buffer : device.buffers) buffer.data.assign(perBuffer, 0);
    } catch (const std::bad_alloc&) {
      return MMSYSERR_NOMEM;
    }
    return PrepareBuffers(device.buffers, perBuffer, device.real, winmm.waveOutPrepareHeader);
  }
  static void UnprepareAll(ConvertingOut& device) {
    for (PlayBuffer& buffer : device.buffers) {
      // A buffer the device still holds cannot be unprepared, and stays prepared.
      if (buffer.prepared && !(buffer.header.dwFlags & WHDR_INQUEUE)) {
        buffer.header.dwBufferLength = static_cast<DWORD>(buffer.data.size());
        buffer.prepared = winmm.waveOutUnprepareHeader(device.real, &buffer.header,
                                                       sizeof(WAVEHDR)) != MMSYSERR_NOERROR;
      }
    }
  }
  static AcmConverter& Converter(ConvertingOut& device) { return device.decoder; }
  static void StopForClose(std::unique_lock<std::mutex>& lock, ConvertingOut& device) {
    ++device.generation;
    const DWORD self = GetCurrentThreadId();
    device.changed.wait(lock, [&] { return device.writer == 0 || device.writer == self; });
  }
  static void ResumeAfterRefusedClose(ConvertingOut&) {}
  // Buffers it still holds stay queued, to come back through its callback; the others are
  // free again, and out of both queues.
  static void RecoverFromFailedClose(ConvertingOut& device) {
    while (PlayBuffer* buffer = device.waiting.Pop()) buffer->state = PlayState::Free;
    for (PlayBuffer& buffer : device.buffers) {
      if (buffer.header.dwFlags & WHDR_INQUEUE) continue;
      device.playing.Remove(&buffer);
      buffer.state = PlayState::Free;
      if (!buffer.prepared) {
        buffer.prepared = winmm.waveOutPrepareHeader(device.real, &buffer.header,
                                                     sizeof(WAVEHDR)) == MMSYSERR_NOERROR;
      }
    }
  }
  // Waits until no callback runs on another thread, no other thread writes to the device, and
  // no buffer the device has let go of is still on its way back. Call with `lock` held; false
  // after ClosePatienceMs.
  static bool WaitForDevice(std::unique_lock<std::mutex>& lock, ConvertingOut& device) {
    const DWORD self = GetCurrentThreadId();
    return WaitForCallbacksAndBuffers(
        lock, device,
        [](const PlayBuffer& buffer) {
          return buffer.state == PlayState::Queued && !(buffer.header.dwFlags & WHDR_INQUEUE);
        },
        [&] { return device.writer != 0 && device.writer != self; });
  }
  static void Deliver(std::unique_lock<std::mutex>& lock, ConvertingOut& device, bool wait) {
    ::Deliver(lock, device, wait);
  }
};

}  // namespace

void SetPlaybackDecoding(PlaybackDecoding mode) {
  g_decoding = mode;
}

bool IsConvertingDevice(HWAVEOUT device) {
  return Find(device) != nullptr;
}

MMRESULT WINAPI ConvertingWaveOutOpen(LPHWAVEOUT device, UINT deviceId, LPCWAVEFORMATEX format,
                                      DWORD_PTR callback, DWORD_PTR instance, DWORD flags) {
  if (!format || IsUncompressedFormat(format)) {
    return winmm.waveOutOpen(device, deviceId, format, callback, instance, flags);
  }
  MMRESULT direct = MMSYSERR_NOERROR;
  if (g_decoding != PlaybackDecoding::Always) {
    direct = winmm.waveOutOpen(device, deviceId, format, callback, instance, flags);
    if (direct == MMSYSERR_NOERROR) return direct;
  }
  const MMRESULT decoded =
      OpenDevice<OutputSide>(device, deviceId, format, callback, instance, flags);
  // When neither works, the mapper's own answer says more about why.
  return decoded == MMSYSERR_NOERROR || direct == MMSYSERR_NOERROR ? decoded : direct;
}

MMRESULT WINAPI ConvertingWaveOutPrepareHeader(HWAVEOUT handle, LPWAVEHDR header, UINT size) {
  if (!Find(handle)) return winmm.waveOutPrepareHeader(handle, header, size);
  return PrepareClientHeader(header, size);
}

MMRESULT WINAPI ConvertingWaveOutUnprepareHeader(HWAVEOUT handle, LPWAVEHDR header, UINT size) {
  ConvertingOut* device = Find(handle);
  if (!device) return winmm.waveOutUnprepareHeader(handle, header, size);
  return UnprepareClientHeader(*device, header, size);
}

MMRESULT WINAPI ConvertingWaveOutWrite(HWAVEOUT handle, LPWAVEHDR header, UINT size) {
  ConvertingOut* device = Find(handle);
  if (!device) return winmm.waveOutWrite(handle, header, size);
  if (!header || size < sizeof(WAVEHDR) || (!header->lpData && header->dwBufferLength)) {
    return MMSYSERR_INVALPARAM;
  }
  std::unique_lock lock(device->mutex);
  if (!(header->dwFlags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
  if (header->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
  if (device->closing) return MMSYSERR_INVALHANDLE;
  header->dwFlags = (header->dwFlags | WHDR_INQUEUE) & ~WHDR_DONE;
  device->queued.Push(header);
  if (!device->cursor) {
    device->cursor = header;
    device->offset = 0;
  }
  Decode(*device);
  const MMRESULT refused = WriteWaiting(lock, *device);
  if (refused != 0) {
    // The device took nothing and nothing plays: the caller hears of it now (also inside our
    // own callback) and gets this header back unqueued, as from a write the device refused.
    // Those before it are on their way back with the next delivery.
    device->deliveries.finished.Remove(header);
    header->dwFlags &= ~(WHDR_INQUEUE | WHDR_DONE);
    return refused;
  }
  // Headers come back only from the device's callbacks, Reset and Close: never from
  // inside the caller's own write.
  if (CallbackScope::OwnDepth(device) > 0) Deliver(lock, *device, false);
  return 0;
}

MMRESULT WINAPI ConvertingWaveOutReset(HWAVEOUT handle) {
  ConvertingOut* device = Find(handle);
  if (!device) return winmm.waveOutReset(handle);
  std::unique_lock lock(device->mutex);
  ++device->generation;
  while (PlayBuffer* buffer = device->waiting.Pop()) buffer->state = PlayState::Free;
  // The caller's headers go back only once the device has been reset: a completion before
  // that would hand them over while the device still holds sound decoded from them, and
  // whatever the caller wrote again at once would be cut off by the reset.
  HeaderList returning;
  while (WAVEHDR* header = device->queued.Pop()) returning.Push(header);
  device->cursor = nullptr;
  device->offset = 0;
  device->pending = 0;
  device->consumed = device->released = device->marked = 0;
  device->pcmWritten = 0;
  device->codedWritten = device->codedPlayed = device->codedReported = 0;
  device->restartStream = true;
  // A write in progress on another thread finishes before the device forgets its queue.
  const DWORD self = GetCurrentThreadId();
  device->changed.wait(lock, [&] { return device->writer == 0 || device->writer == self; });
  lock.unlock();
  const MMRESULT result = winmm.waveOutReset(device->real);
  lock.lock();
  while (WAVEHDR* header = returning.Pop()) {
    MarkDone(header);
    device->deliveries.finished.Push(header);
  }
  Deliver(lock, *device, true);
  return result;
}

MMRESULT WINAPI ConvertingWaveOutGetPosition(HWAVEOUT handle, LPMMTIME time, UINT size) {
  ConvertingOut* device = Find(handle);
  if (!device) return winmm.waveOutGetPosition(handle, time, size);
  if (!time || size < sizeof(MMTIME)) return MMSYSERR_INVALPARAM;
  MMTIME played{};
  played.wType = TIME_BYTES;
  const MMRESULT result = winmm.waveOutGetPosition(device->real, &played, sizeof(played));
  std::lock_guard guard(device->mutex);
  DWORD position = device->codedPlayed;
  if (result == 0 && played.wType == TIME_BYTES) {
    // The device counts in 32 bits and cannot have played more than was written: its count
    // is how far it stands behind what was written.
    const DWORD behind = static_cast<DWORD>(device->pcmWritten) - played.u.cb;
    const uint64_t playedPcm = behind <= device->pcmWritten ? device->pcmWritten - behind : 0;
    // The device's clock may pass a buffer before its completion is handled.
    for (size_t i = 0; i < device->playing.size(); ++i) {
      const PlayBuffer& buffer = *device->playing.at(i);
      if (buffer.generation != device->generation) continue;
      if (playedPcm >= buffer.pcmStart + buffer.pcmBytes) {
        position = std::max(position, buffer.codedStart + buffer.codedBytes);
        continue;
      }
      if (playedPcm > buffer.pcmStart) {
        const uint64_t into = playedPcm - buffer.pcmStart;
        position =
            std::max(position, buffer.codedStart +
                                   static_cast<DWORD>(into * buffer.codedBytes / buffer.pcmBytes));
      }
      break;
    }
  }
  position = std::max(position, device->codedReported);
  device->codedReported = position;
  time->wType = TIME_BYTES;
  time->u.cb = position;
  return 0;
}

MMRESULT WINAPI ConvertingWaveOutClose(HWAVEOUT handle) {
  ConvertingOut* device = Find(handle);
  if (!device) return winmm.waveOutClose(handle);
  return CloseDevice<OutputSide>(*device);
}
