// A real full disk: a 2 MiB tmpfs mapped as a drive of the prefix (fault_env.sh tmpfs). The
// recording stops with the disk-full message, and the file keeps every byte written, valid and
// readable by sox.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "faults/fault_support.h"
#include "resources/resource.h"
#include "support/test_support.h"

using recorder_driver::RecorderApp;

namespace {

constexpr char DiskFullText[] = "Your hard disk is full!  Cannot save any more samples!";

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

class DiskFull : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Env("RECORDER_FAULTS_SKIP").empty()) GTEST_SKIP() << Env("RECORDER_FAULTS_SKIP");
    if (Env("RECORDER_FAULTS_DRIVE").empty())
      GTEST_SKIP() << "needs the small disk that fault_env.sh tmpfs mounts";
    drive_ = Env("RECORDER_FAULTS_DRIVE");
    Clear();
  }
  void TearDown() override {
    if (!drive_.empty()) Clear();
  }
  void Clear() { RunUnix("rm -f " + ShellQuote(Env("RECORDER_FAULTS_DISK")) + "/*"); }

  // Records until the program stops by itself (with `fillAfterBytes`, another program fills
  // the disk once that much is captured); checks the message and the file left.
  void RecordUntilFull(RecorderApp& app, const std::string& path, double fillAfterBytes) {
    ASSERT_TRUE(app.ClickButton(IDC_RECORD));
    if (fillAfterBytes) {
      PollUntil(
          30000, [&] { return ShownBytes(app).value_or(0) >= fillAfterBytes; }, 50);
      const UnixResult fill = RunUnix("bash " + ShellQuote(Env("RECORDER_FAULTS_HELPER")) +
                                      " fill " + ShellQuote(Env("RECORDER_FAULTS_DISK")));
      ASSERT_TRUE(fill.finished) << fill.output;
    }
    auto box = app.WaitForMessageBox({}, 40000);
    ASSERT_TRUE(box) << "no message while the disk filled; " << app.ControlText(IDC_DATASIZE);
    EXPECT_EQ(box->caption, "Error");
    EXPECT_EQ(box->text, DiskFullText);
    EXPECT_TRUE(RecorderApp::PressOk(box->window));
    EXPECT_TRUE(WaitUntilIdle(app, 5000));
    EXPECT_TRUE(app.NoMessageBoxWithin(300));

    const WaveHeader header = ReadWaveHeader(path);
    std::printf("%u bytes recorded before the disk was full; the file is %llu bytes\n",
                header.dataSize, static_cast<unsigned long long>(header.fileLength));
    ASSERT_TRUE(header.Consistent()) << "RIFF " << header.riffSize << ", data " << header.dataSize
                                     << ", file " << header.fileLength;
    EXPECT_GT(header.dataSize, 2 * kBufferBytes);
    EXPECT_EQ(header.dataSize % 4, 0u);
    const auto payload = ReadFileRange(path, header.dataOffset, header.PayloadOnDisk());
    ASSERT_EQ(payload.size(), header.dataSize) << "bytes beyond the declared data";
    EXPECT_EQ(CheckKnownSignal(payload), "");
    const SoxReading sox = ReadWithSox(path, true);
    ASSERT_TRUE(sox.ok) << sox.error;
    EXPECT_EQ(sox.samples * 4, header.dataSize);
    EXPECT_TRUE(sox.payload == payload) << "sox does not read every byte written";
  }

  std::string drive_;
};

TEST_F(DiskFull, RecordingFillsTheDiskAndStopsWithTheMessageKeepingEveryByteWritten) {
  const std::string path = drive_ + "\\full.wav";
  RecorderApp app;
  ASSERT_EQ(StartWithNewStereoFile(app, path), "");
  RecordUntilFull(app, path, 0);
  // The program goes on: the file opens again and plays.
  EXPECT_EQ(OpenThroughDialog(app, path), "");
  EXPECT_TRUE(app.IsControlEnabled(IDC_PLAY));
  app.Close();
  EXPECT_EQ(app.WaitForExit(), 0u);
}

TEST_F(DiskFull, AnotherProgramFillsTheDiskMidRecording) {
  const std::string path = drive_ + "\\shared.wav";
  RecorderApp app;
  ASSERT_EQ(StartWithNewStereoFile(app, path), "");
  RecordUntilFull(app, path, 4.0 * kBufferBytes);
  app.Close();
  EXPECT_EQ(app.WaitForExit(), 0u);
}

}  // namespace
