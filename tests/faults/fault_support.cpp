#include "faults/fault_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "resources/resource.h"
#include "support/known_signal.h"
#include "support/test_support.h"

using recorder_driver::RecorderApp;

namespace {

constexpr char StereoAttributes[] = "44100 Hz; 16 bits; Stereo";

std::string FileName(const std::string& path) {
  return path.substr(path.find_last_of("\\/") + 1);
}

}  // namespace

bool LongRun() {
  const char* value = std::getenv("RECORDER_LONG");
  return value && std::strcmp(value, "1") == 0;
}

unsigned FaultSeed() {
  if (const char* value = std::getenv("RECORDER_FAULT_SEED"))
    return static_cast<unsigned>(std::strtoul(value, nullptr, 10));
  return static_cast<unsigned>(GetTickCount());
}

std::string StartWithNewStereoFile(RecorderApp& app, const std::string& path,
                                   const recorder_driver::LaunchOptions& options) {
  DeleteFileA(path.c_str());
  if (!app.Start(options)) return "start: " + app.LastError();
  app.PostCommand(IDM_NEW);
  if (!app.AnswerFileDialog(path)) return "the Save dialog did not take " + path;
  // Wine's attribute lines go on with the byte rate after the text of the format's details.
  auto chooser = app.ReadFormatChooser();
  if (!chooser) return "no format chooser";
  int index = -1;
  for (std::size_t i = 0; i < chooser->attributeChoices.size(); ++i)
    if (chooser->attributeChoices[i].rfind(StereoAttributes, 0) == 0) index = static_cast<int>(i);
  if (chooser->tag != "PCM" || index < 0) return "the chooser offers no 16-bit stereo PCM";
  if (!app.AnswerFormatChooser({}, index)) return "the chooser did not close";
  if (!app.Sync() || !app.IsControlEnabled(IDC_RECORD)) return "Record is not enabled after New";
  if (app.Caption() != "Audio Recorder - " + FileName(path)) return "caption " + app.Caption();
  return {};
}

std::string OpenThroughDialog(RecorderApp& app, const std::string& path) {
  app.PostCommand(IDM_OPEN, 0, nullptr, false);
  if (!app.AnswerFileDialog(path)) return "the Open dialog did not take " + path;
  if (!app.Sync()) return "no answer after Open";
  if (auto box = app.WaitForMessageBox({}, 300)) {
    std::string text = box->caption + ": " + box->text;
    RecorderApp::PressOk(box->window);
    return "Open showed " + text;
  }
  if (app.Caption() != "Audio Recorder - " + FileName(path)) return "caption " + app.Caption();
  return {};
}

bool ControlsIdle(const RecorderApp& app) {
  return app.IsControlEnabled(IDC_RECORD) && !app.IsControlEnabled(IDC_STOP);
}

bool WaitUntilIdle(const RecorderApp& app, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  while (!ControlsIdle(app)) {
    if (GetTickCount() - start > timeoutMs) return false;
    Sleep(20);
  }
  return true;
}

std::optional<double> ShownBytes(const RecorderApp& app) {
  double kilobytes = 0;
  if (std::sscanf(app.ControlText(IDC_DATASIZE).c_str(), "%lf", &kilobytes) != 1)
    return std::nullopt;
  return kilobytes * 1024;
}

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

namespace {

// Files of the Unix commands, away from the disks that the tests fill.
std::string ScratchFile(const std::string& name) {
  static TempFolder folder;
  static int serial = 0;
  return folder.file(std::to_string(++serial) + name);
}

}  // namespace

UnixResult RunUnix(const std::string& command, DWORD timeoutMs) {
  UnixResult result;
  const std::string base = ScratchFile("unix");
  const std::string unixBase = recorder_driver::UnixPath(base);
  // Wine starts Unix programs but gives back no handle to wait on: the command leaves its
  // exit code in a file that appears under its final name only when complete. What 64-bit Wine
  // leaves in the process record then is not ours (its hThread has held the value of the
  // recorder's own process handle), so nothing in it is closed.
  const std::string script = "( " + command + " ) >" + ShellQuote(unixBase + ".out") +
                             " 2>&1; echo $? >" + ShellQuote(unixBase + ".part") + "; mv " +
                             ShellQuote(unixBase + ".part") + " " + ShellQuote(unixBase + ".code");
  std::string line = "/bin/sh -c \"" + script + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    result.output = "CreateProcess failed: " + std::to_string(GetLastError());
    return result;
  }
  const DWORD start = GetTickCount();
  while (GetFileAttributesA((base + ".code").c_str()) == INVALID_FILE_ATTRIBUTES) {
    if (GetTickCount() - start > timeoutMs) {
      result.output = "timed out: " + command;
      return result;
    }
    Sleep(10);
  }
  const auto code = ReadWholeFile(base + ".code");
  const auto output = ReadWholeFile(base + ".out");
  result.finished = true;
  result.exitCode = std::atoi(std::string(code.begin(), code.end()).c_str());
  result.output.assign(output.begin(), output.end());
  DeleteFileA((base + ".code").c_str());
  DeleteFileA((base + ".out").c_str());
  return result;
}

SoxReading ReadWithSox(const std::string& windowsPath, bool readPayload) {
  SoxReading reading;
  const std::string file = ShellQuote(recorder_driver::UnixPath(windowsPath));
  UnixResult count = RunUnix("soxi -s " + file);
  if (!count.finished || count.exitCode != 0) {
    reading.error = "soxi: " + count.output;
    return reading;
  }
  reading.samples = std::strtoull(count.output.c_str(), nullptr, 10);
  if (readPayload) {
    const std::string raw = ScratchFile("sox.raw");
    UnixResult convert =
        RunUnix("sox -q " + file + " -t raw " + ShellQuote(recorder_driver::UnixPath(raw)));
    if (!convert.finished || convert.exitCode != 0) {
      reading.error = "sox: " + convert.output;
      return reading;
    }
    reading.payload = ReadWholeFile(raw);
    DeleteFileA(raw.c_str());
  }
  reading.ok = true;
  return reading;
}

std::string CheckKnownSignal(const std::vector<unsigned char>& payload) {
  if (payload.empty()) return {};
  auto match = FindKnownSignal(payload, 0x00);
  if (!match) return "the known signal is not in the data";
  for (std::size_t i = 0; i < match->dataIndex; ++i)
    if (payload[i] != 0) return "a byte before the signal is not silence: " + std::to_string(i);
  if (match->signalOffset % 4 != 0)
    return "the signal starts inside a sample frame (offset " +
           std::to_string(match->signalOffset) + ")";
  if (match->dataIndex + match->length != payload.size())
    return "the signal breaks off at payload byte " +
           std::to_string(match->dataIndex + match->length) + " of " +
           std::to_string(payload.size());
  return {};
}
