// Shared pieces of the fault campaign: the real program with a new 16-bit stereo file, Unix
// commands run from the test, and the checks that a file left behind is a valid recording of
// the known signal.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "faults/wave_header.h"
#include "recorder_driver.h"
#include "support/poll.h"
#include "support/test_support.h"
#include "support/unix_command.h"

inline constexpr DWORD kStereoBytesPerSecond = 44100 * 4;
inline constexpr DWORD kBufferBytes = 64000;

// RECORDER_LONG=1: the long campaign.
bool LongRun();
// A seed for the random moments and gaps: RECORDER_FAULT_SEED, else one from the clock.
unsigned FaultSeed();

// Starts the program and makes `path` its new recording file in the format with this tag name
// whose attribute line starts with `attributes` (Wine's lines go on with the byte rate). Empty
// on success, else what went wrong.
std::string StartWithNewFile(recorder_driver::RecorderApp& app, const std::string& path,
                             const std::string& tag, const std::string& attributes,
                             const recorder_driver::LaunchOptions& options = {});
// The same, 16-bit stereo 44100 Hz PCM.
inline std::string StartWithNewStereoFile(recorder_driver::RecorderApp& app,
                                          const std::string& path,
                                          const recorder_driver::LaunchOptions& options = {}) {
  return StartWithNewFile(app, path, "PCM", "44100 Hz; 16 bits; Stereo", options);
}
// Opens `path` with File Open; empty on success (no message box, the caption names the file).
std::string OpenThroughDialog(recorder_driver::RecorderApp& app, const std::string& path);

// The controls of a program that is not recording or playing and has a file.
bool ControlsIdle(const recorder_driver::RecorderApp& app);
// Waits until the controls are idle; false after `timeoutMs`.
bool WaitUntilIdle(const recorder_driver::RecorderApp& app, DWORD timeoutMs);
// Bytes shown by the data-size text ("  123.4 KB"), to the text's 0.1 KB precision.
std::optional<double> ShownBytes(const recorder_driver::RecorderApp& app);

// What sox, an independent reader, makes of a wave file: its sample count, and with
// `readPayload` the raw bytes it decodes (only for small files).
struct SoxReading {
  bool ok = false;
  std::uint64_t samples = 0;
  std::vector<unsigned char> payload;
  std::string error;
};
SoxReading ReadWithSox(const std::string& windowsPath, bool readPayload);

// The payload checks of a recording of the known signal: silence, then one unbroken run of
// the signal, starting on a block, to the end. Empty when so, else what is wrong.
std::string CheckKnownSignal(const std::vector<unsigned char>& payload,
                             unsigned char silence = 0x00, unsigned blockAlign = 4);

// A test of the running program with a folder for its files: a program still running at the end
// is closed the user's way and must exit with code 0.
class ProgramTest : public ::testing::Test {
 protected:
  void TearDown() override {
    if (!app.process() || app.HasExited()) return;
    app.Close();
    EXPECT_EQ(app.WaitForExit(), 0u);
  }
  TempFolder folder;
  recorder_driver::RecorderApp app;
};
