// The player against the fake output device: the exact bytes that reach it, the window at
// the end, repositioning, pausing, short files and every failure.
#include <windows.h>
#include <commctrl.h>

#include <string>

#include <gmock/gmock.h>

#include "state/context.h"
#include "app/main_dialog.h"
#include "engine/buffer_pool.h"
#include "engine/engine_fixture.h"
#include "engine/player.h"
#include "resources/resource.h"
#include "support/engine_released.h"
#include "support/fake_wave_device.h"
#include "support/slider_probe.h"
#include "wave/format.h"

namespace {

using ::testing::ElementsAre;

std::vector<unsigned char> Slice(const std::vector<unsigned char>& data, size_t from,
                                 size_t to = ~size_t{0}) {
  to = std::min(to, data.size());
  return {data.begin() + from, data.begin() + to};
}

bool EndsWith(const std::vector<unsigned char>& all, const std::vector<unsigned char>& tail) {
  return all.size() >= tail.size() && std::equal(tail.begin(), tail.end(), all.end() - tail.size());
}

class PlayerTest : public EngineTest {
 protected:
  FakeWaveDevice out_{FakeWaveDevice::Kind::Out, 4000};
  FakeWaveBinding binding_{nullptr, &out_};

  // Plays to the end; true when the run ended by itself.
  bool PlayToEnd() {
    if (StartPlayback(window_) != 0) return false;
    return PumpUntil([&] { return EngineReleased(&out_); });
  }
  // The shell's Stop command while playing.
  void PressStop() { DispatchCommand(window_, IDC_STOP); }
  void SetUp() override {
    EngineTest::SetUp();
    NoteSliderSetPos(g_controls.slider);
  }
  void ExpectIdleAtTheEnd(DWORD dataSize) {
    EXPECT_TRUE(EngineReleased(&out_));
    EXPECT_EQ(SliderPos(), SliderMax());
    EXPECT_EQ(g_lastSetPos, SliderMax());  // the block position, never a byte count
    EXPECT_EQ(Text(IDC_POSITION), ShownTime(dataSize));
    EXPECT_TRUE(Enabled(IDC_PLAY) && Enabled(IDC_RECORD) && Enabled(IDC_REWIND));
    EXPECT_FALSE(Enabled(IDC_STOP));
    EXPECT_TRUE(Boxes().empty());
    EXPECT_TRUE(out_.Misuse().empty());
  }
  // A paced device never waited for a buffer while data remained.
  void ExpectNoGap() { EXPECT_EQ(out_.RanDry(), 0) << "the device ran out of buffers mid-run"; }
};

TEST_F(PlayerTest, SendsExactlyTheDataFromTheSliderToTheEndWithAShorterLastBuffer) {
  SetPcm(2, 44100, 16);
  const auto data = Pattern(3 * 64000 + 1000);
  UseWaveFile(folder_->file("a.wav"), data);
  SetSlider(1000);
  g_context.sliderDragging = true;  // left over from an earlier drag
  DispatchCommand(window_, IDC_PLAY);
  EXPECT_FALSE(g_context.sliderDragging);
  ASSERT_EQ(g_context.state, RecorderState::Playing);
  EXPECT_TRUE(Enabled(IDC_STOP) && IsWindowEnabled(g_controls.slider));
  EXPECT_FALSE(Enabled(IDC_PLAY) || Enabled(IDC_RECORD));
  ASSERT_TRUE(PumpUntil([&] { return EngineReleased(&out_); }));

  EXPECT_TRUE(out_.Played() == Slice(data, 4000));
  EXPECT_THAT(out_.WrittenLengths(), ElementsAre(64000, 64000, 61000));
  ExpectIdleAtTheEnd(static_cast<DWORD>(data.size()));
  ExpectNoGap();
}

TEST_F(PlayerTest, SliderAtTheEndStartsFromTheBeginning) {
  const auto data = Pattern(100000);
  UseWaveFile(folder_->file("a.wav"), data);
  SetSlider(SliderMax());
  ASSERT_TRUE(PlayToEnd());
  EXPECT_TRUE(out_.Played() == data);
  ExpectIdleAtTheEnd(100000);
  ExpectNoGap();
}

// Data that is not whole blocks: the slider's maximum is the last whole block, which is where
// the end of playback and Forward leave it. That is the end too: Play starts from the
// beginning rather than play the fraction of a block past it.
TEST_F(PlayerTest, SliderAtTheLastBlockOfDataNotWholeBlocksStartsFromTheBeginning) {
  SetPcm(2, 44100, 16);
  const auto data = Pattern(10002);
  UseWaveFile(folder_->file("a.wav"), data);
  SetSlider(SliderMax());
  ASSERT_TRUE(PlayToEnd());
  EXPECT_TRUE(out_.Played() == data);
  EXPECT_THAT(out_.WrittenLengths(), ElementsAre(10002));
}

TEST_F(PlayerTest, DataShorterThanOneChunkGoesOutAsOneBuffer) {
  const auto data = Pattern(5000);
  UseWaveFile(folder_->file("a.wav"), data);
  ASSERT_TRUE(PlayToEnd());
  EXPECT_TRUE(out_.Played() == data);
  EXPECT_THAT(out_.WrittenLengths(), ElementsAre(5000));
  ExpectIdleAtTheEnd(5000);
}

TEST_F(PlayerTest, FileShorterThanItsHeaderEndsWithWhatIsThere) {
  const auto data = Pattern(100000);
  UseWaveFile(folder_->file("a.wav"), data, 200000);
  ASSERT_TRUE(PlayToEnd());
  EXPECT_TRUE(out_.Played() == data);
  EXPECT_THAT(out_.WrittenLengths(), ElementsAre(64000, 36000));  // no empty buffers
  EXPECT_EQ(Text(IDC_POSITION), ShownTime(100000));
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(PlayerTest, SeekDuringPlaybackContinuesFromTheNewBlock) {
  out_.SetRate(500);
  SetPcm(2, 44100, 16);
  const auto data = Pattern(10 * 64000);
  UseWaveFile(folder_->file("a.wav"), data);
  ASSERT_EQ(StartPlayback(window_), 0);
  ASSERT_TRUE(PumpUntil([&] { return out_.Played().size() >= 20000; }));
  SeekPlayback(window_, 400000);
  PumpFor(300);
  EXPECT_GE(SliderPos(), 100000);  // the next ticks count on from the new place
  out_.SetRate(0);
  ASSERT_TRUE(PumpUntil([&] { return EngineReleased(&out_); }));

  const auto played = out_.Played();
  ASSERT_GT(played.size(), 240000u);
  EXPECT_TRUE(EndsWith(played, Slice(data, 400000)));
  EXPECT_TRUE(std::equal(played.begin(), played.end() - 240000, data.begin()));
  ExpectIdleAtTheEnd(640000);
}

// The last chunk has been read and the last buffer plays: a move back plays on from there.
TEST_F(PlayerTest, SeekAfterTheLastReadPlaysOnFromTheNewPlace) {
  out_.SetRate(50);
  const auto data = Pattern(100000);
  UseWaveFile(folder_->file("a.wav"), data);
  ASSERT_EQ(StartPlayback(window_), 0);
  ASSERT_TRUE(PumpUntil([&] { return !g_context.morePlayData; }));
  SeekPlayback(window_, 10000);
  out_.SetRate(0);
  ASSERT_TRUE(PumpUntil([&] { return EngineReleased(&out_); }));
  EXPECT_TRUE(EndsWith(out_.Played(), Slice(data, 10000)));
  ExpectIdleAtTheEnd(100000);
  ExpectNoGap();  // the buffer that found the end plays again too
}

// A device slow to hand its buffers back after the reset of a reposition: once they are
// back, the run's end unprepares them as usual; nothing is set aside for good.
TEST_F(PlayerTest, BuffersReturnedLateAfterASeekAreReleasedAtTheEnd) {
  out_.SetRate(100);
  const auto data = Pattern(300000);
  UseWaveFile(folder_->file("a.wav"), data);
  WAVEHDR* const headers[2] = {g_pool.headers[0], g_pool.headers[1]};
  ASSERT_EQ(StartPlayback(window_), 0);
  ASSERT_TRUE(PumpUntil([&] { return !out_.Played().empty(); }));
  out_.keepBuffersOnReset = true;
  SeekPlayback(window_, 100000);  // waits for the buffers in vain
  out_.keepBuffersOnReset = false;
  out_.SetRate(0);
  out_.Resume();
  ASSERT_TRUE(PumpUntil([&] { return EngineReleased(&out_); }));
  EXPECT_TRUE(EndsWith(out_.Played(), Slice(data, 100000)));
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(g_pool.headers[i], headers[i]) << "buffers set aside after they came back";
    EXPECT_FALSE(g_pool.headers[i]->dwFlags & WHDR_PREPARED);
  }
  EXPECT_TRUE(Boxes().empty());
  EXPECT_TRUE(out_.Misuse().empty());
}

// A reset the device refuses returns nothing: the reposition does not wait for buffers that
// come back only as they are played, and playback reads on from the new place.
TEST_F(PlayerTest, ARefusedResetDuringASeekDoesNotStallTheWindow) {
  out_.SetRate(10);
  const auto data = Pattern(10 * 64000);
  UseWaveFile(folder_->file("a.wav"), data);
  ASSERT_EQ(StartPlayback(window_), 0);
  ASSERT_TRUE(PumpUntil([&] { return !out_.Played().empty(); }));
  out_.fail.reset = MMSYSERR_ERROR;
  out_.failedResetDoesNothing = true;
  const size_t before = out_.Played().size();
  SeekPlayback(window_, 400000);
  // A wait for the buffers would last while the device plays them at 10 bytes a millisecond.
  EXPECT_LT(out_.Played().size() - before, 10000u) << "the reposition waited for the device";
  out_.fail.reset = 0;
  out_.SetRate(0);
  ASSERT_TRUE(PumpUntil([&] { return EngineReleased(&out_); }));
  EXPECT_TRUE(EndsWith(out_.Played(), Slice(data, 400000)));
  EXPECT_TRUE(out_.Misuse().empty());
}

// Data that is not whole blocks: the short last buffer is already queued when the slider
// moves playback back. Every later buffer is whole blocks again (a buffer that kept the short
// length would move every later read off the block boundary: noise for 16-bit stereo).
TEST_F(PlayerTest, SeekAfterTheShortenedLastChunkGoesBackToWholeBlocks) {
  out_.SetRate(100);
  SetPcm(2, 44100, 16);
  const auto data = Pattern(100002);
  UseWaveFile(folder_->file("a.wav"), data);
  ASSERT_EQ(StartPlayback(window_), 0);  // the second buffer already carries the last 36002
  SeekPlayback(window_, 0);
  out_.SetRate(0);
  ASSERT_TRUE(PumpUntil([&] { return EngineReleased(&out_); }));
  EXPECT_TRUE(EndsWith(out_.Played(), data));
  EXPECT_THAT(out_.WrittenLengths(), ElementsAre(64000, 36002, 64000, 36002));
}

// A buffer that completes just as the reset of a reposition begins is refilled only after the
// reset: the sound right after the new place is heard, none of it handed back unplayed.
TEST_F(PlayerTest, SeekLosesNothingWhenABufferCompletesInsideTheReset) {
  out_.SetRate(500);
  const auto data = Pattern(10 * 64000);
  UseWaveFile(folder_->file("a.wav"), data);
  out_.completeFrontInReset = true;
  ASSERT_EQ(StartPlayback(window_), 0);
  ASSERT_TRUE(PumpUntil([&] { return out_.Played().size() >= 20000; }));
  SeekPlayback(window_, 400000);
  out_.SetRate(0);
  ASSERT_TRUE(PumpUntil([&] { return EngineReleased(&out_); }));
  const auto played = out_.Played();
  EXPECT_TRUE(EndsWith(played, Slice(data, 400000)));
  // Before the new place: the first buffer played to its end by the reset, and nothing more.
  EXPECT_EQ(played.size(), 64000 + (data.size() - 400000));
  EXPECT_TRUE(std::equal(played.begin(), played.begin() + 64000, data.begin()));
  ExpectIdleAtTheEnd(static_cast<DWORD>(data.size()));
}

TEST_F(PlayerTest, StopActsAsPauseAndPlayResumesFromTheSlider) {
  out_.SetRate(200);
  const auto data = Pattern(200000);
  UseWaveFile(folder_->file("a.wav"), data);
  ASSERT_EQ(StartPlayback(window_), 0);
  ASSERT_TRUE(PumpUntil([&] { return SliderPos() > 10000; }));
  PressStop();
  const std::string text = Text(IDC_POSITION);
  const LRESULT slider = SliderPos();
  EXPECT_TRUE(EngineReleased(&out_));
  PumpFor(300);
  EXPECT_EQ(Text(IDC_POSITION), text);
  EXPECT_EQ(SliderPos(), slider);
  EXPECT_EQ(text, ShownTime(static_cast<DWORD>(slider)));

  const size_t before = out_.Played().size();
  out_.SetRate(0);
  ASSERT_TRUE(PlayToEnd());
  const auto played = out_.Played();
  EXPECT_TRUE(std::equal(played.begin() + before, played.end(), data.begin() + slider, data.end()));
  EXPECT_EQ(played.size() - before, data.size() - slider);
}

// A refused reset returns nothing, but the buffers still come back as they are played: Stop
// waits for them and closes the device as usual.
TEST_F(PlayerTest, StopAfterARefusedResetClosesTheDevice) {
  out_.SetRate(200);
  UseWaveFile(folder_->file("a.wav"), Pattern(300000));
  ASSERT_EQ(StartPlayback(window_), 0);
  ASSERT_TRUE(PumpUntil([&] { return !out_.Played().empty(); }));
  out_.fail.reset = MMSYSERR_ERROR;
  out_.failedResetDoesNothing = true;
  PressStop();
  EXPECT_TRUE(Boxes().empty());
  EXPECT_TRUE(EngineReleased(&out_));
  EXPECT_TRUE(out_.Misuse().empty());
}

TEST_F(PlayerTest, ATickThatCannotReadThePositionLeavesSliderAndTextAlone) {
  out_.SetRate(200);
  UseWaveFile(folder_->file("a.wav"), Pattern(200000));
  ASSERT_EQ(StartPlayback(window_), 0);
  ASSERT_TRUE(PumpUntil([&] { return SliderPos() > 10000; }));
  out_.fail.position = MMSYSERR_ERROR;
  const std::string text = Text(IDC_POSITION);
  const LRESULT slider = SliderPos();
  for (int tick = 0; tick < 3; ++tick) HandleTimer(window_, IDT_PLAY);
  EXPECT_EQ(Text(IDC_POSITION), text);
  EXPECT_EQ(SliderPos(), slider);
  PressStop();
  EXPECT_TRUE(EngineReleased(&out_));
}

// A device that keeps its buffers after the reset may still read them: they are never
// prepared for another device or handed to one again.
TEST_F(PlayerTest, BuffersADeviceKeptAfterTheStopAreNeverUsedAgain) {
  out_.SetRate(100);
  const auto data = Pattern(300000);
  UseWaveFile(folder_->file("a.wav"), data);
  ASSERT_EQ(StartPlayback(window_), 0);
  ASSERT_TRUE(PumpUntil([&] { return !out_.Played().empty(); }));
  out_.keepBuffersOnReset = true;
  WAVEHDR* const kept[2] = {g_pool.headers[0], g_pool.headers[1]};
  PressStop();
  EXPECT_FALSE(g_context.deviceOpen);
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j) EXPECT_NE(g_pool.headers[i], kept[j]);
  for (const std::string& misuse : out_.Misuse()) EXPECT_NE(misuse, "unprepared while queued");

  FakeWaveDevice other(FakeWaveDevice::Kind::Out, 0);
  FakeWaveBinding rebind(nullptr, &other);
  // A Play that fails early releases the fresh buffers as usual: the kept run's count is gone.
  WAVEHDR* const fresh[2] = {g_pool.headers[0], g_pool.headers[1]};
  other.fail.prepare[1] = MMSYSERR_NOMEM;
  EXPECT_EQ(StartPlayback(window_), -2);
  other.fail.prepare[1] = 0;
  for (int i = 0; i < 2; ++i) EXPECT_EQ(g_pool.headers[i], fresh[i]) << "a fresh pool set aside";
  EXPECT_FALSE(fresh[0]->dwFlags & WHDR_PREPARED);
  boxes_->clear();
  ASSERT_EQ(StartPlayback(window_), 0);
  ASSERT_TRUE(PumpUntil([&] { return !g_context.deviceOpen; }));
  EXPECT_TRUE(Boxes().empty());
  EXPECT_TRUE(other.Misuse().empty());
}

// Failure rows: message, caption, result and what each leaves; Play works again afterwards.

TEST_F(PlayerTest, PlaysTheLoadedFileAfterAFailedOpenNamedAnother) {
  const auto data = Pattern(5000);
  UseWaveFile(folder_->file("loaded.wav"), data);
  lstrcpyA(g_context.filePath, folder_->file("picked but not opened.wav").c_str());
  ASSERT_TRUE(PlayToEnd());
  EXPECT_TRUE(out_.Played() == data);
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(PlayerTest, PlayWhileADeviceIsOpenDoesNothing) {
  UseWaveFile(folder_->file("a.wav"), Pattern(1000));
  g_context.deviceOpen = true;
  EXPECT_EQ(StartPlayback(window_), -1);
  EXPECT_EQ(out_.Opens(), 0);
  EXPECT_TRUE(Boxes().empty());
  g_context.deviceOpen = false;
}

TEST_F(PlayerTest, DeviceThatDoesNotOpen) {
  UseWaveFile(folder_->file("a.wav"), Pattern(1000));
  SetSlider(SliderMax());
  out_.fail.open = MMSYSERR_ALLOCATED;
  EXPECT_EQ(StartPlayback(window_), -1);
  EXPECT_THAT(Boxes(), ElementsAre("Error|Error opening wave out device."));
  EXPECT_EQ(SliderPos(), 0);  // the rewind stays done
  EXPECT_TRUE(EngineReleased(&out_));
}

TEST_F(PlayerTest, HeaderThatCannotBePrepared) {
  const auto data = Pattern(1000);
  UseWaveFile(folder_->file("a.wav"), data);
  for (int which = 0; which < 2; ++which) {
    SCOPED_TRACE(which);
    boxes_->clear();
    out_.fail.prepare[which] = MMSYSERR_NOMEM;
    EXPECT_EQ(StartPlayback(window_), -2);
    EXPECT_THAT(Boxes(), ElementsAre("Error|Error preparing header for playing."));
    if (which == 0) {
      EXPECT_FALSE(g_pool.headers[1]->dwFlags & WHDR_PREPARED);
    }
    EXPECT_TRUE(EngineReleased(&out_));
    out_.fail.prepare[which] = 0;
  }
  ASSERT_TRUE(PlayToEnd());
  EXPECT_TRUE(out_.Played() == data);
}

TEST_F(PlayerTest, VanishedFileIsToldAndPlayWorksAgain) {
  const auto data = Pattern(1000);
  const std::string path = folder_->file("a.wav");
  UseWaveFile(path, data);
  const auto bytes = ReadWholeFile(path);
  ASSERT_TRUE(DeleteFileA(path.c_str()));
  EXPECT_EQ(StartPlayback(window_), -1);
  EXPECT_THAT(Boxes(), ElementsAre("Error|Open for read failed."));
  EXPECT_TRUE(EngineReleased(&out_));
  EXPECT_TRUE(out_.Misuse().empty());
  boxes_->clear();
  ASSERT_TRUE(WriteWholeFile(path, bytes));
  ASSERT_TRUE(PlayToEnd());
  EXPECT_TRUE(out_.Played() == data);
}

TEST_F(PlayerTest, RefusedBuffersStopTheRun) {
  const auto data = Pattern(300000);
  UseWaveFile(folder_->file("a.wav"), data);
  out_.fail.refuseQueueNumber = 1;
  EXPECT_EQ(StartPlayback(window_), -4);
  EXPECT_THAT(Boxes(), ElementsAre("Error|Error writing wave buffer."));
  EXPECT_TRUE(EngineReleased(&out_));

  // Refused when the callback hands a buffer back: the window's thread stops the run.
  boxes_->clear();
  out_.fail.refuseQueueNumber = 4;
  ASSERT_EQ(StartPlayback(window_), 0);
  ASSERT_TRUE(PumpUntil([&] { return !Boxes().empty(); }));
  PumpFor(50);
  EXPECT_THAT(Boxes(), ElementsAre("Error|Error writing wave buffer."));
  EXPECT_TRUE(EngineReleased(&out_));
  EXPECT_TRUE(out_.Misuse().empty());
  boxes_->clear();
  ASSERT_TRUE(PlayToEnd());
}

TEST_F(PlayerTest, ReleaseFailuresAreToldAndTheDeviceCountsAsClosed) {
  UseWaveFile(folder_->file("a.wav"), Pattern(1000));
  out_.fail.unprepare[0] = MMSYSERR_ERROR;
  out_.fail.close = MMSYSERR_ERROR;
  ASSERT_EQ(StartPlayback(window_), 0);
  ASSERT_TRUE(PumpUntil([&] { return !g_context.deviceOpen; }));
  EXPECT_THAT(Boxes(), ElementsAre("Error|Error unpreparing play header.",
                                   "Error|Error closing wave playback device."));
  EXPECT_EQ(boxes_->boxes()[0].owner, window_);
  EXPECT_EQ(boxes_->boxes()[1].owner, nullptr);
  EXPECT_EQ(g_context.state, RecorderState::Idle);
  out_.fail.close = 0;
  out_.Close();
}

}  // namespace
