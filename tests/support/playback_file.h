// Where the ALSA profiles "file", "paced16" and "paced8" write the bytes that a process plays:
// the Unix path in RECORDER_PLAYBACK_FILE, which recorder_add_test sets to one file per test
// executable (so tests that check played bytes are EXCLUSIVE), and which a test may set for a
// program it starts (the e2e driver does). Each opening of the output device starts the file
// afresh; the file is complete once the device is closed. Unset, playback goes to /dev/null.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <string>

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
