// The known signal of cap8 (8-bit mono 11025 Hz) recorded in each compressed format.
#include "paced_check.h"

#include "support/known_signal.h"

TEST(Paced8Recording, PcmPassesTheSignalThroughByteForByte) {
  const FormatBytes format = PcmFormatBytes(1, 11025, 8);
  const RecordRun run = RecordThroughDevices(AsFormat(format), 2000);
  ASSERT_EQ(run.openResult, static_cast<MMRESULT>(MMSYSERR_NOERROR));
  EXPECT_FALSE(run.converting);
  const auto match = FindKnownSignal(run.data, 0x80);
  ASSERT_TRUE(match.has_value());
  EXPECT_EQ(match->dataIndex + match->length, run.data.size());
}

class Paced8Recording : public ::testing::TestWithParam<PacedCase> {};

TEST_P(Paced8Recording, RecordsTheKnownSignal) {
  ExpectRecordsKnownSignal(GetParam(), Cap8Signal());
}

INSTANTIATE_TEST_SUITE_P(
    Formats, Paced8Recording,
    ::testing::Values(PacedCase{"ImaAdpcm", WAVE_FORMAT_IMA_ADPCM, 1, 11025, AdpcmCorrelation},
                      PacedCase{"ALaw", WAVE_FORMAT_ALAW, 1, 11025, CompandedCorrelation},
                      PacedCase{"MuLaw", WAVE_FORMAT_MULAW, 1, 11025, CompandedCorrelation},
                      PacedCase{"Gsm610", WAVE_FORMAT_GSM610, 1, 11025, GsmCorrelation}),
    PacedCaseName);
