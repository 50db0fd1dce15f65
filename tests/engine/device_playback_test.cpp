// Playback through Wine's real wave-output device (profile "file": the device writes every
// byte it plays to RECORDER_PLAYBACK_FILE): exactly the data from the slider to the end, also
// after Stop. A reposition through the real device is checked on the real program
// (integrity_e2e_test.cpp).
#include <windows.h>

#include <string>

#include "state/context.h"
#include "app/main_dialog.h"
#include "engine/engine_fixture.h"
#include "engine/player.h"
#include "resources/resource.h"
#include "support/engine_released.h"
#include "support/playback_file.h"
#include "wave/format.h"

namespace {

class DevicePlaybackTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    played_ = PlaybackFilePath();
    ASSERT_FALSE(played_.empty()) << "RECORDER_PLAYBACK_FILE is not set";
  }
  // The device writes its file until it is closed.
  std::vector<unsigned char> Played() const { return ReadWholeFile(played_); }
  std::string played_;
};

std::vector<unsigned char> From(const std::vector<unsigned char>& data, size_t at) {
  return {data.begin() + at, data.end()};
}

TEST_F(DevicePlaybackTest, PlaysExactlyTheDataFromTheSlidersPosition) {
  struct Case {
    WORD channels;
    DWORD rate;
    WORD bits;
  };
  for (const Case c : {Case{1, 11025, 8}, Case{2, 44100, 16}}) {
    SCOPED_TRACE(c.bits);
    SetPcm(c.channels, c.rate, c.bits);
    const auto data = Pattern(3 * 64000 + 4444, c.bits);
    UseWaveFile(folder_->file(c.bits == 8 ? "a.wav" : "b.wav"), data);
    const LRESULT block = 1234;
    SetSlider(block);
    ASSERT_EQ(StartPlayback(window_), 0);
    ASSERT_TRUE(PumpUntil([&] { return EngineReleased(); }, 30000));
    std::string why;
    EXPECT_TRUE(PlayedWithOnlySilenceAdded(Played(), From(data, block * CurrentFormat->nBlockAlign),
                                           PlayedFormatOf(*CurrentFormat), false, &why))
        << why;
    EXPECT_EQ(SliderPos(), SliderMax());
    EXPECT_EQ(Text(IDC_POSITION), ShownTime(static_cast<DWORD>(data.size())));
    EXPECT_TRUE(Boxes().empty());
  }
}

TEST_F(DevicePlaybackTest, StopPausesAndPlayResumesFromTheSlider) {
  SetPcm(2, 44100, 16);
  const auto data = Pattern(40 * 64000);
  UseWaveFile(folder_->file("a.wav"), data);
  ASSERT_EQ(StartPlayback(window_), 0);
  ASSERT_TRUE(PumpUntil([&] { return SliderPos() > 50000; }, 30000));
  DispatchCommand(window_, IDC_STOP);
  EXPECT_TRUE(EngineReleased());
  const LRESULT slider = SliderPos();
  EXPECT_EQ(Text(IDC_POSITION), ShownTime(static_cast<DWORD>(slider * 4)));

  ASSERT_EQ(StartPlayback(window_), 0);
  ASSERT_TRUE(PumpUntil([&] { return EngineReleased(); }, 60000));
  std::string why;
  EXPECT_TRUE(
      PlayedWithOnlySilenceAdded(Played(), From(data, slider * 4), kStereo16Played, false, &why))
      << why;
  EXPECT_TRUE(Boxes().empty());
}

}  // namespace
