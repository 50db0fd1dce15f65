// The driver's program: starting it with its environment, finding its main window, the paths
// it is given, and ending it.
#include "recorder_driver.h"

#include <cstring>

#include "support/playback_file.h"
#include "support/poll.h"
#include "window_access.h"

namespace recorder_driver {

namespace {

std::string ToWindowsSlashes(std::string path) {
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

// Builds an environment block from ours with the given variables added or replaced.
std::string EnvironmentBlock(const std::vector<std::pair<std::string, std::string>>& changes) {
  std::vector<std::string> entries;
  if (char* block = GetEnvironmentStringsA()) {
    for (const char* p = block; *p; p += std::strlen(p) + 1) entries.emplace_back(p);
    FreeEnvironmentStringsA(block);
  }
  for (const auto& [name, value] : changes) {
    bool replaced = false;
    for (auto& entry : entries) {
      if (entry.size() > name.size() && entry[name.size()] == '=' &&
          CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, entry.c_str(),
                         static_cast<int>(name.size()), name.c_str(),
                         static_cast<int>(name.size())) == CSTR_EQUAL) {
        entry = name + "=" + value;
        replaced = true;
      }
    }
    if (!replaced) entries.push_back(name + "=" + value);
  }
  std::string result;
  for (const auto& entry : entries) {
    result += entry;
    result.push_back('\0');
  }
  result.push_back('\0');
  return result;
}

}  // namespace

std::string WindowsPath(const std::string& path) {
  if (!path.empty() && path[0] == '/') return "Z:" + ToWindowsSlashes(path);
  return path;
}

std::string UnixPath(const std::string& windowsPath) {
  return UnixPathOf(windowsPath);
}

std::string RecorderExePath() {
  return WindowsPath(RECORDER_DRIVER_EXE);
}

RecorderApp::~RecorderApp() {
  Release();
}

void RecorderApp::Release() {
  if (hook_) UnhookWindowsHookEx(hook_);
  hook_ = nullptr;
  if (replyView_) UnmapViewOfFile(replyView_);
  replyView_ = nullptr;
  if (replyMapping_) CloseHandle(replyMapping_);
  replyMapping_ = nullptr;
  if (replyEvent_) CloseHandle(replyEvent_);
  replyEvent_ = nullptr;
  if (processInformation_.hProcess) {
    if (WaitForSingleObject(processInformation_.hProcess, 0) == WAIT_TIMEOUT) {
      TerminateProcess(processInformation_.hProcess, 99);
      WaitForSingleObject(processInformation_.hProcess, 5000);
    }
    CloseHandle(processInformation_.hProcess);
  }
  if (processInformation_.hThread) CloseHandle(processInformation_.hThread);
  processInformation_ = {};
  mainWindow_ = nullptr;
}

bool RecorderApp::StartOnly(const LaunchOptions& options) {
  Release();
  lastError_.clear();
  std::string exe = options.exePath.empty() ? RecorderExePath() : WindowsPath(options.exePath);
  std::vector<std::pair<std::string, std::string>> changes;
  for (const auto& change : options.environment) changes.push_back(change);
  std::string environment = EnvironmentBlock(changes);
  std::string commandLine = "\"" + exe + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  std::string folder = WindowsPath(options.workingDirectory);
  if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                      environment.data(), folder.empty() ? nullptr : folder.c_str(), &startup,
                      &processInformation_)) {
    lastError_ =
        "CreateProcess failed for " + exe + " (error " + std::to_string(GetLastError()) + ")";
    processInformation_ = {};
    return false;
  }
  return true;
}

bool RecorderApp::Start(const LaunchOptions& options) {
  return StartOnly(options) && WaitForMainWindow(options.startTimeoutMs);
}

HWND RecorderApp::FindMainWindow() const {
  for (HWND window : TopLevelWindows()) {
    if (IsDialogOf(window, processId()) && IsWindowVisible(window) &&
        GetWindow(window, GW_OWNER) == nullptr &&
        WindowText(window).rfind("Audio Recorder", 0) == 0) {
      return window;
    }
  }
  return nullptr;
}

bool RecorderApp::WaitForMainWindow(DWORD timeoutMs) {
  if (!processInformation_.hProcess) {
    lastError_ = "no program started";
    return false;
  }
  bool found = PollUntil(timeoutMs, [&] {
    mainWindow_ = FindMainWindow();
    return mainWindow_ != nullptr || HasExited();
  });
  if (!found || !mainWindow_) {
    lastError_ = HasExited() ? "the program ended before its window appeared"
                             : "the window \"Audio Recorder\" did not appear";
    return false;
  }
  WaitForInputIdle(processInformation_.hProcess, timeoutMs);
  if (!InstallHook()) return false;
  if (!Sync(timeoutMs)) {
    lastError_ = "the program does not answer";
    return false;
  }
  return true;
}

void RecorderApp::Close() {
  if (mainWindow_) PostMessageA(mainWindow_, WM_CLOSE, 0, 0);
}

std::optional<DWORD> RecorderApp::WaitForExit(DWORD timeoutMs) {
  if (!processInformation_.hProcess) return std::nullopt;
  if (WaitForSingleObject(processInformation_.hProcess, timeoutMs) != WAIT_OBJECT_0) {
    return std::nullopt;
  }
  DWORD code = 0;
  if (!GetExitCodeProcess(processInformation_.hProcess, &code)) return std::nullopt;
  return code;
}

bool RecorderApp::HasExited() const {
  return processInformation_.hProcess &&
         WaitForSingleObject(processInformation_.hProcess, 0) == WAIT_OBJECT_0;
}

void RecorderApp::Kill() {
  if (processInformation_.hProcess && !HasExited()) {
    TerminateProcess(processInformation_.hProcess, 99);
    WaitForSingleObject(processInformation_.hProcess, 5000);
  }
}

}  // namespace recorder_driver
