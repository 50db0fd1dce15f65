// Helpers of the converting-device tests: the formats the chooser offers, a recorder and a
// player that use the devices as the engine does, an independent decoder, and a search
// for the known signal in decoded (lossy) sound.
#pragma once

#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <vector>

using FormatBytes = std::vector<BYTE>;

inline const WAVEFORMATEX* AsFormat(const FormatBytes& bytes) {
  return reinterpret_cast<const WAVEFORMATEX*>(bytes.data());
}

// Every format the chooser offers for recording (ACM_FORMATENUMF_INPUT), each once.
std::vector<FormatBytes> OfferedRecordingFormats();
// The offered format with this tag, channel count and rate; empty when none.
FormatBytes OfferedFormat(WORD tag, WORD channels, DWORD rate);
FormatBytes PcmFormatBytes(WORD channels, DWORD rate, WORD bits);
std::string Describe(const WAVEFORMATEX* format);

// What the caller of a converting device sees, for devices opened with OnProbe as callback and
// the probe as instance: the headers handed back in order and their byte counts (recorded, or
// the buffer's length when played), the open and close notices, a callback naming another
// device. Input headers are added again at once while `requeue` is set; `onReturn` runs on
// the callback's thread after each header is noted.
struct Probe {
  std::mutex mutex;
  std::vector<WAVEHDR*> returned;
  std::vector<DWORD> bytes;
  std::atomic<int> opens{0};
  std::atomic<int> closes{0};
  std::atomic<bool> requeue{false};
  std::function<void(WAVEHDR*)> onReturn;
  HANDLE device = nullptr;
  bool wrongHandle = false;

  size_t count();
  DWORD total();  // the byte counts added up
  void Clear();
};
void CALLBACK OnProbe(HDRVR device, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR);
inline constexpr DWORD ProbeFlags = CALLBACK_FUNCTION | WAVE_ALLOWSYNC;

// A header over a buffer of its own (a little longer than the header says).
struct Header {
  explicit Header(DWORD length) : data(length + 16) {
    header.lpData = reinterpret_cast<LPSTR>(data.data());
    header.dwBufferLength = length;
  }
  std::vector<BYTE> data;
  WAVEHDR header{};
};

// A wave file's "fmt " chunk and data, read without the program's own code.
struct WaveFile {
  FormatBytes format;
  std::vector<BYTE> data;
};
WaveFile ReadWave(const std::string& path);
// 16-bit samples in a raw file.
std::vector<int16_t> ReadSamples(const std::string& path);

// A run of the input device as the recorder drives it: two headers of the engine's chunk
// length, each written away and added again when it returns while recording; Stop, then
// the recording state ends, then Reset and Close.
struct RecordRun {
  MMRESULT openResult = MMSYSERR_ERROR;
  bool converting = false;
  std::vector<BYTE> data;
  std::vector<DWORD> returnedBytes;  // dwBytesRecorded of each header written
  std::vector<int> order;            // which header came back, in turn
  bool wrongHandle = false;          // a callback named another device
  bool wrongOrderFlags = false;      // a returned header not done or still queued
  DWORD positionAfterStop = 0;
  int returnedByReset = 0;
  int opens = 0;
  int closes = 0;
  MMRESULT stopResult = MMSYSERR_ERROR;
  MMRESULT resetResult = MMSYSERR_ERROR;
  MMRESULT closeResult = MMSYSERR_ERROR;
  MMRESULT unprepareResult = MMSYSERR_ERROR;
};
RecordRun RecordThroughDevices(const WAVEFORMATEX* format, DWORD milliseconds);

// Plays `data` through the output device with two headers of `chunk` bytes, refilled as
// they come back, as the player does; returns when the last one is back and the device is
// closed.
struct PlayRun {
  MMRESULT openResult = MMSYSERR_ERROR;
  bool converting = false;
  std::vector<int> order;
  bool wrongHandle = false;
  int closes = 0;
  bool finished = false;
  DWORD lastPosition = 0;
  std::vector<DWORD> positions;  // sampled while playing
  MMRESULT closeResult = MMSYSERR_ERROR;
};
PlayRun PlayThroughDevices(const WAVEFORMATEX* format, std::span<const BYTE> data, DWORD chunk);

// IMA ADPCM made by the compression manager from a tone of `seconds`, for playback.
std::vector<BYTE> ImaTone(const WAVEFORMATEX* ima, double seconds);

// Decodes data of a compressed format to 16-bit PCM with the compression manager.
std::vector<int16_t> DecodeToPcm16(const WAVEFORMATEX* coded, std::span<const BYTE> data);

// The sound a paced profile captures, as 16-bit samples (interleaved when stereo).
struct ExpectedSignal {
  std::size_t periodSamples = 0;  // the signal repeats after this many samples
  WORD channels = 1;
  std::function<int16_t(std::size_t)> sample;
};
// cap16 (16-bit stereo 44100 Hz) as captured in `channels` channels (mono: the mean).
ExpectedSignal Cap16Signal(WORD channels);
// cap8 (8-bit mono 11025 Hz) as captured in 16 bits.
ExpectedSignal Cap8Signal();

// Where decoded sound meets the expected signal and how closely it follows it.
struct SignalFit {
  bool found = false;
  std::size_t decodedIndex = 0;
  std::size_t signalIndex = 0;
  std::size_t samples = 0;   // compared from decodedIndex on
  double correlation = 0.0;  // Pearson, over those samples
};
// Locates the signal by the signs of a window of samples, then correlates the rest.
SignalFit FitSignal(const std::vector<int16_t>& decoded, const ExpectedSignal& expected,
                    std::size_t skipTail);

double Correlation(std::span<const int16_t> a, std::span<const int16_t> b);
