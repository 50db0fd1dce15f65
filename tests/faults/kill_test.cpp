// The program killed mid-recording, at random moments: every file it leaves opens, in the
// program and in sox, and holds every buffer captured before the kill but at most the last.
// Half the kills are a Unix kill -9 of the program's process, half TerminateProcess.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "faults/fault_support.h"
#include "resources/resource.h"
#include "support/test_support.h"

using recorder_driver::RecorderApp;

namespace {

// Kills the process whose command line holds `exeName` (a name no other process has) with
// SIGKILL; the pattern's brackets keep the shell and grep themselves from matching.
bool UnixKill(const std::string& exeName) {
  const std::string pattern =
      exeName.substr(0, exeName.size() - 5) + "[" + exeName.substr(exeName.size() - 5, 1) + "]";
  const UnixResult result = RunUnix("pids=$(grep -l -a -e " + ShellQuote(pattern) +
                                    " /proc/[0-9]*/cmdline 2>/dev/null | cut -d/ -f3); "
                                    "case $pids in '') exit 3;; esac; kill -9 $pids");
  return result.finished && result.exitCode == 0;
}

struct KillOutcome {
  double shownBeforeKill = 0;
  DWORD aliveMs = 0;
};

}  // namespace

TEST(KillMidRecording, EveryFileLeftOpensAndHoldsAllButAtMostTheLastBuffer) {
  const unsigned seed = FaultSeed();
  std::mt19937 random(seed);
  const int kills = LongRun() ? 20 : 5;
  TempFolder folder;
  // A copy under a name of its own, so the Unix kill finds exactly this program.
  const std::string exeName = "AudioRecorderKill" + std::to_string(GetCurrentProcessId()) + ".exe";
  const std::string exe = folder.file(exeName);
  ASSERT_TRUE(CopyFileA(recorder_driver::RecorderExePath().c_str(), exe.c_str(), FALSE));

  for (int i = 0; i < kills; ++i) {
    SCOPED_TRACE("seed " + std::to_string(seed) + ", kill " + std::to_string(i + 1));
    const std::string path = folder.file("killed" + std::to_string(i) + ".wav");
    const bool unixKill = i % 2 == 0;
    KillOutcome outcome;
    {
      RecorderApp app;
      recorder_driver::LaunchOptions options;
      options.exePath = exe;
      ASSERT_EQ(StartWithNewStereoFile(app, path, options), "");
      ASSERT_TRUE(app.ClickButton(IDC_RECORD));
      // At least two buffers' worth, up to a dozen.
      outcome.aliveMs = 800 + random() % 3600;
      Sleep(outcome.aliveMs);
      outcome.shownBeforeKill = ShownBytes(app).value_or(0);
      if (unixKill) {
        ASSERT_TRUE(UnixKill(exeName));
        ASSERT_EQ(WaitForSingleObject(app.process(), 10000), WAIT_OBJECT_0);
      } else {
        app.Kill();
        ASSERT_TRUE(app.HasExited());
      }
    }
    SCOPED_TRACE(std::string(unixKill ? "kill -9" : "TerminateProcess") + " after " +
                 std::to_string(outcome.aliveMs) + " ms, " +
                 std::to_string(static_cast<long>(outcome.shownBeforeKill)) + " bytes shown");

    const WaveHeader header = ReadWaveHeader(path);
    std::printf("kill %d (%s after %lu ms): %.0f bytes shown, %u in the file\n", i + 1,
                unixKill ? "kill -9" : "TerminateProcess", outcome.aliveMs, outcome.shownBeforeKill,
                header.dataSize);
    ASSERT_TRUE(header.riff);
    ASSERT_NE(header.dataOffset, 0u);
    EXPECT_TRUE(header.Consistent()) << "RIFF size " << header.riffSize << ", data "
                                     << header.dataSize << ", file " << header.fileLength;
    EXPECT_EQ(header.blockAlign, 4);
    EXPECT_EQ(header.dataSize % 4, 0u);
    // Whole buffers the device had filled by the last tick before the kill; all of them but
    // the one being written may be missing.
    const auto filled = static_cast<std::uint32_t>((outcome.shownBeforeKill - 52) / kBufferBytes);
    EXPECT_GE(header.dataSize, filled > 0 ? (filled - 1) * kBufferBytes : 0);

    const auto payload = ReadFileRange(path, header.dataOffset, header.dataSize);
    ASSERT_EQ(payload.size(), header.dataSize);
    EXPECT_EQ(CheckKnownSignal(payload), "");

    const SoxReading sox = ReadWithSox(path, true);
    ASSERT_TRUE(sox.ok) << sox.error;
    EXPECT_EQ(sox.samples * 4, header.dataSize);
    EXPECT_TRUE(sox.payload == payload) << "sox decodes other bytes than the data chunk holds";

    // The program itself opens what it left and offers to play it.
    RecorderApp again;
    ASSERT_TRUE(again.Start()) << again.LastError();
    EXPECT_EQ(OpenThroughDialog(again, path), "");
    EXPECT_EQ(again.IsControlEnabled(IDC_PLAY), header.dataSize > 0);
    again.Close();
    EXPECT_EQ(again.WaitForExit(), 0u);
  }
}
