// The capture device disappears mid-recording (the PulseAudio daemon behind it ends): the
// recording ends by itself with a message, the file is valid and holds what was captured, the
// program still answers, and once the device is back it records again. Runs under
// fault_env.sh pulse, which gives the test a daemon of its own to stop or kill.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "faults/fault_support.h"
#include "resources/resource.h"
#include "support/test_support.h"

using recorder_driver::RecorderApp;

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

bool Daemon(const std::string& action) {
  const UnixResult result = RunUnix("bash " + ShellQuote(Env("RECORDER_FAULTS_HELPER")) + " " +
                                    action + " " + ShellQuote(Env("RECORDER_FAULTS_PULSE_DIR")));
  if (!result.finished || result.exitCode != 0)
    std::printf("%s failed (%d): %s\n", action.c_str(), result.exitCode, result.output.c_str());
  return result.finished && result.exitCode == 0;
}

}  // namespace

// The daemon ends the orderly way (pactl exit) or dies at once (SIGKILL).
class CaptureDeviceLoss : public ProgramTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(CaptureDeviceLoss, RecordingEndsWithAMessageAndAValidFileAndRecordsAgainLater) {
  if (!Env("RECORDER_FAULTS_SKIP").empty()) GTEST_SKIP() << Env("RECORDER_FAULTS_SKIP");
  if (Env("RECORDER_FAULTS_PULSE_DIR").empty())
    GTEST_SKIP() << "needs the daemon of its own that fault_env.sh pulse starts";
  const std::string path = folder.file("lost.wav");
  ASSERT_EQ(StartWithNewStereoFile(app, path), "");
  ASSERT_TRUE(app.ClickButton(IDC_RECORD));
  // More than two buffers written before the device goes, however busy the machine.
  PollUntil(
      30000, [&] { return ShownBytes(app).value_or(0) > 2.0 * kBufferBytes; }, 50);
  const double shownBefore = ShownBytes(app).value_or(0);
  ASSERT_GT(shownBefore, 2.0 * kBufferBytes) << "the device delivered too little to go on";

  ASSERT_TRUE(Daemon(GetParam()));
  const DWORD lost = GetTickCount();
  // The run must end by itself and say why.
  auto box = app.WaitForMessageBox({}, 15000);
  const DWORD noticedMs = GetTickCount() - lost;
  if (box) {
    std::printf("after %lu ms: \"%s\": \"%s\"\n", noticedMs, box->caption.c_str(),
                box->text.c_str());
    EXPECT_EQ(box->caption, "Error");
    EXPECT_FALSE(box->text.empty());
    EXPECT_TRUE(RecorderApp::PressOk(box->window));
  } else {
    ADD_FAILURE() << "no message 15 s after the capture device went away; Record "
                  << (app.IsControlEnabled(IDC_RECORD) ? "enabled" : "disabled") << ", Stop "
                  << (app.IsControlEnabled(IDC_STOP) ? "enabled" : "disabled") << ", "
                  << app.ControlText(IDC_DATASIZE);
    // Stop by hand, so the rest can still be checked.
    app.ClickButton(IDC_STOP);
    if (auto late = app.WaitForMessageBox({}, 3000)) {
      std::printf("after Stop: \"%s\": \"%s\"\n", late->caption.c_str(), late->text.c_str());
      RecorderApp::PressOk(late->window);
    }
  }
  EXPECT_TRUE(WaitUntilIdle(app, 5000)) << "the controls did not return to idle";
  ASSERT_TRUE(app.Sync()) << "the program does not answer";

  const WaveHeader header = ReadWaveHeader(path);
  std::printf("%.0f bytes shown before the loss, %u in the file\n", shownBefore, header.dataSize);
  EXPECT_TRUE(header.Consistent());
  const auto filled = static_cast<std::uint32_t>((shownBefore - 52) / kBufferBytes);
  EXPECT_GE(header.dataSize, (filled - 1) * kBufferBytes);
  const auto payload = ReadFileRange(path, header.dataOffset, header.dataSize);
  ASSERT_EQ(payload.size(), header.dataSize);
  EXPECT_EQ(CheckKnownSignal(payload), "");
  const SoxReading sox = ReadWithSox(path, false);
  ASSERT_TRUE(sox.ok) << sox.error;
  EXPECT_EQ(sox.samples * 4, header.dataSize);

  // The device comes back: recording works again and appends to what was kept.
  ASSERT_TRUE(Daemon("pulse-start"));
  if (app.IsControlEnabled(IDC_FORWARD)) {
    ASSERT_TRUE(app.ClickButton(IDC_FORWARD));
  }
  ASSERT_TRUE(app.ClickButton(IDC_RECORD));
  // The new daemon may take a moment before it delivers: wait for a few buffers' worth.
  PollUntil(
      30000, [&] { return ShownBytes(app).value_or(0) >= header.dataSize + 4.0 * kBufferBytes; },
      100);
  ASSERT_TRUE(app.ClickButton(IDC_STOP));
  EXPECT_TRUE(app.NoMessageBoxWithin(300));
  EXPECT_TRUE(WaitUntilIdle(app, 5000));
  const WaveHeader after = ReadWaveHeader(path);
  EXPECT_TRUE(after.Consistent());
  EXPECT_GT(after.dataSize, header.dataSize + 2 * kBufferBytes);
  const auto appended =
      ReadFileRange(path, after.dataOffset + header.dataSize, after.dataSize - header.dataSize);
  EXPECT_EQ(CheckKnownSignal(appended), "");
}

INSTANTIATE_TEST_SUITE_P(Daemon, CaptureDeviceLoss, ::testing::Values("pulse-stop", "pulse-kill"),
                         [](const auto& info) {
                           return std::string(info.param) == "pulse-stop" ? "Exits" : "IsKilled";
                         });
