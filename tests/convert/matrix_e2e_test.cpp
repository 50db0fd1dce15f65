// The real program, driven from outside, through every format the chooser offers: each tag,
// each attribute line. About a second of the known signal is recorded into a new file in
// each; the file then declares exactly what it holds and decodes to sound (to the signal
// itself at the capture's own rate), or Record was refused with a message that names the
// format and left the file as New made it.
#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "convert_support.h"
#include "faults/fault_support.h"
#include "paced_check.h"
#include "recorder_driver.h"
#include "resources/resource.h"
#include "support/test_support.h"

namespace {

using recorder_driver::FormatChooserInfo;
using recorder_driver::RecorderApp;

DWORD Le32(const std::vector<unsigned char>& bytes, size_t at) {
  DWORD value = 0;
  if (at + 4 <= bytes.size()) std::memcpy(&value, bytes.data() + at, 4);
  return value;
}

// The "fmt " block and where the data chunk lies, from the file's bytes.
struct Layout {
  std::vector<BYTE> format;
  size_t dataOffset = 0;
  DWORD dataSize = 0;
};
Layout ReadLayout(const std::vector<unsigned char>& bytes) {
  Layout layout;
  for (size_t at = 12; at + 8 <= bytes.size();) {
    const DWORD size = Le32(bytes, at + 4);
    if (std::memcmp(bytes.data() + at, "fmt ", 4) == 0 && at + 8 + size <= bytes.size())
      layout.format.assign(bytes.begin() + at + 8, bytes.begin() + at + 8 + size);
    if (std::memcmp(bytes.data() + at, "data", 4) == 0) {
      layout.dataOffset = at + 8;
      layout.dataSize = size;
      return layout;
    }
    at += 8 + ((size_t{size} + 1) & ~size_t{1});
  }
  return layout;
}

std::vector<int16_t> Decode(const WAVEFORMATEX* format, std::span<const BYTE> data) {
  if (format->wFormatTag != WAVE_FORMAT_PCM) return DecodeToPcm16(format, data);
  std::vector<int16_t> samples;
  if (format->wBitsPerSample == 8) {
    for (const BYTE b : data) samples.push_back(static_cast<int16_t>((b - 128) << 8));
  } else {
    samples.resize(data.size() / 2);
    std::memcpy(samples.data(), data.data(), samples.size() * 2);
  }
  return samples;
}

double MinimumCorrelation(WORD tag) {
  switch (tag) {
    case WAVE_FORMAT_GSM610:
      return GsmCorrelation;
    case WAVE_FORMAT_IMA_ADPCM:
      return AdpcmCorrelation;
    case WAVE_FORMAT_PCM:
      return 0.99;
    default:
      return CompandedCorrelation;
  }
}

// Empty when the take in `path` is whole and holds the sound, else what is wrong.
std::string CheckTake(const std::string& path) {
  const std::vector<unsigned char> bytes = ReadWholeFile(path);
  const Layout layout = ReadLayout(bytes);
  if (layout.format.size() < sizeof(WAVEFORMATEX) || layout.dataOffset == 0) return "no layout";
  const auto* format = reinterpret_cast<const WAVEFORMATEX*>(layout.format.data());
  if (Le32(bytes, 4) != bytes.size() - 8 || layout.dataOffset + layout.dataSize != bytes.size())
    return "the sizes claim " + std::to_string(layout.dataSize) +
           " bytes of data, the file holds " + std::to_string(bytes.size() - layout.dataOffset);
  if (layout.dataSize % format->nBlockAlign != 0) return "a partial block";
  if (layout.dataSize < 0.8 * format->nAvgBytesPerSec)
    return "only " + std::to_string(layout.dataSize) + " bytes";
  const std::vector<int16_t> decoded =
      Decode(format, std::span<const BYTE>(bytes.data() + layout.dataOffset, layout.dataSize));
  if (decoded.size() < format->nSamplesPerSec * format->nChannels / 2) return "decodes short";
  if (format->nSamplesPerSec == 44100) {
    const SignalFit fit = FitSignal(decoded, Cap16Signal(format->nChannels), 4096);
    if (!fit.found) return "the known signal is not in it";
    if (fit.correlation < MinimumCorrelation(format->wFormatTag))
      return "correlation " + std::to_string(fit.correlation);
    return {};
  }
  // At other rates the signal arrives resampled: the last half must be loud, not silence.
  double power = 0;
  const size_t from = decoded.size() / 2;
  for (size_t i = from; i < decoded.size(); ++i)
    power += static_cast<double>(decoded[i]) * decoded[i];
  const double rms = std::sqrt(power / static_cast<double>(decoded.size() - from));
  return rms >= 1000 ? std::string{} : "silence (rms " + std::to_string(rms) + ")";
}

}  // namespace

TEST(ConvertMatrixE2E, EveryOfferedFormatRecordsWholeOrIsRefusedPlainly) {
  TempFolder folder;
  RecorderApp app;
  ASSERT_TRUE(app.Start()) << app.LastError();
  int take = 0;
  int recorded = 0;
  int refused = 0;
  const auto newFile = [&](const std::string& tag, int index) {
    const std::string path = folder.file("take" + std::to_string(++take) + ".wav");
    app.PostCommand(IDM_NEW);
    if (!app.AnswerFileDialog(path))
      return std::make_pair(path, std::optional<FormatChooserInfo>{});
    return std::make_pair(path, app.AnswerFormatChooser(tag, index));
  };

  app.PostCommand(IDM_NEW);
  ASSERT_TRUE(app.AnswerFileDialog(folder.file("take0.wav")));
  const auto first = app.ReadFormatChooser();
  ASSERT_TRUE(first.has_value());
  ASSERT_TRUE(app.CancelFormatChooser());
  for (const std::string& tag : first->tags) {
    size_t lines = 1;
    for (size_t index = 0; index < lines; ++index) {
      const auto [path, chosen] = newFile(tag, static_cast<int>(index));
      ASSERT_TRUE(chosen.has_value()) << tag << " line " << index;
      lines = chosen->attributeChoices.size();
      SCOPED_TRACE(tag + ", " + chosen->attributes);
      ASSERT_TRUE(app.Sync() && app.IsControlEnabled(IDC_RECORD));
      const std::vector<unsigned char> made = ReadWholeFile(path);
      const Layout layout = ReadLayout(made);
      ASSERT_GE(layout.format.size(), sizeof(WAVEFORMATEX));
      const auto* format = reinterpret_cast<const WAVEFORMATEX*>(layout.format.data());

      ASSERT_TRUE(app.ClickButton(IDC_RECORD));
      if (auto box = app.AcknowledgeMessageBox({}, 300)) {
        EXPECT_NE(box->text.find(tag), std::string::npos) << "refused unclearly: " << box->text;
        EXPECT_TRUE(WaitUntilIdle(app, 3000));
        EXPECT_EQ(ReadWholeFile(path), made);
        ++refused;
        continue;
      }
      // About a second of sound, however long the busy machine takes to capture it.
      EXPECT_TRUE(PollUntil(
          30000, [&] { return ShownBytes(app).value_or(0) >= 1.1 * format->nAvgBytesPerSec; }, 20))
          << app.ControlText(IDC_DATASIZE);
      ASSERT_TRUE(app.ClickButton(IDC_STOP));
      ASSERT_TRUE(WaitUntilIdle(app, 5000));
      if (auto box = app.AcknowledgeMessageBox({}, 100)) ADD_FAILURE() << box->text;
      const std::string problem = CheckTake(path);
      EXPECT_TRUE(problem.empty()) << problem;
      ++recorded;
      DeleteFileA(path.c_str());
    }
  }
  std::printf("%d formats recorded, %d refused\n", recorded, refused);
  EXPECT_GT(recorded, 20);
  app.Close();
  EXPECT_EQ(app.WaitForExit(), 0u);
}
