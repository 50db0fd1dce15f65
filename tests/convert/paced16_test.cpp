// The known signal of cap16 (16-bit stereo 44100 Hz) recorded in each compressed format.
#include "paced_check.h"

#include "support/known_signal.h"

TEST(Paced16Recording, PcmPassesTheSignalThroughByteForByte) {
  const FormatBytes format = PcmFormatBytes(2, 44100, 16);
  const RecordRun run = RecordThroughDevices(AsFormat(format), 2000);
  ASSERT_EQ(run.openResult, static_cast<MMRESULT>(MMSYSERR_NOERROR));
  EXPECT_FALSE(run.converting);
  const auto match = FindKnownSignal(run.data, 0x00);
  ASSERT_TRUE(match.has_value());
  EXPECT_EQ(match->dataIndex + match->length, run.data.size());
}

class Paced16Recording : public ::testing::TestWithParam<PacedCase> {};

TEST_P(Paced16Recording, RecordsTheKnownSignal) {
  ExpectRecordsKnownSignal(GetParam(), Cap16Signal(GetParam().channels));
}

INSTANTIATE_TEST_SUITE_P(
    Formats, Paced16Recording,
    ::testing::Values(PacedCase{"ImaAdpcmStereo", WAVE_FORMAT_IMA_ADPCM, 2, 44100,
                                AdpcmCorrelation},
                      PacedCase{"ImaAdpcmMono", WAVE_FORMAT_IMA_ADPCM, 1, 44100, AdpcmCorrelation},
                      PacedCase{"ALawStereo", WAVE_FORMAT_ALAW, 2, 44100, CompandedCorrelation},
                      PacedCase{"ALawMono", WAVE_FORMAT_ALAW, 1, 44100, CompandedCorrelation},
                      PacedCase{"MuLawStereo", WAVE_FORMAT_MULAW, 2, 44100, CompandedCorrelation},
                      PacedCase{"MuLawMono", WAVE_FORMAT_MULAW, 1, 44100, CompandedCorrelation},
                      PacedCase{"Gsm610Mono", WAVE_FORMAT_GSM610, 1, 44100, GsmCorrelation}),
    PacedCaseName);
