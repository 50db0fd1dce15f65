#include "faults/fault_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "resources/resource.h"
#include "support/known_signal.h"
#include "support/test_support.h"

using recorder_driver::RecorderApp;

namespace {

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

std::string StartWithNewFile(RecorderApp& app, const std::string& path, const std::string& tag,
                             const std::string& attributes,
                             const recorder_driver::LaunchOptions& options) {
  DeleteFileA(path.c_str());
  if (!app.Start(options)) return "start: " + app.LastError();
  app.PostCommand(IDM_NEW);
  if (!app.AnswerFileDialog(path)) return "the Save dialog did not take " + path;
  const auto chosen = app.AnswerFormatChooserByText(tag, attributes);
  if (!chosen || chosen->tag != tag) return "the chooser offers no " + attributes + " " + tag;
  if (!app.Sync() || !app.IsControlEnabled(IDC_RECORD)) return "Record is not enabled after New";
  if (app.Caption() != "Audio Recorder - " + FileName(path)) return "caption " + app.Caption();
  return {};
}

std::string OpenThroughDialog(RecorderApp& app, const std::string& path) {
  if (!app.OpenThroughDialog(path)) return "the Open dialog did not take " + path;
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
  return PollUntil(
      timeoutMs, [&] { return ControlsIdle(app); }, 20);
}

std::optional<double> ShownBytes(const RecorderApp& app) {
  double kilobytes = 0;
  if (std::sscanf(app.ControlText(IDC_DATASIZE).c_str(), "%lf", &kilobytes) != 1)
    return std::nullopt;
  return kilobytes * 1024;
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

std::string CheckKnownSignal(const std::vector<unsigned char>& payload, unsigned char silence,
                             unsigned blockAlign) {
  if (payload.empty()) return {};
  auto match = FindKnownSignal(payload, silence);
  if (!match) return "the known signal is not in the data";
  for (std::size_t i = 0; i < match->dataIndex; ++i)
    if (payload[i] != silence)
      return "a byte before the signal is not silence: " + std::to_string(i);
  if (match->signalOffset % blockAlign != 0)
    return "the signal starts inside a sample frame (offset " +
           std::to_string(match->signalOffset) + ")";
  if (match->dataIndex + match->length != payload.size())
    return "the signal breaks off at payload byte " +
           std::to_string(match->dataIndex + match->length) + " of " +
           std::to_string(payload.size());
  return {};
}
