// Where the ALSA profiles "file", "paced16" and "paced8" write the bytes that a process plays:
// the Unix path in RECORDER_PLAYBACK_FILE, which recorder_add_test sets to one file per test
// executable (so tests that check played bytes are EXCLUSIVE), and which a test may set for a
// program it starts (the e2e driver does). Each opening of the output device starts the file
// afresh; the file is complete once the device is closed. Unset, playback goes to /dev/null.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstddef>
#include <string>
#include <vector>

// The Unix path of a Windows path, through Wine's own mapping (unchanged when not under Wine).
inline std::string UnixPathOf(const std::string& windowsPath) {
  using ToUnix = char*(CDECL*)(LPCWSTR);
  auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (!toUnix) return windowsPath;
  int length = MultiByteToWideChar(CP_ACP, 0, windowsPath.c_str(), -1, nullptr, 0);
  if (length <= 0) return windowsPath;
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, windowsPath.c_str(), -1, wide.data(), length);
  char* unixPath = toUnix(wide.c_str());
  if (!unixPath) return windowsPath;
  std::string result(unixPath);
  HeapFree(GetProcessHeap(), 0, unixPath);
  return result;
}

// The Windows path (drive Z:) of a Unix path.
inline std::string WindowsPathOfUnix(const std::string& unixPath) {
  std::string path = "Z:" + unixPath;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

// The file that this process's playback goes to, as a Windows path (empty when unset).
inline std::string PlaybackFilePath() {
  const char* chosen = std::getenv("RECORDER_PLAYBACK_FILE");
  return chosen && *chosen ? WindowsPathOfUnix(chosen) : std::string();
}

// Waits until the played-bytes file has stopped growing: Wine may release the ALSA device,
// which completes the file, a moment after the program closed its wave device.
inline void WaitForPlayedFile() {
  const std::string path = PlaybackFilePath();
  if (path.empty()) return;
  auto size = [&]() -> long long {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  };
  long long last = size();
  int steady = 0;
  for (int i = 0; i < 200 && steady < 3; ++i) {  // settled: unchanged for 150 ms, within 10 s
    Sleep(50);
    const long long now = size();
    steady = now == last ? steady + 1 : 0;
    last = now;
  }
}

// True when the `frameBytes` bytes from `at` are all `silence`.
inline bool SilentFrame(const std::vector<unsigned char>& bytes, std::size_t at,
                        std::size_t frameBytes, unsigned char silence) {
  return std::all_of(bytes.begin() + at, bytes.begin() + at + frameBytes,
                     [&](unsigned char b) { return b == silence; });
}

// What the played-bytes checks need of a PCM format: its frame, its silent byte, and the
// shortest silence Wine's output inserts. Wine's output device writes silence whenever its
// buffer ran dry before the program refilled it, which a loaded machine can cause; that
// silence reaches the played-bytes file although the program played every byte right. It
// comes a device period at a time (Wine's is 10 ms), so a shorter run of silence, or silence
// beyond a small share of the sound, is the program's: a late refill, a buffer of zeros.
struct PlayedFormat {
  std::size_t frameBytes;
  unsigned char silence;
  std::size_t periodFrames;  // frames in one period of the output device
};

inline PlayedFormat PlayedFormatOf(WORD channels, DWORD samplesPerSec, WORD bitsPerSample) {
  return {static_cast<std::size_t>(channels) * bitsPerSample / 8,
          static_cast<unsigned char>(bitsPerSample == 8 ? 0x80 : 0), samplesPerSec / 100};
}
inline PlayedFormat PlayedFormatOf(const WAVEFORMATEX& format) {
  return PlayedFormatOf(format.nChannels, format.nSamplesPerSec, format.wBitsPerSample);
}
// 16-bit stereo 44,100 Hz, the format of the played-bytes end-to-end runs.
inline const PlayedFormat kStereo16Played = PlayedFormatOf(2, 44100, 16);

// The silence found between the expected bytes: each run in frames, where it fell (the byte of
// the expected data it came before), and the data frames matched.
struct SilenceSeen {
  std::vector<std::size_t> runs;
  std::vector<std::size_t> at;
  std::size_t dataFrames = 0;
  std::size_t SilentFrames() const {
    std::size_t total = 0;
    for (std::size_t run : runs) total += run;
    return total;
  }
  // Every run at least a period, and all of them together at most a quarter of the sound.
  bool Allowed(const PlayedFormat& format) const {
    for (std::size_t run : runs)
      if (run < format.periodFrames) return false;
    return SilentFrames() <= dataFrames / 4;
  }
};

inline std::string Describe(const SilenceSeen& seen) {
  std::string text = std::to_string(seen.dataFrames) + " data frames, silent runs:";
  for (std::size_t k = 0; k < seen.runs.size(); ++k)
    text += " " + std::to_string(seen.runs[k]) + "@" + std::to_string(seen.at[k]);
  return text;
}

// Matches `played` against `expected` frame by frame, taking silent frames that do not match
// as inserted; `seen` receives the runs. True when every frame of `expected` was matched (with
// `cutShort`, a start of it) and nothing but silence is left over.
inline bool MatchWithSilence(const std::vector<unsigned char>& played,
                             const std::vector<unsigned char>& expected, std::size_t frameBytes,
                             unsigned char silence, bool cutShort, SilenceSeen& seen) {
  std::size_t i = 0, j = 0, run = 0;
  auto endRun = [&] {
    if (run > 0) {
      seen.runs.push_back(run);
      seen.at.push_back(j);
    }
    run = 0;
  };
  while (j < expected.size()) {
    if (i + frameBytes > played.size()) {
      endRun();
      return cutShort && std::equal(played.begin() + i, played.end(), expected.begin() + j);
    }
    if (std::equal(expected.begin() + j, expected.begin() + j + frameBytes, played.begin() + i)) {
      endRun();
      i += frameBytes;
      j += frameBytes;
      ++seen.dataFrames;
    } else if (SilentFrame(played, i, frameBytes, silence)) {
      i += frameBytes;
      ++run;
    } else {
      return false;
    }
  }
  for (; i + frameBytes <= played.size(); i += frameBytes) {
    if (!SilentFrame(played, i, frameBytes, silence)) return false;
    ++run;
  }
  endRun();
  return i == played.size();
}

// True when `played` is `expected` with nothing changed, dropped or repeated, apart from runs
// of silence Wine's output may put in between (PlayedFormat). With `cutShort`, playback was
// ended early: `played` need only hold a start of `expected`, and not an empty one.
inline bool PlayedWithOnlySilenceAdded(const std::vector<unsigned char>& played,
                                       const std::vector<unsigned char>& expected,
                                       const PlayedFormat& format, bool cutShort = false,
                                       std::string* why = nullptr) {
  const std::size_t frameBytes = format.frameBytes;
  if (frameBytes == 0 || expected.size() % frameBytes != 0) return played == expected;
  SilenceSeen seen;
  const bool matched =
      MatchWithSilence(played, expected, frameBytes, format.silence, cutShort, seen);
  if (why) *why = Describe(seen);
  return matched && (seen.dataFrames > 0 || expected.empty()) && seen.Allowed(format);
}

// True when `played` is a start of `expected` and then all of `expected` from byte `resumedAt`
// on, each with only silence put in between as above: playback was moved to `resumedAt` while
// it ran. The silence can fall anywhere, including between the two pieces while the device
// waits for the moved playback's first block. The first piece is not empty and does not end at
// `resumedAt` (that is a playback that ignored the move: tests move away from where it plays);
// `*headBytes` receives its length as played.
inline bool PlayedAStartThenFrom(const std::vector<unsigned char>& played,
                                 const std::vector<unsigned char>& expected, std::size_t resumedAt,
                                 const PlayedFormat& format, std::size_t* headBytes,
                                 std::string* why = nullptr) {
  const std::size_t frameBytes = format.frameBytes;
  if (frameBytes == 0 || played.size() % frameBytes != 0 || resumedAt % frameBytes != 0 ||
      expected.size() % frameBytes != 0 || resumedAt > expected.size())
    return false;
  // The second piece runs to the end, so it is matched from the end backwards.
  SilenceSeen seen;
  std::size_t i = played.size(), j = expected.size(), run = 0;
  while (j > resumedAt) {
    if (i < frameBytes) return false;
    if (std::equal(expected.begin() + (j - frameBytes), expected.begin() + j,
                   played.begin() + (i - frameBytes))) {
      if (run > 0) {
        seen.runs.push_back(run);
        seen.at.push_back(j);
      }
      run = 0;
      i -= frameBytes;
      j -= frameBytes;
      ++seen.dataFrames;
    } else if (SilentFrame(played, i - frameBytes, frameBytes, format.silence)) {
      i -= frameBytes;
      ++run;
    } else {
      return false;
    }
  }
  // Silence just before the second piece may belong to either: it ends the first piece's run.
  i += run * frameBytes;
  *headBytes = i;
  const std::vector<unsigned char> head(played.begin(), played.begin() + i);
  const std::size_t tailFrames = seen.dataFrames;
  const bool headMatched = MatchWithSilence(head, expected, frameBytes, format.silence, true, seen);
  const std::size_t headEnd = (seen.dataFrames - tailFrames) * frameBytes;
  if (why) *why = Describe(seen) + ", first piece ends at " + std::to_string(headEnd);
  return headMatched && i > 0 && headEnd != resumedAt &&
         !std::all_of(head.begin(), head.end(),
                      [&](unsigned char b) { return b == format.silence; }) &&
         seen.Allowed(format);
}
