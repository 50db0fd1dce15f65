// Every format the chooser offers for recording either records whole blocks of data or is
// refused with a message before anything opens: never an empty or silent recording.
#include <gtest/gtest.h>

#include <set>

#include "convert_support.h"
#include "platform/wave_devices.h"

namespace {

std::set<WORD> OfferedTags() {
  std::set<WORD> tags;
  for (const FormatBytes& format : OfferedRecordingFormats())
    tags.insert(AsFormat(format)->wFormatTag);
  return tags;
}

}  // namespace

TEST(OfferedFormats, TheChooserOffersTheFormatsTheseTestsCover) {
  const std::set<WORD> tags = OfferedTags();
  for (WORD tag : {WAVE_FORMAT_PCM, WAVE_FORMAT_IMA_ADPCM, WAVE_FORMAT_ADPCM, WAVE_FORMAT_ALAW,
                   WAVE_FORMAT_MULAW, WAVE_FORMAT_GSM610}) {
    EXPECT_TRUE(tags.count(tag)) << "tag " << tag << " is no longer offered";
  }
}

TEST(OfferedFormats, EachRecordsWholeBlocksOrIsRefusedWithAMessage) {
  int recorded = 0;
  int refused = 0;
  int pcm = 0;
  for (const FormatBytes& bytes : OfferedRecordingFormats()) {
    const WAVEFORMATEX* format = AsFormat(bytes);
    // PCM goes straight to the device; a few of its many choices show that.
    if (format->wFormatTag == WAVE_FORMAT_PCM && ++pcm > 3) continue;
    SCOPED_TRACE(Describe(format));
    char why[256] = "unchanged";
    const bool possible = CanRecordFormat(format, why, sizeof(why));
    const RecordRun run = RecordThroughDevices(format, 400);
    if (!possible) {
      ++refused;
      EXPECT_EQ(run.openResult, static_cast<MMRESULT>(WAVERR_BADFORMAT));
      EXPECT_GT(std::string(why).size(), 20u);
      EXPECT_EQ(run.opens, 0);
      continue;
    }
    ++recorded;
    EXPECT_STREQ(why, "");
    ASSERT_EQ(run.openResult, static_cast<MMRESULT>(MMSYSERR_NOERROR));
    EXPECT_EQ(run.converting, !IsUncompressedFormat(format));
    ASSERT_FALSE(run.data.empty());
    for (DWORD bytesRecorded : run.returnedBytes)
      EXPECT_EQ(bytesRecorded % format->nBlockAlign, 0u);
    // Everything captured reaches the headers by the time Stop returns. (WINMM's own
    // devices may hand over late sound after Stop, so PCM is left out of this.)
    if (run.converting) {
      EXPECT_EQ(run.data.size(), run.positionAfterStop);
    }
    EXPECT_EQ(run.closeResult, static_cast<MMRESULT>(MMSYSERR_NOERROR));
    EXPECT_EQ(run.closes, 1);
    if (format->wFormatTag != WAVE_FORMAT_PCM) {
      // The data decodes to about as much sound as it says it holds.
      const auto pcm = DecodeToPcm16(format, run.data);
      const double seconds = static_cast<double>(run.data.size()) / format->nAvgBytesPerSec;
      const double decodedSeconds =
          static_cast<double>(pcm.size()) / format->nChannels / format->nSamplesPerSec;
      EXPECT_NEAR(decodedSeconds, seconds, 0.05 * seconds + 0.05);
    }
  }
  EXPECT_GE(recorded, 3 + 8 + 8 + 8 + 6);
  // Microsoft ADPCM: the platform decodes it but cannot encode it.
  EXPECT_EQ(refused, 8);
}

TEST(OfferedFormats, MicrosoftAdpcmIsRefusedWithItsNameInTheMessage) {
  const FormatBytes adpcm = OfferedFormat(WAVE_FORMAT_ADPCM, 1, 11025);
  ASSERT_FALSE(adpcm.empty());
  char why[256];
  EXPECT_FALSE(CanRecordFormat(AsFormat(adpcm), why, sizeof(why)));
  EXPECT_NE(std::string(why).find("Microsoft ADPCM"), std::string::npos) << why;
  // A short buffer gets a cut but terminated message.
  char small[16];
  EXPECT_FALSE(CanRecordFormat(AsFormat(adpcm), small, sizeof(small)));
  EXPECT_EQ(std::string(small).size(), sizeof(small) - 1);
  HWAVEIN device = nullptr;
  EXPECT_EQ(ConvertingWaveInOpen(&device, WAVE_MAPPER, AsFormat(adpcm), 0, 0, WAVE_FORMAT_QUERY),
            static_cast<MMRESULT>(WAVERR_BADFORMAT));
}
