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

// The played-bytes checkers over made-up runs of 8-bit mono sound (a device period is 110
// bytes): what a faulty playback plays is refused, and only a period of Wine's silence passes.
TEST(PlayedBytesChecker, RefusesGapsLateStartsAndIgnoredMoves) {
  const PlayedFormat format = PlayedFormatOf(1, 11025, 8);
  std::vector<unsigned char> data(4000);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i * 7 | 1);
  auto part = [&](std::size_t from, std::size_t to) {
    return std::vector<unsigned char>(data.begin() + from, data.begin() + to);
  };
  auto join = [](std::vector<std::vector<unsigned char>> parts) {
    std::vector<unsigned char> all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
  };
  const std::vector<unsigned char> period(110, 0x80), click(10, 0x80);
  constexpr std::size_t kWhole = ~std::size_t{0};  // no move: the whole data from its start
  const struct {
    const char* name;
    std::vector<unsigned char> played;
    std::size_t movedTo;
    bool accepted;
  } rows[] = {
      {"clean run", data, kWhole, true},
      {"a period of silence", join({part(0, 2000), period, part(2000, 4000)}), kWhole, true},
      {"a gap", join({part(0, 2000), part(2500, 4000)}), kWhole, false},
      {"a click shorter than a period", join({part(0, 2000), click, part(2000, 4000)}), kWhole,
       false},
      {"a late start", part(300, 4000), kWhole, false},
      {"a clean move back", join({part(0, 3000), period, part(1000, 4000)}), 1000, true},
      {"a move ignored", data, 1000, false},
      {"a gap after the move", join({part(0, 3000), part(1000, 2000), part(2500, 4000)}), 1000,
       false},
  };
  for (const auto& row : rows) {
    std::string why;
    std::size_t head = 0;
    const bool accepted =
        row.movedTo == kWhole
            ? PlayedWithOnlySilenceAdded(row.played, data, format, false, &why)
            : PlayedAStartThenFrom(row.played, data, row.movedTo, format, &head, &why);
    EXPECT_EQ(accepted, row.accepted) << row.name << ": " << why;
  }
}
