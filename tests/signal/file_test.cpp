#include <gtest/gtest.h>

#include "support/known_signal.h"
#include "support/playback_file.h"
#include "support/test_support.h"
#include "wave_io.h"

TEST(FileProfile, PlaybackWritesExactlyThePlayedBytesForEachOpening) {
  const struct {
    WAVEFORMATEX format;
    std::size_t bytes;
  } cases[] = {{PcmWaveFormat(2, 44100, 16), 176400}, {PcmWaveFormat(1, 11025, 8), 11025 + 7}};
  for (const auto& c : cases) {
    std::vector<std::uint8_t> bytes(c.bytes);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = KnownSignalByte(i + 1000);
    ASSERT_EQ(PlayBytes(c.format, bytes), MMSYSERR_NOERROR);
    std::string why;
    EXPECT_TRUE(PlayedWithOnlySilenceAdded(ReadWholeFile(PlaybackFilePath()), bytes,
                                           PlayedFormatOf(c.format), false, &why))
        << "format with " << c.format.wBitsPerSample << " bits, file " << PlaybackFilePath() << ": "
        << why;
  }
  DeleteFileA(PlaybackFilePath().c_str());
}

TEST(FileProfile, HasOneInputAndOneOutputDevice) {
  EXPECT_EQ(waveInGetNumDevs(), 1u);
  EXPECT_EQ(waveOutGetNumDevs(), 1u);
}
