// The floor for the recording cost: the least a Windows program must do to record. It opens
// the wave-input device in the PCM format given, queues two 64,000-byte buffers, and its
// callback writes each returned buffer to a file and hands it back; nothing else.
//   min_recorder <file> <seconds> <channels> <rate> <bits>
// Prints RECORDING once the device runs, STOPPING before it stops, then DONE <bytes>.
#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr DWORD BufferBytes = 64000;
HANDLE g_file = INVALID_HANDLE_VALUE;
std::atomic<bool> g_stopping{false};
std::atomic<unsigned long long> g_written{0};

// The device's thread: write the buffer, hand it back.
void CALLBACK Captured(HWAVEIN device, UINT message, DWORD_PTR, DWORD_PTR param1, DWORD_PTR) {
  if (message != WIM_DATA) return;
  auto* header = reinterpret_cast<WAVEHDR*>(param1);
  DWORD written = 0;
  if (header->dwBytesRecorded &&
      WriteFile(g_file, header->lpData, header->dwBytesRecorded, &written, nullptr))
    g_written += written;
  if (!g_stopping) waveInAddBuffer(device, header, sizeof *header);
}

void Say(const char* text) {
  std::printf("%s\n", text);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: min_recorder <file> <seconds> <channels> <rate> <bits>\n");
    return 2;
  }
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = static_cast<WORD>(std::atoi(argv[3]));
  format.nSamplesPerSec = static_cast<DWORD>(std::atoi(argv[4]));
  format.wBitsPerSample = static_cast<WORD>(std::atoi(argv[5]));
  format.nBlockAlign = static_cast<WORD>(format.nChannels * format.wBitsPerSample / 8);
  format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;

  g_file = CreateFileA(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (g_file == INVALID_HANDLE_VALUE) return Say("ERROR file"), 1;
  HWAVEIN device = nullptr;
  if (waveInOpen(&device, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(&Captured), 0,
                 CALLBACK_FUNCTION) != MMSYSERR_NOERROR)
    return Say("ERROR open"), 1;
  static char buffers[2][BufferBytes];
  WAVEHDR headers[2]{};
  for (int i = 0; i < 2; ++i) {
    headers[i].lpData = buffers[i];
    headers[i].dwBufferLength = BufferBytes;
    waveInPrepareHeader(device, &headers[i], sizeof headers[i]);
    waveInAddBuffer(device, &headers[i], sizeof headers[i]);
  }
  if (waveInStart(device) != MMSYSERR_NOERROR) return Say("ERROR start"), 1;
  Say("RECORDING");
  Sleep(static_cast<DWORD>(std::atoi(argv[2])) * 1000);
  Say("STOPPING");
  g_stopping = true;
  waveInReset(device);
  for (WAVEHDR& header : headers) waveInUnprepareHeader(device, &header, sizeof header);
  waveInClose(device);
  CloseHandle(g_file);
  std::printf("DONE %llu\n", g_written.load());
  return 0;
}
