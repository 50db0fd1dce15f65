// The Windows half of the benchmarks: it starts programs and works the recorder's window
// through the end-to-end driver, and prints one line per event or figure on stdout, which
// bench/bench.py reads while it samples the Unix processes. Times are wall milliseconds from
// QueryPerformanceCounter.
//
//   bench_driver startup <runs> <recorder.exe> <bare.exe> [<floor.exe>]
//                                               STARTUP <which> <ms>, alternating
//   bench_driver record <file> <seconds> [mono8]
//                                               RECORDING / STOPPING / CAPTURED <text> / DONE
//   bench_driver memory <file> <audio seconds> <wall cap seconds>
//                                               RECORDING / FIRSTBUFFER / MEM ... / STOPPING
//   bench_driver stoplatency <file> <runs>      STOPLATENCY <ms>
//   bench_driver open <small.wav> <big.wav> <runs>   OPEN <small|big> <ms>, ROUNDTRIP <ms>
//
// A line "ERROR <text>" ends a command that could not be done; the exit code is then 1.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "faults/wave_header.h"
#include "recorder_driver.h"
#include "resources/resource.h"

using recorder_driver::MenuKind;
using recorder_driver::RecorderApp;

namespace {

constexpr char StereoAttributes[] = "44100 Hz; 16 bits; Stereo";
constexpr char MonoAttributes[] = "11025 Hz; 8 bits; Mono";
constexpr DWORD StereoBytesPerSecond = 44100 * 4;
constexpr char RecentKey[] = "Software\\Velmora\\Quenby Pro Recorder";

double NowMs() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) * 1000.0 / frequency;
}

void Say(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  std::vprintf(format, arguments);
  va_end(arguments);
  std::printf("\n");
  std::fflush(stdout);
}

int Fail(const std::string& text) {
  Say("ERROR %s", text.c_str());
  return 1;
}

// ---- Start-up: the same measurement for any program ----

struct WindowSearch {
  DWORD processId;
  HWND found;
};

BOOL CALLBACK FindVisibleDialog(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<WindowSearch*>(parameter);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  char name[16] = {};
  GetClassNameA(window, name, sizeof name);
  if (owner == search->processId && IsWindowVisible(window) && std::string(name) == "#32770" &&
      !GetWindow(window, GW_OWNER)) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

// Launch to a visible top-level dialog whose thread waits idle for input; -1 on failure.
double TimeStartup(const std::string& exe) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::string commandLine = "\"" + exe + "\"";
  const double start = NowMs();
  if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process))
    return -1;
  WindowSearch search{process.dwProcessId, nullptr};
  while (!search.found && NowMs() - start < 30000) {
    EnumWindows(FindVisibleDialog, reinterpret_cast<LPARAM>(&search));
    if (!search.found) Sleep(1);
  }
  double elapsed = -1;
  if (search.found && WaitForInputIdle(process.hProcess, 10000) == 0) elapsed = NowMs() - start;
  if (search.found) PostMessageA(search.found, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, 5000);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return elapsed;
}

int Startup(int runs, const std::string& ours, const std::string& bare, const std::string& floor) {
  // One unmeasured start of each warms the file cache and Wine's server.
  TimeStartup(ours);
  TimeStartup(bare);
  if (!floor.empty()) TimeStartup(floor);
  for (int i = 0; i < runs; ++i) {
    const double a = TimeStartup(ours);
    const double b = TimeStartup(bare);
    const double c = floor.empty() ? 0 : TimeStartup(floor);
    if (a < 0 || b < 0 || c < 0) return Fail("a program did not come up");
    Say("STARTUP ours %.2f", a);
    Say("STARTUP bare %.2f", b);
    if (!floor.empty()) Say("STARTUP floor %.2f", c);
  }
  return 0;
}

// ---- The recorder with a new PCM file ----

// The devices are those of the ALSA profile in our own Unix environment (bench.py sets it).
bool StartWithNewFile(RecorderApp& app, const std::string& path,
                      const char* attributes = StereoAttributes) {
  DeleteFileA(path.c_str());
  if (!app.Start()) return Fail("start: " + app.LastError()), false;
  app.PostCommand(IDM_NEW);
  if (!app.AnswerFileDialog(path)) return Fail("the Save dialog did not take " + path), false;
  const auto chosen = app.AnswerFormatChooserByText("PCM", attributes);
  if (!chosen || chosen->tag != "PCM")
    return Fail("the format chooser did not offer " + std::string(attributes)), false;
  if (!app.Sync() || !app.IsControlEnabled(IDC_RECORD))
    return Fail("Record is not enabled after New"), false;
  return true;
}

bool Idle(RecorderApp& app) {
  return app.IsControlEnabled(IDC_RECORD) && !app.IsControlEnabled(IDC_STOP);
}

int FinishApp(RecorderApp& app) {
  if (!app.Dialogs().empty()) {
    auto box = app.WaitForMessageBox({}, 100);
    return Fail("unexpected dialog: " + (box ? box->caption + ": " + box->text : "?"));
  }
  app.Close();
  auto code = app.WaitForExit(15000);
  if (!code) return Fail("the recorder did not end");
  Say("DONE %lu", *code);
  return 0;
}

int Record(const std::string& path, int seconds, bool mono8) {
  RecorderApp app;
  if (!StartWithNewFile(app, path, mono8 ? MonoAttributes : StereoAttributes)) return 1;
  if (!app.ClickButton(IDC_RECORD)) return Fail("Record could not be clicked");
  // The driver's hook would run on every message of the program's thread: out while measured.
  app.RemoveHook();
  Say("RECORDING");
  Sleep(static_cast<DWORD>(seconds) * 1000);
  Say("STOPPING");
  if (!app.RestoreHook()) return Fail("the driver's hook could not be put back");
  if (!app.ClickButton(IDC_STOP)) return Fail("Stop could not be clicked");
  if (!app.Sync()) return Fail("no answer after Stop");
  Say("STOPPED");
  Say("CAPTURED %s", app.ControlText(IDC_DATASIZE).c_str());
  return FinishApp(app);
}

// ---- Memory over a long recording on the fast device ----

int Memory(const std::string& path, int audioSeconds, int wallCapSeconds) {
  RecorderApp app;
  if (!StartWithNewFile(app, path)) return 1;
  const std::uint64_t target = std::uint64_t{StereoBytesPerSecond} * audioSeconds;
  if (!app.ClickButton(IDC_RECORD)) return Fail("Record could not be clicked");
  const double start = NowMs();
  Say("RECORDING");
  bool firstBuffer = false;
  std::uint64_t data = 0;
  while (data < target && NowMs() - start < wallCapSeconds * 1000.0) {
    Sleep(1000);
    const WaveHeader header = ReadWaveHeader(path);
    data = header.dataSize;
    if (!firstBuffer && data > 0) {
      firstBuffer = true;
      Say("FIRSTBUFFER");
    }
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(app.process(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof counters);
    Say("MEM %.0f %llu %lu %lu", NowMs() - start, static_cast<unsigned long long>(data),
        static_cast<unsigned long>(counters.PrivateUsage),
        static_cast<unsigned long>(counters.WorkingSetSize));
    if (app.HasExited()) return Fail("the recorder ended during the recording");
  }
  Say("STOPPING");
  if (!app.ClickButton(IDC_STOP)) return Fail("Stop could not be clicked");
  app.Sync();
  Say("STOPPED %llu", static_cast<unsigned long long>(ReadWaveHeader(path).dataSize));
  return FinishApp(app);
}

// ---- Stop latency ----

int StopLatency(const std::string& path, int runs) {
  RecorderApp app;
  if (!StartWithNewFile(app, path)) return 1;
  std::mt19937 random(7);
  for (int i = 0; i < runs; ++i) {
    // Each run appends, so the finished file always ends with its declared data.
    if (app.IsControlEnabled(IDC_FORWARD)) app.ClickButton(IDC_FORWARD);
    if (!app.ClickButton(IDC_RECORD)) return Fail("Record could not be clicked");
    Sleep(700 + random() % 1300);
    HWND stop = app.Control(IDC_STOP);
    const double start = NowMs();
    PostMessageA(app.mainWindow(), WM_COMMAND, MAKEWPARAM(IDC_STOP, BN_CLICKED),
                 reinterpret_cast<LPARAM>(stop));
    bool done = false;
    while (!done && NowMs() - start < 10000) {
      if (Idle(app)) {
        const WaveHeader header = ReadWaveHeader(path);
        done = header.Consistent() && header.PayloadOnDisk() == header.dataSize;
      }
      if (!done) Sleep(0);
    }
    if (!done) return Fail("the file was not final 10 s after Stop");
    Say("STOPLATENCY %.2f", NowMs() - start);
  }
  return FinishApp(app);
}

// ---- Open cost ----

std::string FileName(const std::string& path) {
  return path.substr(path.find_last_of("\\/") + 1);
}

bool RememberRecentFiles(const std::vector<std::string>& paths) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, RecentKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return false;
  bool ok = true;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    const std::string name = "File" + std::to_string(i + 1);
    ok = ok && RegSetValueExA(key, name.c_str(), 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(paths[i].c_str()),
                              static_cast<DWORD>(paths[i].size() + 1)) == ERROR_SUCCESS;
  }
  RegCloseKey(key);
  return ok;
}

int Open(const std::string& small, const std::string& big, int runs) {
  if (!RememberRecentFiles({small, big})) return Fail("cannot write the recent-files list");
  RecorderApp app;
  if (!app.Start()) return Fail("start: " + app.LastError());
  for (int i = 0; i < runs; ++i) {
    const double start = NowMs();
    app.PostToMain(WM_NULL, 0, 0);
    Say("ROUNDTRIP %.2f", NowMs() - start);
    for (const std::string& path : {small, big}) {
      UINT id = 0;
      for (const auto& item : app.ReadMenu(MenuKind::File))
        if (item.text.find(FileName(path)) != std::string::npos) id = item.id;
      if (!id) return Fail("no recent-file item for " + path);
      const double before = NowMs();
      app.PostCommand(id);
      const double took = NowMs() - before;
      if (app.Caption() != "Audio Recorder - " + FileName(path))
        return Fail("opening " + path + " left the caption " + app.Caption());
      Say("OPEN %s %.2f", path == small ? "small" : "big", took);
    }
  }
  return FinishApp(app);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  auto number = [&](std::size_t i) { return i < args.size() ? std::atoi(args[i].c_str()) : 0; };
  if (args.size() == 4 && args[0] == "startup") return Startup(number(1), args[2], args[3], {});
  if (args.size() == 5 && args[0] == "startup")
    return Startup(number(1), args[2], args[3], args[4]);
  if ((args.size() == 3 || (args.size() == 4 && args[3] == "mono8")) && args[0] == "record")
    return Record(args[1], number(2), args.size() == 4);
  if (args.size() == 4 && args[0] == "memory") return Memory(args[1], number(2), number(3));
  if (args.size() == 3 && args[0] == "stoplatency") return StopLatency(args[1], number(2));
  if (args.size() == 4 && args[0] == "open") return Open(args[1], args[2], number(3));
  std::fprintf(stderr, "usage: see the comment at the top of bench/bench_driver.cpp\n");
  return 2;
}
