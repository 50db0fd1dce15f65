// Where the ALSA profiles "file", "paced16" and "paced8" write the bytes that a process plays:
// the Unix path in RECORDER_PLAYBACK_FILE, which recorder_add_test sets to one file per test
// executable (so tests that check played bytes are EXCLUSIVE), and which a test may set for a
// program it starts (the e2e driver does). Each opening of the output device starts the file
// afresh; the file is complete once the device is closed. Unset, playback goes to /dev/null.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdlib>
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

// True when `played` is `expected` with nothing changed, dropped or repeated, apart from whole
// frames of silence put in between. Wine's output device writes a period of silence whenever
// its buffer ran dry before the program refilled it, which a loaded machine can cause; that
// silence reaches the played-bytes file although the program played every byte right.
// `frameBytes` is the format's block size; `silence` its silent byte (0x80 for 8-bit PCM, 0
// for 16-bit). With `cutShort`, playback was ended early: `played` need only hold a start of
// `expected`.
inline bool PlayedWithOnlySilenceAdded(const std::vector<unsigned char>& played,
                                       const std::vector<unsigned char>& expected,
                                       std::size_t frameBytes, unsigned char silence,
                                       bool cutShort = false) {
  if (frameBytes == 0 || expected.size() % frameBytes != 0) return played == expected;
  auto silent = [&](std::size_t at) { return SilentFrame(played, at, frameBytes, silence); };
  std::size_t i = 0, j = 0;
  while (j < expected.size()) {
    if (i + frameBytes > played.size())
      return cutShort && std::equal(played.begin() + i, played.end(), expected.begin() + j);
    if (std::equal(expected.begin() + j, expected.begin() + j + frameBytes, played.begin() + i)) {
      i += frameBytes;
      j += frameBytes;
    } else if (silent(i)) {
      i += frameBytes;
    } else {
      return false;
    }
  }
  for (; i + frameBytes <= played.size(); i += frameBytes)
    if (!silent(i)) return false;
  return i == played.size();
}

// True when `played` is a start of `expected` and then all of `expected` from byte `resumedAt`
// on, each with only whole frames of silence put in between (as above): playback was moved to
// `resumedAt` while it ran. The silence can fall anywhere, including between the two pieces
// while the device waits for the moved playback's first block. `*headBytes` receives the
// length of the first piece as played.
inline bool PlayedAStartThenFrom(const std::vector<unsigned char>& played,
                                 const std::vector<unsigned char>& expected, std::size_t resumedAt,
                                 std::size_t frameBytes, unsigned char silence,
                                 std::size_t* headBytes) {
  if (frameBytes == 0 || played.size() % frameBytes != 0 || resumedAt % frameBytes != 0 ||
      expected.size() % frameBytes != 0 || resumedAt > expected.size())
    return false;
  // The second piece runs to the end, so it is matched from the end backwards.
  std::size_t i = played.size(), j = expected.size();
  while (j > resumedAt) {
    if (i < frameBytes) return false;
    if (std::equal(expected.begin() + (j - frameBytes), expected.begin() + j,
                   played.begin() + (i - frameBytes))) {
      i -= frameBytes;
      j -= frameBytes;
    } else if (SilentFrame(played, i - frameBytes, frameBytes, silence)) {
      i -= frameBytes;
    } else {
      return false;
    }
  }
  *headBytes = i;
  const std::vector<unsigned char> head(played.begin(), played.begin() + i);
  return PlayedWithOnlySilenceAdded(head, expected, frameBytes, silence, true);
}
