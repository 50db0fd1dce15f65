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

TEST(Paced16Recording, ImaAdpcmStereo) {
  ExpectRecordsKnownSignal({WAVE_FORMAT_IMA_ADPCM, 2, 44100, AdpcmCorrelation}, Cap16Signal(2));
}
TEST(Paced16Recording, ImaAdpcmMono) {
  ExpectRecordsKnownSignal({WAVE_FORMAT_IMA_ADPCM, 1, 44100, AdpcmCorrelation}, Cap16Signal(1));
}
TEST(Paced16Recording, ALawStereo) {
  ExpectRecordsKnownSignal({WAVE_FORMAT_ALAW, 2, 44100, CompandedCorrelation}, Cap16Signal(2));
}
TEST(Paced16Recording, ALawMono) {
  ExpectRecordsKnownSignal({WAVE_FORMAT_ALAW, 1, 44100, CompandedCorrelation}, Cap16Signal(1));
}
TEST(Paced16Recording, MuLawStereo) {
  ExpectRecordsKnownSignal({WAVE_FORMAT_MULAW, 2, 44100, CompandedCorrelation}, Cap16Signal(2));
}
TEST(Paced16Recording, MuLawMono) {
  ExpectRecordsKnownSignal({WAVE_FORMAT_MULAW, 1, 44100, CompandedCorrelation}, Cap16Signal(1));
}
TEST(Paced16Recording, Gsm610Mono) {
  ExpectRecordsKnownSignal({WAVE_FORMAT_GSM610, 1, 44100, GsmCorrelation}, Cap16Signal(1));
}
