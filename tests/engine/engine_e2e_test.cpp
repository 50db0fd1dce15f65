// The real program, driven from outside: New, Record, Stop, Play to the end, with the texts
// and controls at each step, the file holding the known signal, and the output device
// receiving exactly the recorded bytes.
#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "faults/fault_support.h"
#include "faults/wave_header.h"
#include "recorder_driver.h"
#include "resources/resource.h"
#include "support/playback_file.h"
#include "support/test_support.h"

namespace {

using recorder_driver::RecorderApp;

constexpr int kButtons[] = {IDC_REWIND, IDC_FORWARD, IDC_PLAY, IDC_STOP, IDC_RECORD};

// The enabled buttons, as a string of their names: what the user can press.
std::string EnabledButtons(const RecorderApp& app) {
  static const char* names[] = {"Rewind", "Forward", "Play", "Stop", "Record"};
  std::string out;
  for (int id : kButtons)
    if (app.IsControlEnabled(id))
      out += std::string(out.empty() ? "" : " ") + names[id - IDC_REWIND];
  return out;
}

class EngineE2E : public ProgramTest {};

TEST_F(EngineE2E, NewRecordStopPlayToTheEnd) {
  const std::string path = folder.file("take.wav");
  ASSERT_EQ(StartWithNewStereoFile(app, path), "");

  // A new, empty file: only Record among the buttons, the slider usable, all texts zero.
  EXPECT_EQ(EnabledButtons(app), "Record");
  EXPECT_TRUE(app.Slider().enabled);
  EXPECT_EQ(app.ControlText(IDC_POSITION), "00:00.0");
  EXPECT_EQ(app.ControlText(IDC_LENGTH), "00:00.0");

  ASSERT_TRUE(app.ClickButton(IDC_RECORD));
  EXPECT_EQ(EnabledButtons(app), "Stop");
  EXPECT_FALSE(app.Slider().enabled);
  // The ticks show the captured time while the recording extends the data.
  ASSERT_TRUE(PollUntil(10000, [&] { return app.ControlText(IDC_LENGTH) >= "00:01.5"; }));
  // Read as a pair: a tick may fall between two reads.
  EXPECT_TRUE(
      PollUntil(5000, [&] { return app.ControlText(IDC_POSITION) == app.ControlText(IDC_LENGTH); }))
      << app.ControlText(IDC_POSITION) << " vs " << app.ControlText(IDC_LENGTH);
  EXPECT_GT(ShownBytes(app).value_or(0), 1.4 * kStereoBytesPerSecond);

  ASSERT_TRUE(app.ClickButton(IDC_STOP));
  ASSERT_TRUE(WaitUntilIdle(app, 5000));
  EXPECT_TRUE(app.NoMessageBoxWithin(200));
  const std::string lengthText = app.ControlText(IDC_LENGTH);
  EXPECT_EQ(EnabledButtons(app), "Rewind Forward Play Record");
  EXPECT_EQ(app.ControlText(IDC_POSITION), "00:00.0");

  const WaveHeader header = ReadWaveHeader(path);
  ASSERT_TRUE(header.Consistent());
  ASSERT_GT(header.dataSize, 1.5 * kStereoBytesPerSecond);
  const std::vector<unsigned char> payload =
      ReadFileRange(path, header.dataOffset, header.dataSize);
  EXPECT_EQ(CheckKnownSignal(payload), "");
  const auto slider = app.Slider();
  EXPECT_EQ(slider.max, static_cast<int>(header.dataSize / 4));
  EXPECT_EQ(slider.pos, 0);
  // The last tick's length is at most a tick behind what was written.
  EXPECT_LE(lengthText, ShownTime(header.dataSize, kStereoBytesPerSecond));

  ASSERT_TRUE(app.ClickButton(IDC_PLAY));
  EXPECT_TRUE(app.IsControlEnabled(IDC_STOP));
  EXPECT_FALSE(app.IsControlEnabled(IDC_PLAY) || app.IsControlEnabled(IDC_RECORD));
  EXPECT_TRUE(app.Slider().enabled);
  ASSERT_TRUE(WaitUntilIdle(app, 20000));
  EXPECT_TRUE(app.NoMessageBoxWithin(200));
  // At the end: the slider at its end, the whole length shown, the idle controls.
  EXPECT_EQ(app.Slider().pos, app.Slider().max);
  EXPECT_EQ(app.ControlText(IDC_POSITION), ShownTime(header.dataSize, kStereoBytesPerSecond));
  EXPECT_EQ(EnabledButtons(app), "Rewind Forward Play Record");
  std::string why;
  EXPECT_TRUE(PlayedWithOnlySilenceAdded(ReadWholeFile(PlaybackFilePath()), payload,
                                         kStereo16Played, false, &why))
      << "the output device did not receive exactly the recorded data: " << why;
}

TEST_F(EngineE2E, StopByKeyDuringARecordingLeavesTheFileFinal) {
  const std::string path = folder.file("keyed.wav");
  ASSERT_EQ(StartWithNewStereoFile(app, path), "");

  ASSERT_TRUE(app.ClickButton(IDC_RECORD));
  ASSERT_TRUE(PollUntil(10000, [&] { return app.ControlText(IDC_LENGTH) >= "00:00.5"; }));
  ASSERT_TRUE(app.PressKey('S')) << app.LastError();
  ASSERT_TRUE(WaitUntilIdle(app, 5000));
  EXPECT_TRUE(app.NoMessageBoxWithin(200));
  EXPECT_EQ(EnabledButtons(app), "Rewind Forward Play Record");

  // Final as after a click: the sizes written, the data whole, the slider spanning it.
  const WaveHeader header = ReadWaveHeader(path);
  ASSERT_TRUE(header.Consistent());
  EXPECT_EQ(header.PayloadOnDisk(), header.dataSize);
  ASSERT_GT(header.dataSize, kStereoBytesPerSecond / 2);
  const auto bytes = ReadWholeFile(path);
  const std::vector<unsigned char> payload(bytes.begin() + header.dataOffset, bytes.end());
  EXPECT_EQ(CheckKnownSignal(payload), "");
  EXPECT_EQ(app.Slider().max, static_cast<int>(header.dataSize / 4));
}

}  // namespace
