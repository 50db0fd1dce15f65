// Files in compressed formats, written by sox, played through the converting output device:
// what reaches the playback device is the sound sox itself decodes from them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ostream>
#include <string>

#include "convert_support.h"
#include "platform/wave_devices.h"
#include "support/playback_file.h"
#include "support/test_support.h"

namespace {

std::string Fixture(const std::string& name) {
  return WindowsPathOfUnix(std::string(SOX_FIXTURE_DIR) + "/" + name);
}

// Samples (of all channels) in one block of `format`: what a decoder may add or leave out at
// the end, where sox keeps to the file's sample count and the device plays whole blocks. The
// block-coded formats say how many samples a block holds in their first extra field; the
// others code one sample per channel in a block.
size_t BlockSamples(const WAVEFORMATEX* format) {
  const WORD perChannel =
      format->cbSize >= sizeof(WORD) ? *reinterpret_cast<const WORD*>(format + 1) : WORD{1};
  return static_cast<size_t>(format->nChannels) * std::max<WORD>(perChannel, 1);
}

// Samples in runs of zeros of at least a period of the output device (Wine's is 10 ms): the
// silence Wine's output writes when its buffer ran dry, which reaches the played-bytes file.
size_t InsertedSilence(const std::vector<int16_t>& played, const WAVEFORMATEX* format) {
  const size_t period = static_cast<size_t>(format->nSamplesPerSec / 100) * format->nChannels;
  size_t total = 0, run = 0;
  for (const int16_t sample : played) {
    if (sample == 0) {
      ++run;
      continue;
    }
    if (run >= period) total += run;
    run = 0;
  }
  return run >= period ? total + run : total;
}

// The played sound, less the silence Wine inserted, is the reference's length to within one
// block.
void ExpectLengthWithinABlock(const std::vector<int16_t>& played, size_t reference,
                              const WAVEFORMATEX* format) {
  const size_t block = BlockSamples(format);
  const size_t inserted = InsertedSilence(played, format);
  const size_t sound = played.size() - inserted;
  EXPECT_LE(sound, reference + block)
      << "more than a block beyond the reference (" << inserted << " silent samples left out)";
  EXPECT_GE(sound + block, reference)
      << "more than a block short of the reference (" << inserted << " silent samples left out)";
}

// A compressed format and two sox-made files in it.
struct SoxFiles {
  const char* name;
  const char* files[2];
};

void PrintTo(const SoxFiles& c, std::ostream* os) {
  *os << c.name;
}

class DecodingPlayback : public ::testing::TestWithParam<SoxFiles> {
 protected:
  void SetUp() override { SetPlaybackDecoding(PlaybackDecoding::Always); }
  void TearDown() override {
    SetPlaybackDecoding(PlaybackDecoding::WhenMapperRefuses);
    DeleteFileA(PlaybackFilePath().c_str());
  }

  // Plays the fixture as the player would and compares the device's bytes with sox's.
  void ExpectPlaysAsSoxDecodes(const std::string& name) {
    SCOPED_TRACE(name);
    const WaveFile wave = ReadWave(Fixture(name + ".wav"));
    ASSERT_FALSE(wave.format.empty());
    ASSERT_FALSE(wave.data.empty());
    const WAVEFORMATEX* format = AsFormat(wave.format);
    const DWORD chunk = 64000 - 64000 % format->nBlockAlign;
    const PlayRun run = PlayThroughDevices(format, wave.data, chunk);
    ASSERT_EQ(run.openResult, static_cast<MMRESULT>(MMSYSERR_NOERROR));
    EXPECT_TRUE(run.converting);
    EXPECT_TRUE(run.finished);
    EXPECT_FALSE(run.wrongHandle);
    EXPECT_EQ(run.closes, 1);
    EXPECT_EQ(run.closeResult, static_cast<MMRESULT>(MMSYSERR_NOERROR));
    // Headers come back in the order written: 0, 1, 0, 1, ...
    for (size_t i = 0; i < run.order.size(); ++i) EXPECT_EQ(run.order[i], static_cast<int>(i % 2));
    // The position counts bytes of the file's format and only moves forward.
    for (size_t i = 1; i < run.positions.size(); ++i) {
      EXPECT_LE(run.positions[i - 1], run.positions[i]);
    }
    const DWORD whole =
        static_cast<DWORD>(wave.data.size() - wave.data.size() % format->nBlockAlign);
    EXPECT_EQ(run.lastPosition, whole);

    const std::vector<int16_t> played = ReadSamples(PlaybackFilePath());
    const std::vector<int16_t> reference = ReadSamples(Fixture(name + ".raw"));
    ASSERT_FALSE(reference.empty());
    ExpectLengthWithinABlock(played, reference.size(), format);
    EXPECT_GE(Correlation(played, reference), 0.99);
  }
};

}  // namespace

TEST_P(DecodingPlayback, PlaysAsSoxDecodes) {
  for (const char* name : GetParam().files) ExpectPlaysAsSoxDecodes(name);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, DecodingPlayback,
    ::testing::Values(SoxFiles{"ImaAdpcm", {"ima_11025_mono", "ima_44100_stereo"}},
                      SoxFiles{"MuLaw", {"mulaw_8000_mono", "mulaw_22050_stereo"}},
                      SoxFiles{"ALaw", {"alaw_8000_mono", "alaw_44100_stereo"}},
                      SoxFiles{"Gsm610", {"gsm_8000_mono", "gsm_11025_mono"}},
                      // Recording in it is refused, but files in it play.
                      SoxFiles{"MicrosoftAdpcm", {"msadpcm_11025_mono", "msadpcm_22050_stereo"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MapperPlayback, AFormatTheMapperPlaysGoesToItUntouched) {
  const WaveFile wave = ReadWave(Fixture("ima_11025_mono.wav"));
  ASSERT_FALSE(wave.data.empty());
  const PlayRun run = PlayThroughDevices(AsFormat(wave.format), wave.data, 63488);
  ASSERT_EQ(run.openResult, static_cast<MMRESULT>(MMSYSERR_NOERROR));
  EXPECT_FALSE(run.converting);
  EXPECT_TRUE(run.finished);
  const std::vector<int16_t> reference = ReadSamples(Fixture("ima_11025_mono.raw"));
  const std::vector<int16_t> played = ReadSamples(PlaybackFilePath());
  ExpectLengthWithinABlock(played, reference.size(), AsFormat(wave.format));
  EXPECT_GE(Correlation(played, reference), 0.99);
  DeleteFileA(PlaybackFilePath().c_str());
}
