// The real program, driven from outside, in the situations where a recording or a playback
// could be lost or garbled: closing the window mid-run, recording a shorter take over a longer
// one, dragging the slider during playback, the slider at the end of a 16-bit stereo file.
#include <windows.h>
#include <commctrl.h>
#include <mmsystem.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/buffer_pool.h"
#include "faults/fault_support.h"
#include "faults/wave_header.h"
#include "recorder_driver.h"
#include "resources/resource.h"
#include "support/playback_file.h"
#include "support/poll.h"
#include "support/random_bytes.h"
#include "support/test_support.h"
#include "support/wave_builder.h"

namespace {

using recorder_driver::MenuKind;
using recorder_driver::RecorderApp;

// Records until the position text has counted `tenths` of a second, then stops.
std::string Record(RecorderApp& app, int tenths) {
  if (!app.ClickButton(IDC_RECORD)) return "Record could not be pressed";
  const std::string text = ShownTime(tenths * (kStereoBytesPerSecond / 10), kStereoBytesPerSecond);
  if (!PollUntil(tenths * 100 + 10000, [&] { return app.ControlText(IDC_POSITION) >= text; }))
    return "the take did not grow";
  if (!app.ClickButton(IDC_STOP) || !WaitUntilIdle(app, 5000)) return "the take did not stop";
  if (!app.NoMessageBoxWithin(200)) return "a message box after the take";
  return {};
}

// The slider as it shows on screen matches `reference` (a screenshot) within a few seconds.
bool SliderLooksLike(const RecorderApp& app, const std::string& reference,
                     const std::string& scratch) {
  return PollUntil(3000, [&] {
    return app.Screenshot(scratch, app.SliderWindow()) &&
           ReadWholeFile(scratch) == ReadWholeFile(reference);
  });
}

// A 16-bit stereo 44,100 Hz PCM file of `seconds` of varying sound (no two nearby blocks
// alike), with the plain 44-byte header. Returns its payload.
Bytes WriteStereoFile(const std::string& path, DWORD seconds) {
  const Bytes payload = RandomBytes(static_cast<size_t>(seconds) * kStereoBytesPerSecond, 12345);
  const Bytes file = Riff("WAVE", {Chunk("fmt ", PcmFormat(2, 44100, 16)), Chunk("data", payload)});
  EXPECT_TRUE(WriteWholeFile(path, file));
  return payload;
}

// Starts the program with a 16-bit stereo file of `seconds` opened. The test devices play
// about four times faster than real time.
std::string StartWithStereoFile(RecorderApp& app, const std::string& path, DWORD seconds,
                                Bytes* payload) {
  *payload = WriteStereoFile(path, seconds);
  if (!app.Start()) return "start: " + app.LastError();
  return OpenThroughDialog(app, path);
}

class IntegrityE2E : public ProgramTest {};

// ---- Closing the window during a run (the shutdown finishes it) ----

struct CloseWay {
  const char* name;
  bool fileExit;  // File Exit rather than the close box
};

void PrintTo(const CloseWay& way, std::ostream* os) {
  *os << way.name;
}

class CloseDuringRecording : public ProgramTest, public ::testing::WithParamInterface<CloseWay> {};

TEST_P(CloseDuringRecording, TheFileHoldsTheSignalUpToTheCloseWithFinalSizes) {
  const std::string path = folder.file("take.wav");
  ASSERT_EQ(StartWithNewStereoFile(app, path), "");
  ASSERT_TRUE(app.ClickButton(IDC_RECORD));
  ASSERT_TRUE(
      PollUntil(10000, [&] { return ShownBytes(app).value_or(0) > 1.5 * kStereoBytesPerSecond; }));
  if (GetParam().fileExit)
    ASSERT_TRUE(app.ChooseMenuItem(IDM_EXIT, MenuKind::File));
  else
    app.Close();
  EXPECT_EQ(app.WaitForExit(), 0u);

  const WaveHeader header = ReadWaveHeader(path);
  ASSERT_TRUE(header.Consistent());
  EXPECT_EQ(header.PayloadOnDisk(), header.dataSize);
  EXPECT_GT(header.dataSize, 1.5 * kStereoBytesPerSecond);
  EXPECT_EQ(CheckKnownSignal(ReadFileRange(path, header.dataOffset, header.dataSize)), "");
}

INSTANTIATE_TEST_SUITE_P(Ways, CloseDuringRecording,
                         ::testing::Values(CloseWay{"CloseBox", false}, CloseWay{"FileExit", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(IntegrityE2E, ClosingDuringPlaybackReleasesTheDeviceAndExitsWithZero) {
  const std::string path = folder.file("long.wav");
  Bytes payload;
  ASSERT_EQ(StartWithStereoFile(app, path, 40, &payload), "");
  ASSERT_TRUE(app.ClickButton(IDC_PLAY));
  ASSERT_TRUE(PollUntil(5000, [&] { return app.Slider().pos > 0; }));
  app.Close();
  EXPECT_EQ(app.WaitForExit(), 0u);
  // The device was closed: what it played is complete, and it is the file's start.
  const Bytes played = ReadWholeFile(PlaybackFilePath());
  EXPECT_GT(played.size(), 0u);
  EXPECT_LT(played.size(), payload.size());
  std::string why;
  EXPECT_TRUE(PlayedWithOnlySilenceAdded(played, payload, kStereo16Played, true, &why)) << why;
}

// ---- Recording over a longer take ----

TEST_F(IntegrityE2E, AShorterTakeOverALongerOneKeepsTheRestAndTheWindowAgrees) {
  const std::string path = folder.file("take.wav");
  ASSERT_EQ(StartWithNewStereoFile(app, path), "");
  std::string taken = Record(app, 30);
  ASSERT_TRUE(taken.empty()) << taken;
  const WaveHeader first = ReadWaveHeader(path);
  ASSERT_TRUE(first.Consistent());
  const Bytes firstPayload = ReadFileRange(path, first.dataOffset, first.dataSize);

  ASSERT_TRUE(app.ClickButton(IDC_REWIND));
  taken = Record(app, 12);
  ASSERT_TRUE(taken.empty()) << taken;

  const WaveHeader second = ReadWaveHeader(path);
  ASSERT_TRUE(second.Consistent());
  EXPECT_EQ(second.dataSize, first.dataSize);  // nothing of the first take is cut off
  // The window shows what the file declares (to the text's 0.1 KB).
  const auto shown = ShownBytes(app);
  ASSERT_TRUE(shown.has_value());
  EXPECT_NEAR(*shown, second.dataSize, 52.0);
  EXPECT_EQ(app.Slider().max, static_cast<int>(second.dataSize / 4));
  // The tail of the first take is still there, after the second take.
  const Bytes now = ReadFileRange(path, second.dataOffset, second.dataSize);
  ASSERT_EQ(now.size(), firstPayload.size());
  const size_t tail = firstPayload.size() - firstPayload.size() / 2;
  EXPECT_TRUE(std::equal(now.end() - tail, now.end(), firstPayload.end() - tail));
}

// ---- The slider during playback and at its end ----

// While the user holds the slider during playback the ticks leave it and the position text
// alone; letting go continues playback from the block under it.
TEST_F(IntegrityE2E, DraggingTheSliderDuringPlaybackContinuesFromTheBlockLetGo) {
  const std::string path = folder.file("long.wav");
  Bytes payload;
  ASSERT_EQ(StartWithStereoFile(app, path, 40, &payload), "");
  const int max = app.Slider().max;
  ASSERT_EQ(max, static_cast<int>(payload.size() / 4));

  ASSERT_TRUE(app.ClickButton(IDC_PLAY));
  ASSERT_TRUE(PollUntil(5000, [&] { return app.Slider().pos > 0; }));
  ASSERT_LT(app.Slider().pos, max / 3);
  const HWND slider = app.SliderWindow();
  const auto handle = reinterpret_cast<LPARAM>(slider);
  const int target = max / 2;
  SendMessageA(slider, TBM_SETPOS, TRUE, target);
  app.PostToMain(WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, target), handle);
  const std::string held = app.ControlText(IDC_POSITION);
  // Three ticks of the play timer pass without moving the slider or the text.
  EXPECT_FALSE(PollUntil(
      800, [&] { return app.Slider().pos != target || app.ControlText(IDC_POSITION) != held; }));
  EXPECT_TRUE(app.IsControlEnabled(IDC_STOP));  // still playing
  app.PostToMain(WM_HSCROLL, TB_ENDTRACK, handle);
  ASSERT_TRUE(WaitUntilIdle(app, 20000));
  EXPECT_TRUE(app.NoMessageBoxWithin(200));

  // What was played: the recording's start up to some point, then everything from the block
  // let go to the end, with nothing missing.
  const Bytes played = ReadWholeFile(PlaybackFilePath());
  const size_t from = static_cast<size_t>(target) * 4;
  size_t before = 0;
  std::string why;
  EXPECT_TRUE(PlayedAStartThenFrom(played, payload, from, kStereo16Played, &before, &why))
      << "playback did not continue from the block under the slider: " << why;
  EXPECT_LT(before, from);
}

// A voice memo at 8-bit mono 8,000 Hz, 24 s: three full buffers. The last chunk is read when
// the second buffer comes back, 16 s in, so from there on the last buffer plays with nothing
// left to read. Moving the slider back then plays on from the block let go, to the end.
TEST_F(IntegrityE2E, MovingTheSliderBackDuringTheLastBufferPlaysOnFromTheBlockLetGo) {
  const std::string path = folder.file("memo.wav");
  Bytes payload = RandomBytes(24 * 8000, 4321);
  for (auto& byte : payload) byte |= 1;  // odd bytes only: never the silent 0x80
  ASSERT_TRUE(WriteWholeFile(
      path, Riff("WAVE", {Chunk("fmt ", PcmFormat(1, 8000, 8)), Chunk("data", payload)})));
  ASSERT_TRUE(app.Start()) << app.LastError();
  ASSERT_EQ(OpenThroughDialog(app, path), "");
  ASSERT_EQ(app.Slider().max, static_cast<int>(payload.size()));

  ASSERT_TRUE(app.ClickButton(IDC_PLAY));
  ASSERT_TRUE(PollUntil(
      60000, [&] { return app.Slider().pos > 2 * static_cast<int>(BufferCapacity) + 2000; }));
  ASSERT_TRUE(app.IsControlEnabled(IDC_STOP)) << "playback ended before the slider moved";
  const HWND slider = app.SliderWindow();
  const auto handle = reinterpret_cast<LPARAM>(slider);
  const int target = 2 * 8000;
  SendMessageA(slider, TBM_SETPOS, TRUE, target);
  app.PostToMain(WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, target), handle);
  app.PostToMain(WM_HSCROLL, TB_ENDTRACK, handle);
  ASSERT_TRUE(WaitUntilIdle(app, 60000));
  EXPECT_TRUE(app.NoMessageBoxWithin(200));
  EXPECT_EQ(app.Slider().pos, app.Slider().max);

  WaitForPlayedFile();
  const Bytes played = ReadWholeFile(PlaybackFilePath());
  size_t before = 0;
  std::string why;
  EXPECT_TRUE(
      PlayedAStartThenFrom(played, payload, target, PlayedFormatOf(1, 8000, 8), &before, &why))
      << "playback did not go on from the block let go (" << played.size()
      << " bytes played): " << why;
  EXPECT_GT(before, size_t{2} * BufferCapacity);  // the first piece reached into the last buffer
  // Both buffers play on after the move: no silence where a buffer of the moved run begins
  // (the device waiting for the one buffer left in play).
  SilenceSeen seen;
  const Bytes moved(payload.begin() + target, payload.end());
  MatchWithSilence(Bytes(played.begin() + before, played.end()), moved, 1, 0x80, false, seen);
  for (size_t k = 0; k < seen.at.size(); ++k)
    EXPECT_TRUE(seen.at[k] == 0 || seen.at[k] % BufferCapacity != 0)
        << "a gap where a buffer began, " << seen.at[k] << " bytes after the block let go";
}

// Data that is not whole blocks (16-bit stereo, 4·N+2 bytes): Forward puts the slider at the
// last whole block, and Play there plays the whole file from its start.
TEST_F(IntegrityE2E, PlayWithTheSliderAtTheEndOfDataNotWholeBlocksPlaysFromTheStart) {
  const std::string path = folder.file("odd.wav");
  Bytes payload = Samples(2 * kStereoBytesPerSecond + 2, 0x21);
  ASSERT_TRUE(WriteWholeFile(
      path, Riff("WAVE", {Chunk("fmt ", PcmFormat(2, 44100, 16)), Chunk("data", payload)})));
  ASSERT_TRUE(app.Start()) << app.LastError();
  ASSERT_EQ(OpenThroughDialog(app, path), "");
  ASSERT_TRUE(app.ClickButton(IDC_FORWARD));
  ASSERT_EQ(app.Slider().pos, app.Slider().max);

  ASSERT_TRUE(app.ClickButton(IDC_PLAY));
  ASSERT_TRUE(WaitUntilIdle(app, 20000));
  EXPECT_TRUE(app.NoMessageBoxWithin(200));
  WaitForPlayedFile();
  Bytes played = ReadWholeFile(PlaybackFilePath());
  played.resize(played.size() - played.size() % 4);  // the device plays whole frames only
  const Bytes whole(payload.begin(), payload.end() - 2);
  std::string why;
  EXPECT_TRUE(PlayedWithOnlySilenceAdded(played, whole, kStereo16Played, false, &why))
      << "Play at the end did not start from the beginning (" << played.size()
      << " bytes played): " << why;
}

// Forward on a 16-bit stereo file: the slider stands at its maximum and its thumb is drawn
// there, exactly as when the slider itself is moved to its end.
TEST_F(IntegrityE2E, ForwardDrawsTheThumbAtTheEndOfASixteenBitStereoFile) {
  const std::string path = folder.file("short.wav");
  Bytes payload;
  ASSERT_EQ(StartWithStereoFile(app, path, 2, &payload), "");
  const HWND slider = app.SliderWindow();
  const int max = app.Slider().max;
  ASSERT_GT(max, 0);

  // The reference: the slider moved to its end, and away from it, as drawn.
  const std::string atEnd = folder.file("end.bmp");
  const std::string atStart = folder.file("start.bmp");
  const std::string scratch = folder.file("now.bmp");
  ASSERT_TRUE(app.ClickButton(IDC_REWIND));
  ASSERT_TRUE(app.Sync() && app.Screenshot(atStart, slider));
  ASSERT_TRUE(app.MoveSlider(max));
  ASSERT_TRUE(PollUntil(3000, [&] {
    return app.Screenshot(atEnd, slider) && ReadWholeFile(atEnd) != ReadWholeFile(atStart);
  }));
  ASSERT_TRUE(app.Sync() && app.Screenshot(atEnd, slider));

  ASSERT_TRUE(app.ClickButton(IDC_REWIND));
  ASSERT_TRUE(SliderLooksLike(app, atStart, scratch));
  ASSERT_TRUE(app.ClickButton(IDC_FORWARD));
  EXPECT_EQ(app.Slider().pos, max);
  EXPECT_TRUE(SliderLooksLike(app, atEnd, scratch))
      << "the thumb after Forward is not drawn where it is at the slider's end";

  // The end of playback leaves it there too.
  ASSERT_TRUE(app.ClickButton(IDC_PLAY));
  ASSERT_TRUE(WaitUntilIdle(app, 20000));
  EXPECT_EQ(app.Slider().pos, max);
  EXPECT_TRUE(SliderLooksLike(app, atEnd, scratch))
      << "the thumb after playback is not drawn where it is at the slider's end";
}

}  // namespace
