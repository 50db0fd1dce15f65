// Driving the converting devices as the engine does (convert_support.h): the probe callback
// that notes what a caller sees, a two-buffer recorder and a two-buffer player. The callbacks
// run on the platform's thread; the runs wait for them on the test's.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

#include "convert_support.h"
#include "platform/wave_devices.h"
#include "support/playback_file.h"
#include "support/poll.h"
#include "support/test_support.h"

size_t Probe::count() {
  std::lock_guard guard(mutex);
  return returned.size();
}

DWORD Probe::total() {
  std::lock_guard guard(mutex);
  DWORD sum = 0;
  for (DWORD count : bytes) sum += count;
  return sum;
}

void Probe::Clear() {
  std::lock_guard guard(mutex);
  returned.clear();
  bytes.clear();
}

void CALLBACK OnProbe(HDRVR device, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR) {
  auto& probe = *reinterpret_cast<Probe*>(instance);
  if (message == WIM_OPEN || message == WOM_OPEN) ++probe.opens;
  if (message == WIM_CLOSE || message == WOM_CLOSE) ++probe.closes;
  if (message != WIM_DATA && message != WOM_DONE) return;
  auto* header = reinterpret_cast<WAVEHDR*>(param1);
  {
    std::lock_guard guard(probe.mutex);
    if (probe.device && reinterpret_cast<HANDLE>(device) != probe.device) probe.wrongHandle = true;
    probe.returned.push_back(header);
    probe.bytes.push_back(message == WIM_DATA ? header->dwBytesRecorded : header->dwBufferLength);
    if (message == WIM_DATA && probe.requeue) {
      ConvertingWaveInAddBuffer(reinterpret_cast<HWAVEIN>(device), header, sizeof(WAVEHDR));
    }
  }
  if (probe.onReturn) probe.onReturn(header);
}

namespace {

constexpr DWORD EngineBufferCapacity = 64000;

struct RecorderProbe {
  std::mutex mutex;
  HWAVEIN device = nullptr;
  bool recording = false;
  WAVEHDR headers[2]{};
  std::vector<BYTE> buffers[2];
  RecordRun* run = nullptr;
};

void CALLBACK OnInput(HWAVEIN device, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                      DWORD_PTR) {
  auto& probe = *reinterpret_cast<RecorderProbe*>(instance);
  std::lock_guard guard(probe.mutex);
  RecordRun& run = *probe.run;
  if (message == WIM_OPEN) ++run.opens;
  if (message == WIM_CLOSE) ++run.closes;
  if (message != WIM_DATA) return;
  if (probe.device && device != probe.device) run.wrongHandle = true;
  auto* header = reinterpret_cast<WAVEHDR*>(param1);
  if (!(header->dwFlags & WHDR_DONE) || (header->dwFlags & WHDR_INQUEUE)) {
    run.wrongOrderFlags = true;
  }
  if (!probe.recording) {
    ++run.returnedByReset;
    return;
  }
  run.order.push_back(header == &probe.headers[0] ? 0 : header == &probe.headers[1] ? 1 : -1);
  run.returnedBytes.push_back(header->dwBytesRecorded);
  run.data.insert(run.data.end(), header->lpData, header->lpData + header->dwBytesRecorded);
  ConvertingWaveInAddBuffer(device, header, sizeof(WAVEHDR));
}

// Coded bytes in `milliseconds` of sound, in whole blocks and at least one, from the sample
// rate and the samples a block holds (the block-coded formats say so in their first extra
// field; the others hold one per channel): the header's byte rate may be anything.
DWORD CodedBytesIn(const WAVEFORMATEX* format, DWORD milliseconds) {
  const DWORDLONG perBlock =
      format->cbSize >= sizeof(WORD) ? *reinterpret_cast<const WORD*>(format + 1) : 1;
  const DWORDLONG blocks =
      DWORDLONG{format->nSamplesPerSec} * milliseconds / 1000 / std::max<DWORDLONG>(perBlock, 1);
  return static_cast<DWORD>(std::max<DWORDLONG>(blocks, 1) * format->nBlockAlign);
}

}  // namespace

RecordRun RecordThroughDevices(const WAVEFORMATEX* format, DWORD milliseconds) {
  RecordRun run;
  RecorderProbe probe;
  probe.run = &run;
  HWAVEIN device = nullptr;
  run.openResult =
      ConvertingWaveInOpen(&device, WAVE_MAPPER, format, reinterpret_cast<DWORD_PTR>(&OnInput),
                           reinterpret_cast<DWORD_PTR>(&probe), CALLBACK_FUNCTION | WAVE_ALLOWSYNC);
  if (run.openResult != MMSYSERR_NOERROR) return run;
  run.converting = IsConvertingDevice(device);
  const DWORD chunk = EngineBufferCapacity - EngineBufferCapacity % format->nBlockAlign;
  {
    std::lock_guard guard(probe.mutex);
    probe.device = device;
    for (int i = 0; i < 2; ++i) {
      probe.buffers[i].assign(EngineBufferCapacity, 0);
      probe.headers[i].lpData = reinterpret_cast<LPSTR>(probe.buffers[i].data());
      probe.headers[i].dwBufferLength = chunk;
    }
  }
  ConvertingWaveInPrepareHeader(device, &probe.headers[0], sizeof(WAVEHDR));
  ConvertingWaveInPrepareHeader(device, &probe.headers[1], sizeof(WAVEHDR));
  ConvertingWaveInStart(device);
  ConvertingWaveInAddBuffer(device, &probe.headers[0], sizeof(WAVEHDR));
  {
    std::lock_guard guard(probe.mutex);
    probe.recording = true;
  }
  ConvertingWaveInAddBuffer(device, &probe.headers[1], sizeof(WAVEHDR));
  // The capture's length: until that much sound has reached the headers.
  const DWORD wanted = CodedBytesIn(format, milliseconds);
  PollUntil(5 * milliseconds + 10000, [&] {
    MMTIME now{};
    now.wType = TIME_BYTES;
    return ConvertingWaveInGetPosition(device, &now, sizeof(now)) == MMSYSERR_NOERROR &&
           now.u.cb >= wanted;
  });
  run.stopResult = ConvertingWaveInStop(device);
  MMTIME position{};
  position.wType = TIME_BYTES;
  ConvertingWaveInGetPosition(device, &position, sizeof(position));
  run.positionAfterStop = position.u.cb;
  {
    std::lock_guard guard(probe.mutex);
    probe.recording = false;
  }
  run.resetResult = ConvertingWaveInReset(device);
  const MMRESULT first =
      ConvertingWaveInUnprepareHeader(device, &probe.headers[0], sizeof(WAVEHDR));
  const MMRESULT second =
      ConvertingWaveInUnprepareHeader(device, &probe.headers[1], sizeof(WAVEHDR));
  run.unprepareResult = first != MMSYSERR_NOERROR ? first : second;
  run.closeResult = ConvertingWaveInClose(device);
  std::lock_guard guard(probe.mutex);
  return run;
}

namespace {

struct PlayerProbe {
  std::mutex mutex;
  HWAVEOUT device = nullptr;
  std::span<const BYTE> data;
  size_t next = 0;
  DWORD chunk = 0;
  WAVEHDR headers[2]{};
  std::vector<BYTE> buffers[2];
  int outstanding = 0;
  HANDLE finished = nullptr;
  PlayRun* run = nullptr;
  bool stopping = false;  // set before the reset: returned headers are not written again
};

// Fills a header with the next chunk; false when the data is used up.
bool Fill(PlayerProbe& probe, WAVEHDR& header) {
  if (probe.next >= probe.data.size()) return false;
  const size_t count = std::min<size_t>(probe.chunk, probe.data.size() - probe.next);
  std::memcpy(header.lpData, probe.data.data() + probe.next, count);
  header.dwBufferLength = static_cast<DWORD>(count);
  header.dwFlags = WHDR_PREPARED;
  probe.next += count;
  return true;
}

void CALLBACK OnOutput(HWAVEOUT device, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                       DWORD_PTR) {
  auto& probe = *reinterpret_cast<PlayerProbe*>(instance);
  std::lock_guard guard(probe.mutex);
  PlayRun& run = *probe.run;
  if (message == WOM_CLOSE) ++run.closes;
  if (message != WOM_DONE) return;
  if (probe.device && device != probe.device) run.wrongHandle = true;
  auto* header = reinterpret_cast<WAVEHDR*>(param1);
  run.order.push_back(header == &probe.headers[0] ? 0 : header == &probe.headers[1] ? 1 : -1);
  --probe.outstanding;
  if (!probe.stopping && Fill(probe, *header) &&
      ConvertingWaveOutWrite(device, header, sizeof(WAVEHDR)) == 0) {
    ++probe.outstanding;
  }
  if (probe.outstanding == 0) SetEvent(probe.finished);
}

}  // namespace

PlayRun PlayThroughDevices(const WAVEFORMATEX* format, std::span<const BYTE> data, DWORD chunk) {
  PlayRun run;
  PlayerProbe probe;
  probe.run = &run;
  probe.data = data;
  probe.chunk = chunk;
  probe.finished = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HWAVEOUT device = nullptr;
  run.openResult = ConvertingWaveOutOpen(
      &device, WAVE_MAPPER, format, reinterpret_cast<DWORD_PTR>(&OnOutput),
      reinterpret_cast<DWORD_PTR>(&probe), CALLBACK_FUNCTION | WAVE_ALLOWSYNC);
  if (run.openResult != MMSYSERR_NOERROR) {
    CloseHandle(probe.finished);
    return run;
  }
  run.converting = IsConvertingDevice(device);
  {
    std::lock_guard guard(probe.mutex);
    probe.device = device;
    for (int i = 0; i < 2; ++i) {
      probe.buffers[i].assign(chunk, 0);
      probe.headers[i].lpData = reinterpret_cast<LPSTR>(probe.buffers[i].data());
      probe.headers[i].dwBufferLength = chunk;
    }
  }
  ConvertingWaveOutPrepareHeader(device, &probe.headers[0], sizeof(WAVEHDR));
  ConvertingWaveOutPrepareHeader(device, &probe.headers[1], sizeof(WAVEHDR));
  for (WAVEHDR& header : probe.headers) {
    std::lock_guard guard(probe.mutex);
    if (Fill(probe, header) && ConvertingWaveOutWrite(device, &header, sizeof(WAVEHDR)) == 0) {
      ++probe.outstanding;
    }
  }
  const DWORD seconds =
      static_cast<DWORD>(data.size() / std::max<DWORD>(format->nAvgBytesPerSec, 1));
  // A generous bound: a busy machine plays slowly, never wrongly.
  const DWORD limit = GetTickCount() + 60000 + seconds * 4000;
  while (WaitForSingleObject(probe.finished, 50) == WAIT_TIMEOUT && GetTickCount() < limit) {
    MMTIME position{};
    position.wType = TIME_BYTES;
    ConvertingWaveOutGetPosition(device, &position, sizeof(position));
    run.positions.push_back(position.u.cb);
  }
  run.finished = WaitForSingleObject(probe.finished, 0) == WAIT_OBJECT_0;
  MMTIME position{};
  position.wType = TIME_BYTES;
  ConvertingWaveOutGetPosition(device, &position, sizeof(position));
  run.lastPosition = position.u.cb;
  {
    std::lock_guard guard(probe.mutex);
    probe.stopping = true;
  }
  ConvertingWaveOutReset(device);
  ConvertingWaveOutUnprepareHeader(device, &probe.headers[0], sizeof(WAVEHDR));
  ConvertingWaveOutUnprepareHeader(device, &probe.headers[1], sizeof(WAVEHDR));
  run.closeResult = ConvertingWaveOutClose(device);
  // The close notice may come from the device's thread after Close returns; the probe and
  // the run it writes must outlive it, or the callback writes into a finished stack frame.
  if (run.closeResult == MMSYSERR_NOERROR) {
    PollUntil(10000, [&] {
      std::lock_guard guard(probe.mutex);
      return run.closes > 0;
    });
  }
  WaitForPlayedFile();
  CloseHandle(probe.finished);
  std::lock_guard guard(probe.mutex);
  return run;
}
