// Records the known signal from a paced profile in a compressed format through the
// converting devices and checks that it decodes back to that signal.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "convert_support.h"
#include "platform/wave_devices.h"

// Correlation of the decoded recording with the signal, which is white noise: mu-law and
// A-law keep it to 0.9999, IMA ADPCM to about 0.986; GSM 6.10, a speech codec that rebuilds
// the spectral envelope rather than the waveform, to about 0.55. Unrelated sound scores
// 0 +- 0.01 over these lengths.
inline constexpr double CompandedCorrelation = 0.999;
inline constexpr double AdpcmCorrelation = 0.97;
inline constexpr double GsmCorrelation = 0.4;

struct PacedCase {
  const char* name;
  WORD tag;
  WORD channels;
  DWORD rate;
  double minimumCorrelation;
};

inline void PrintTo(const PacedCase& c, std::ostream* os) {
  *os << c.name;
}

// Names each instance of a test over PacedCase after its case.
inline std::string PacedCaseName(const ::testing::TestParamInfo<PacedCase>& info) {
  return info.param.name;
}

inline void ExpectRecordsKnownSignal(const PacedCase& c, const ExpectedSignal& expected) {
  const FormatBytes bytes = OfferedFormat(c.tag, c.channels, c.rate);
  ASSERT_FALSE(bytes.empty()) << "not offered: tag " << c.tag;
  const WAVEFORMATEX* format = AsFormat(bytes);
  SCOPED_TRACE(Describe(format));
  const RecordRun run = RecordThroughDevices(format, 3000);
  ASSERT_EQ(run.openResult, static_cast<MMRESULT>(MMSYSERR_NOERROR));
  EXPECT_TRUE(run.converting);
  EXPECT_EQ(run.closeResult, static_cast<MMRESULT>(MMSYSERR_NOERROR));
  EXPECT_FALSE(run.wrongHandle);
  EXPECT_EQ(run.data.size() % format->nBlockAlign, 0u);
  EXPECT_EQ(run.data.size(), run.positionAfterStop);
  // The run lasted until three seconds had reached the headers, and all of it came back.
  const double seconds = static_cast<double>(run.data.size()) / format->nAvgBytesPerSec;
  EXPECT_GE(seconds, 2.9);
  const std::vector<int16_t> decoded = DecodeToPcm16(format, run.data);
  // The last block may be completed with silence.
  const SignalFit fit = FitSignal(decoded, expected, 4096);
  ASSERT_TRUE(fit.found) << "the known signal is not in the decoded recording";
  // One alignment holds from where the signal starts to the end: a gap or a block out of
  // order would leave the rest uncorrelated and pull the figure down to a fraction.
  EXPECT_GE(fit.correlation, c.minimumCorrelation)
      << fit.samples << " samples from " << fit.decodedIndex;
  EXPECT_GT(fit.samples, format->nSamplesPerSec * format->nChannels / 2);
}
