// The real program, driven from outside: New with a compressed format picked in the
// chooser, Record three seconds of the known signal, Stop; the file carries the chosen
// format and whole blocks that decode to the signal; Play sends the sound to the device.
// A format that cannot be recorded is refused with a message and leaves the file alone. A
// file whose header lies about its byte rate never makes the program take memory by it.
#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <ostream>
#include <string>

#include "convert_support.h"
#include "faults/fault_support.h"
#include "paced_check.h"
#include "recorder_driver.h"
#include "resources/resource.h"
#include "support/playback_file.h"
#include "support/test_support.h"
#include "support/wave_builder.h"

namespace {

using recorder_driver::RecorderApp;

struct E2ECase {
  const char* name;
  const char* tagName;
  const char* attributes;
  WORD tag;
  WORD channels;
  DWORD rate;
  double minimumCorrelation;
};

void PrintTo(const E2ECase& c, std::ostream* os) {
  *os << c.name;
}

class ConvertE2E : public ::testing::TestWithParam<E2ECase> {};

void ExpectRecordsAndPlays(const E2ECase& c) {
  SCOPED_TRACE(std::string(c.tagName) + ", " + c.attributes);
  const FormatBytes chosen = OfferedFormat(c.tag, c.channels, c.rate);
  ASSERT_FALSE(chosen.empty());
  const WAVEFORMATEX* format = AsFormat(chosen);
  TempFolder folder;
  const std::string path = folder.file("take.wav");
  RecorderApp app;
  const std::string made = StartWithNewFile(app, path, c.tagName, c.attributes);
  ASSERT_TRUE(made.empty()) << made;

  ASSERT_TRUE(app.ClickButton(IDC_RECORD));
  // About three seconds of sound, however long the busy machine takes to capture them.
  ASSERT_TRUE(PollUntil(
      60000, [&] { return ShownBytes(app).value_or(0) >= 3.0 * format->nAvgBytesPerSec; }, 50))
      << app.ControlText(IDC_DATASIZE);
  ASSERT_TRUE(app.ClickButton(IDC_STOP));
  ASSERT_TRUE(WaitUntilIdle(app, 5000));
  EXPECT_TRUE(app.NoMessageBoxWithin(200));

  const WaveFile wave = ReadWave(path);
  // The "fmt " block is the chosen format, its format-specific bytes included.
  const size_t formatSize = sizeof(WAVEFORMATEX) + format->cbSize;
  ASSERT_GE(wave.format.size(), formatSize);
  EXPECT_EQ(std::memcmp(wave.format.data(), chosen.data(), formatSize), 0);
  ASSERT_GT(wave.data.size(), 0u);
  EXPECT_EQ(wave.data.size() % format->nBlockAlign, 0u);
  const std::vector<int16_t> decoded = DecodeToPcm16(format, wave.data);
  const SignalFit fit = FitSignal(decoded, Cap16Signal(c.channels), 4096);
  ASSERT_TRUE(fit.found) << "the known signal is not in the recording";
  EXPECT_GE(fit.correlation, c.minimumCorrelation);

  ASSERT_TRUE(app.ClickButton(IDC_PLAY));
  ASSERT_TRUE(WaitUntilIdle(app, 20000));
  EXPECT_TRUE(app.NoMessageBoxWithin(200));
  app.Close();
  EXPECT_EQ(app.WaitForExit(), 0u);
  // The device got the decoded sound: as loud, as long, and the same waveform.
  const std::vector<int16_t> played = ReadSamples(PlaybackFilePath());
  DeleteFileA(PlaybackFilePath().c_str());
  EXPECT_NEAR(static_cast<double>(played.size()), static_cast<double>(decoded.size()),
              0.02 * decoded.size() + 4096);
  EXPECT_GE(Correlation(played, decoded), 0.98);
}

// An IMA ADPCM file (11025 Hz mono) whose header says `byteRate`.
std::vector<unsigned char> ImaFileWithByteRate(DWORD byteRate) {
  FormatBytes format = OfferedFormat(WAVE_FORMAT_IMA_ADPCM, 1, 11025);
  if (format.empty()) return {};
  const std::vector<BYTE> data = ImaTone(AsFormat(format), 1.5);
  reinterpret_cast<WAVEFORMATEX*>(format.data())->nAvgBytesPerSec = byteRate;
  Bytes fact;
  PutLe32(fact, static_cast<DWORD>(data.size() / 256 * 505));
  return Riff("WAVE", {Chunk("fmt ", format), Chunk("fact", fact), Chunk("data", data)});
}

SIZE_T PeakWorkingSet(HANDLE process) {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof(counters);
  if (!GetProcessMemoryInfo(process, &counters, sizeof(counters))) return 0;
  return counters.PeakWorkingSetSize;
}

}  // namespace

// Open refuses a byte rate of 0 with its message; the others open, and Record and Play then
// work as for any IMA ADPCM file, the window answering and the memory as small as ever.
TEST(ConvertE2E, AByteRateTheFileLiesAboutNeverHangsTheWindow) {
  constexpr SIZE_T Bound = SIZE_T{256} << 20;
  for (const DWORD rate : {0u, 0x40000000u, 0x7FFFFFFFu}) {
    SCOPED_TRACE(rate);
    TempFolder folder;
    const std::string path = folder.file("hostile.wav");
    const std::vector<unsigned char> bytes = ImaFileWithByteRate(rate);
    ASSERT_FALSE(bytes.empty());
    ASSERT_TRUE(WriteWholeFile(path, bytes));
    RecorderApp app;
    ASSERT_TRUE(app.Start()) << app.LastError();
    const auto ExpectBoundedMemory = [&] {
      const SIZE_T peak = PeakWorkingSet(app.process());
      EXPECT_GT(peak, 0u);
      EXPECT_LT(peak, Bound);
    };
    const std::string opened = OpenThroughDialog(app, path);
    if (rate == 0) {
      EXPECT_NE(opened.find("Open showed Error: "), std::string::npos) << opened;
    } else {
      ASSERT_TRUE(opened.empty()) << opened;
      ASSERT_TRUE(app.ClickButton(IDC_RECORD));
      Sleep(1000);  // the recording's length
      ASSERT_TRUE(app.ClickButton(IDC_STOP));
      ASSERT_TRUE(WaitUntilIdle(app, 10000));
      EXPECT_TRUE(app.NoMessageBoxWithin(200));
      ExpectBoundedMemory();
      const WaveFile wave = ReadWave(path);
      EXPECT_GT(wave.data.size(), 0u);
      EXPECT_EQ(wave.data.size() % 256, 0u);

      ASSERT_TRUE(app.ClickButton(IDC_PLAY));
      ASSERT_TRUE(WaitUntilIdle(app, 20000));
      EXPECT_TRUE(app.NoMessageBoxWithin(200));
      ExpectBoundedMemory();
    }
    ASSERT_TRUE(app.Sync());
    app.Close();
    EXPECT_EQ(app.WaitForExit(), 0u);
  }
  DeleteFileA(PlaybackFilePath().c_str());
}

TEST_P(ConvertE2E, RecordsAndPlays) {
  ExpectRecordsAndPlays(GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Formats, ConvertE2E,
    ::testing::Values(E2ECase{"ImaAdpcmStereo", "IMA ADPCM", "44100 Hz; 4 bits; Stereo",
                              WAVE_FORMAT_IMA_ADPCM, 2, 44100, AdpcmCorrelation},
                      E2ECase{"ALawMono", "A-Law", "44100 Hz; 8 bits; Mono", WAVE_FORMAT_ALAW, 1,
                              44100, CompandedCorrelation},
                      E2ECase{"MuLawStereo", "U-Law", "44100 Hz; 8 bits; Stereo", WAVE_FORMAT_MULAW,
                              2, 44100, CompandedCorrelation},
                      E2ECase{"Gsm610Mono", "GSM 6.10", "44100 Hz; Mono", WAVE_FORMAT_GSM610, 1,
                              44100, GsmCorrelation}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ConvertE2E, MicrosoftAdpcmIsRefusedAndTheFileLeftAlone) {
  TempFolder folder;
  const std::string path = folder.file("take.wav");
  RecorderApp app;
  const std::string made = StartWithNewFile(app, path, "Microsoft ADPCM", "11025 Hz; 4 bits; Mono");
  ASSERT_TRUE(made.empty()) << made;
  const auto before = ReadWholeFile(path);
  ASSERT_FALSE(before.empty());
  ASSERT_TRUE(app.ClickButton(IDC_RECORD));
  const auto box = app.AcknowledgeMessageBox("Error");
  ASSERT_TRUE(box.has_value()) << "no message when Record is pressed";
  EXPECT_EQ(box->text,
            "This computer cannot record in the Microsoft ADPCM format: it has no encoder for it.  "
            "Choose another format with File New, or play files in this format.");
  // Nothing left open or running: the idle controls, and Record answers again.
  ASSERT_TRUE(WaitUntilIdle(app, 3000));
  EXPECT_EQ(ReadWholeFile(path), before);
  ASSERT_TRUE(app.ClickButton(IDC_RECORD));
  EXPECT_TRUE(app.AcknowledgeMessageBox("Error").has_value());
  EXPECT_EQ(ReadWholeFile(path), before);
  app.Close();
  EXPECT_EQ(app.WaitForExit(), 0u);
}
