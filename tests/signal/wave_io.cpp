#include "wave_io.h"

#include <memory>

namespace {
struct EventHandle {
  HANDLE handle = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  ~EventHandle() { CloseHandle(handle); }
};
constexpr DWORD kLimitMs = 20000;
}  // namespace

Capture CaptureBytes(const WAVEFORMATEX& format, std::size_t bytes) {
  Capture capture;
  EventHandle done;
  HWAVEIN device = nullptr;
  capture.openResult = waveInOpen(&device, WAVE_MAPPER, &format,
                                  reinterpret_cast<DWORD_PTR>(done.handle), 0, CALLBACK_EVENT);
  if (capture.openResult != MMSYSERR_NOERROR) return capture;
  std::vector<std::uint8_t> buffer(bytes);
  WAVEHDR header{};
  header.lpData = reinterpret_cast<LPSTR>(buffer.data());
  header.dwBufferLength = static_cast<DWORD>(bytes);
  waveInPrepareHeader(device, &header, sizeof header);
  waveInAddBuffer(device, &header, sizeof header);
  DWORD start = GetTickCount();
  waveInStart(device);
  while (!(header.dwFlags & WHDR_DONE) && GetTickCount() - start < kLimitMs) {
    WaitForSingleObject(done.handle, 50);
  }
  capture.elapsedMs = GetTickCount() - start;
  waveInReset(device);
  waveInUnprepareHeader(device, &header, sizeof header);
  waveInClose(device);
  buffer.resize(header.dwBytesRecorded);
  capture.data = std::move(buffer);
  return capture;
}

MMRESULT PlayBytes(const WAVEFORMATEX& format, const std::vector<std::uint8_t>& bytes) {
  EventHandle done;
  HWAVEOUT device = nullptr;
  MMRESULT result = waveOutOpen(&device, WAVE_MAPPER, &format,
                                reinterpret_cast<DWORD_PTR>(done.handle), 0, CALLBACK_EVENT);
  if (result != MMSYSERR_NOERROR) return result;
  std::vector<std::uint8_t> buffer(bytes);
  WAVEHDR header{};
  header.lpData = reinterpret_cast<LPSTR>(buffer.data());
  header.dwBufferLength = static_cast<DWORD>(buffer.size());
  waveOutPrepareHeader(device, &header, sizeof header);
  result = waveOutWrite(device, &header, sizeof header);
  DWORD start = GetTickCount();
  while (result == MMSYSERR_NOERROR && !(header.dwFlags & WHDR_DONE) &&
         GetTickCount() - start < kLimitMs) {
    WaitForSingleObject(done.handle, 50);
  }
  if (!(header.dwFlags & WHDR_DONE)) result = MMSYSERR_ERROR;
  waveOutReset(device);
  waveOutUnprepareHeader(device, &header, sizeof header);
  waveOutClose(device);
  return result;
}
