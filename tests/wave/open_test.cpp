// Opening wave files: real files made by sox and crafted ones, every failure the user can meet,
// and what each failure leaves behind.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstring>

#include "wave_fixture.h"

#include "state/context.h"
#include "state/report.h"
#include "recent/recent_list.h"
#include "resources/resource.h"
#include "wave/format.h"
#include "wave/wave_file.h"

namespace {

struct SoxCase {
  const char* name;
  const char* arguments;
  const char* effects;
  WORD tag, channels, bits, blockAlign;
  DWORD rate, dataSize;
  const char* lengthText;
  const char* sizeText;
  const char* tagName;
  const char* details;  // not checked when empty
};

void PrintTo(const SoxCase& c, std::ostream* os) {
  *os << c.name;
}

class SoxOpenTest : public WaveFileTest, public ::testing::WithParamInterface<SoxCase> {};

TEST_P(SoxOpenTest, OpensAndShowsTheFile) {
  if (!SoxInstalled()) GTEST_SKIP() << "sox is not installed";
  const SoxCase& c = GetParam();
  const std::string path = folder_.file(std::string(c.name) + ".wav");
  ASSERT_TRUE(RunSox(c.arguments, path, c.effects));
  const Bytes file = ReadWholeFile(path);

  ASSERT_EQ(OpenPath(path), 0);
  for (const auto& box : boxes_.boxes()) ADD_FAILURE() << box.text;
  EXPECT_EQ(CurrentFormat->wFormatTag, c.tag);
  EXPECT_EQ(CurrentFormat->nChannels, c.channels);
  EXPECT_EQ(CurrentFormat->nSamplesPerSec, c.rate);
  EXPECT_EQ(CurrentFormat->wBitsPerSample, c.bits);
  EXPECT_EQ(CurrentFormat->nBlockAlign, c.blockAlign);
  EXPECT_EQ(g_context.dataOffset, DataPayloadOffset(file));
  EXPECT_EQ(g_context.dataSize, c.dataSize);
  EXPECT_EQ(Le32(file, g_context.dataOffset - 4), c.dataSize);
  EXPECT_TRUE(g_context.fileLoaded);
  EXPECT_STREQ(g_context.driveRoot, "C:\\");

  const RecorderSnapshot s = Snapshot();
  EXPECT_EQ(s.sliderMin, 0);
  EXPECT_EQ(s.sliderMax, static_cast<LRESULT>(c.dataSize / c.blockAlign));
  EXPECT_EQ(s.sliderPos, 0);
  EXPECT_EQ(s.positionText, "00:00.0");
  EXPECT_EQ(s.lengthText, c.lengthText);
  EXPECT_NE(s.dataSizeText.find(c.sizeText), std::string::npos) << s.dataSizeText;
  EXPECT_EQ(s.caption, "Audio Recorder - " + std::string(c.name) + ".wav");
  // Rewind, Forward, Play and Record enabled; Stop disabled.
  EXPECT_TRUE(s.enabled[0] && s.enabled[1] && s.enabled[2] && s.enabled[4]);
  EXPECT_FALSE(s.enabled[3]);
  EXPECT_TRUE(s.sliderEnabled);
  ASSERT_FALSE(s.recent.empty());
  EXPECT_EQ(s.recent[0], path);
  EXPECT_STREQ(FormatTagName, c.tagName);
  if (*c.details) {
    EXPECT_STREQ(FormatDetailsText, c.details);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sox, SoxOpenTest,
    ::testing::Values(SoxCase{"mono8", "-n -r 11025 -b 8 -c 1 -e unsigned-integer -t wav",
                              "synth 1 sine 440", WAVE_FORMAT_PCM, 1, 8, 1, 11025, 11025, "00:01.0",
                              "10.8", "PCM", ""},
                      SoxCase{"stereo16", "-n -r 44100 -b 16 -c 2 -e signed-integer -t wav",
                              "synth 0.5 sine 440", WAVE_FORMAT_PCM, 2, 16, 4, 44100, 88200,
                              "00:00.5", "86.1", "PCM", ""},
                      SoxCase{"extensible24", "-n -r 44100 -b 24 -c 2 -e signed-integer -t wav",
                              "synth 0.5 sine 440", WAVE_FORMAT_EXTENSIBLE, 2, 24, 6, 44100, 132300,
                              "00:00.5", "129.2", "PCM", ""},
                      SoxCase{"float32", "-n -r 48000 -b 32 -c 2 -e floating-point -t wav",
                              "synth 0.5 sine 440", WAVE_FORMAT_IEEE_FLOAT, 2, 32, 8, 48000, 192000,
                              "00:00.5", "187.5", "IEEE Float", "48000 Hz; 32 bits; Stereo"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

TEST_F(WaveFileTest, OtherChunksBeforeAndBetweenAreSkipped) {
  Bytes list = Chunk("LIST", Bytes{'I', 'N', 'F', 'O', 'x'});  // odd size, padded
  Bytes fact;
  PutLe32(fact, 1000);
  const std::string path = WriteFile(
      "chunks.wav", Riff("WAVE", {list, Chunk("fmt ", PcmFormat(1, 22050, 16)), Chunk("fact", fact),
                                  Chunk("junk", Bytes(7, 0xEE)), Chunk("data", Samples(2000))}));
  const Bytes file = ReadWholeFile(path);
  ASSERT_EQ(OpenPath(path), 0);
  EXPECT_TRUE(boxes_.boxes().empty());
  EXPECT_EQ(CurrentFormat->nSamplesPerSec, 22050u);
  EXPECT_EQ(g_context.dataOffset, DataPayloadOffset(file));
  EXPECT_EQ(g_context.dataSize, 2000u);
  EXPECT_EQ(Snapshot().sliderMax, 1000);
}

TEST_F(WaveFileTest, AShortFormatChunkKeepsNothingOfThePreviousBlock) {
  CurrentFormat->cbSize = 4;
  auto* block = reinterpret_cast<unsigned char*>(CurrentFormat);
  for (DWORD i = 18; i < MaxFormatSize; ++i) block[i] = static_cast<unsigned char>(0xA0 + i);

  const std::string path16 = WriteFile(
      "pcm16.wav", Riff("WAVE", {Chunk("fmt ", PcmFormat(2, 8000, 8)), Chunk("data", Samples(9))}));
  ASSERT_EQ(OpenPath(path16), 0);
  Bytes expected(MaxFormatSize, 0);
  const Bytes head = PcmFormat(2, 8000, 8);
  std::copy(head.begin(), head.end(), expected.begin());
  EXPECT_EQ(FormatBytes(), expected);
  EXPECT_EQ(Snapshot().sliderMax, 4);  // 9 bytes of 2-byte blocks
}

TEST_F(WaveFileTest, SliderCountsWholeBlocksOnly) {
  const std::string path =
      WriteFile("ten.wav",
                Riff("WAVE", {Chunk("fmt ", PcmFormat(2, 11025, 16)), Chunk("data", Samples(10))}));
  ASSERT_EQ(OpenPath(path), 0);
  EXPECT_EQ(Snapshot().sliderMax, 2);
}

TEST_F(WaveFileTest, DataSizeIsCutToWhatTheFileHolds) {
  const std::string path = WriteFile(
      "long.wav",
      Riff("WAVE", {Chunk("fmt ", PcmFormat(1, 11025, 8)), Chunk("data", Samples(100), 1000000)}));
  ASSERT_EQ(OpenPath(path), 0);
  EXPECT_EQ(g_context.dataSize, 100u);
  EXPECT_EQ(g_context.dataOffset, 44u);
}

// mmioGetInfo not answering must not put the data at offset 0 (the RIFF header).
MMRESULT WINAPI FailingGetInfo(HMMIO, LPMMIOINFO, UINT) {
  return MMIOERR_CANNOTREAD;
}

TEST_F(WaveFileTest, DataOffsetSurvivesAFailingInfoCall) {
  ScopedService getInfo(sys.mmioGetInfo, &FailingGetInfo);
  const std::string path = WriteFile(
      "info.wav", Riff("WAVE", {Chunk("LIST", Bytes(6, 1)), Chunk("fmt ", PcmFormat(1, 8000, 8)),
                                Chunk("data", Samples(50))}));
  ASSERT_EQ(OpenPath(path), 0);
  EXPECT_EQ(g_context.dataOffset, DataPayloadOffset(ReadWholeFile(path)));
}

// ---- The Open dialog ----

OPENFILENAMEA g_seenRecord;
std::string g_chosenPath;
int g_openDialogCalls = 0;
int g_mmioOpenCalls = 0;

BOOL WINAPI ChooseFileDialog(LPOPENFILENAMEA record) {
  ++g_openDialogCalls;
  g_seenRecord = *record;
  lstrcpynA(record->lpstrFile, g_chosenPath.c_str(), record->nMaxFile);
  lstrcpynA(record->lpstrFileTitle, g_chosenPath.substr(g_chosenPath.rfind('\\') + 1).c_str(),
            record->nMaxFileTitle);
  return TRUE;
}

BOOL WINAPI CancelFileDialog(LPOPENFILENAMEA record) {
  ++g_openDialogCalls;
  g_seenRecord = *record;
  return FALSE;
}

HMMIO WINAPI CountingMmioOpen(LPSTR path, LPMMIOINFO info, DWORD flags) {
  ++g_mmioOpenCalls;
  return mmioOpenA(path, info, flags);
}

void ExpectWaveDialogRecord(const OPENFILENAMEA& r, HWND owner, DWORD flags) {
  EXPECT_EQ(r.lStructSize, static_cast<DWORD>(OPENFILENAME_SIZE_VERSION_400A));
  EXPECT_EQ(r.hwndOwner, owner);
  static const char filter[] = "Wave Files (*.wav)\0*.wav\0All Files (*.*)\0*.*\0";
  ASSERT_NE(r.lpstrFilter, nullptr);
  EXPECT_EQ(std::memcmp(r.lpstrFilter, filter, sizeof filter), 0);
  EXPECT_EQ(r.lpstrCustomFilter, nullptr);
  EXPECT_EQ(r.nMaxCustFilter, 0u);
  EXPECT_EQ(r.nFilterIndex, 1u);
  EXPECT_EQ(r.lpstrFile, g_context.filePath);
  EXPECT_EQ(r.nMaxFile, PathTextSize);  // any name the dialog returns fits
  EXPECT_EQ(r.lpstrFileTitle, g_context.fileTitle);
  EXPECT_EQ(r.nMaxFileTitle, PathTextSize);
  EXPECT_EQ(r.lpstrInitialDir, nullptr);
  EXPECT_EQ(r.lpstrTitle, nullptr);
  EXPECT_EQ(r.Flags, flags);
  EXPECT_STREQ(r.lpstrDefExt, "WAV");
  EXPECT_EQ(r.hInstance, nullptr);
  EXPECT_EQ(r.lpfnHook, nullptr);
}

TEST_F(WaveFileTest, OpenDialogProposesTheCurrentPathAndOpensTheChoice) {
  g_chosenPath =
      WriteFile("chosen.wav",
                Riff("WAVE", {Chunk("fmt ", PcmFormat(1, 11025, 8)), Chunk("data", Samples(3))}));
  ScopedService dialog(sys.GetOpenFileNameA, &ChooseFileDialog);
  ASSERT_EQ(OpenWaveFile(window(), 0), 0);
  EXPECT_EQ(g_openDialogCalls, 1);
  ExpectWaveDialogRecord(g_seenRecord, window(), OFN_FILEMUSTEXIST);
  EXPECT_EQ(std::string(g_context.filePath), g_chosenPath);
  EXPECT_STREQ(g_context.fileTitle, "chosen.wav");
  EXPECT_EQ(g_context.dataSize, 3u);
  EXPECT_EQ(OpenDialogRecord.lpstrFile, g_context.filePath);
}

TEST_F(WaveFileTest, CancelledOpenDialogChangesNothing) {
  LoadGoodFile();
  g_context.driveRoot[0] = 'Q';
  const RecorderSnapshot before = Snapshot();
  ScopedService dialog(sys.GetOpenFileNameA, &CancelFileDialog);
  ScopedService open(sys.mmioOpenA, &CountingMmioOpen);
  EXPECT_EQ(OpenWaveFile(window(), 0), 0);
  EXPECT_EQ(g_openDialogCalls, 1);
  EXPECT_EQ(g_mmioOpenCalls, 0);
  EXPECT_EQ(Snapshot(), before);
  EXPECT_TRUE(boxes_.boxes().empty());
}

// ---- Failures ----

enum class Leaves { Everything, FileFormat, PreviousFormat };

struct FailureCase {
  const char* name;
  Bytes file;
  int code;
  const char* message;
  Leaves leaves;
  size_t formatBytesRead;  // for FileFormat: how many bytes of the chunk reached the block
};

Bytes WithField16(Bytes format, size_t offset, uint16_t value) {
  format[offset] = value & 0xFF;
  format[offset + 1] = value >> 8;
  return format;
}

Bytes WithField32(Bytes format, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) format[offset + i] = (value >> (8 * i)) & 0xFF;
  return format;
}

// A valid 8 kHz format that differs from the loaded file's in every head field.
const Bytes kOtherFormat = PcmFormat(1, 8000, 8, true);

std::vector<FailureCase> FailureCases() {
  const Bytes data = Chunk("data", Samples(64));
  const Bytes fmt = Chunk("fmt ", kOtherFormat);
  Bytes shortFmt = Riff("WAVE", {Chunk("fmt ", kOtherFormat, 40)});  // 18 of 40 bytes present
  Bytes truncatedHead = Riff("WAVE", {Chunk("fmt ", kOtherFormat)});
  truncatedHead.resize(20 + 13);  // nBlockAlign's high byte and on are missing
  // Stays 0 because the loaded format's nBlockAlign (4) has a zero high byte.
  truncatedHead[20 + 12] = 0;
  const char* unusable = UnusableFormatMessage;
  const char* tooShort = FormatChunkTooShortMessage;
  const char* tooLarge = BlockLargerThanBufferMessage;
  return {
      {"NotRiff", Bytes{'h', 'e', 'l', 'l', 'o', ' ', 'w', 'a', 'v', 'e', ' ', 'f', 'i', 'l', 'e'},
       -2, "Wave format not found in file.", Leaves::Everything, 0},
      {"EmptyFile", Bytes{}, -2, "Wave format not found in file.", Leaves::Everything, 0},
      {"NotWave", Riff("AVI ", {fmt, data}), -2, "Wave format not found in file.",
       Leaves::Everything, 0},
      {"NoFormatChunk", Riff("WAVE", {Chunk("LIST", Bytes(4, 0)), data}), -3,
       "Format chunk not found.", Leaves::Everything, 0},
      {"FormatLargerThanMaximum", Riff("WAVE", {Chunk("fmt ", Bytes(52, 1)), data}), -4,
       "Format size in file doesn't match ACM's.", Leaves::Everything, 0},
      {"FormatReadShort", shortFmt, -4, "Error reading format chunk.", Leaves::FileFormat, 18},
      {"DataBeforeFormat", Riff("WAVE", {data, fmt}), -5, "Data chunk not found.",
       Leaves::FileFormat, 18},
      {"NoDataChunk", Riff("WAVE", {fmt, Chunk("fact", Bytes(4, 0))}), -5, "Data chunk not found.",
       Leaves::FileFormat, 18},
      {"EmptyData", Riff("WAVE", {fmt, Chunk("data", Bytes{})}), -6,
       "The data chunk contains no data.", Leaves::FileFormat, 18},
      // A chunk size that would send the platform's chunk search round in circles.
      {"LoopingChunkSize", Riff("WAVE", {Chunk("LIST", Bytes(4, 0), 0xFFFFFFF8), fmt, data}), -3,
       "Format chunk not found.", Leaves::Everything, 0},
      // Formats nothing can play, measure or step through: refused, the loaded file stays.
      {"ZeroBlockAlign", Riff("WAVE", {Chunk("fmt ", WithField16(kOtherFormat, 12, 0)), data}), -4,
       unusable, Leaves::PreviousFormat, 0},
      {"ZeroByteRate", Riff("WAVE", {Chunk("fmt ", WithField32(kOtherFormat, 8, 0)), data}), -4,
       unusable, Leaves::PreviousFormat, 0},
      {"ByteRateDisagreesWithSamples",
       Riff("WAVE", {Chunk("fmt ", WithField32(kOtherFormat, 8, 16000)), data}), -4, unusable,
       Leaves::PreviousFormat, 0},
      {"ZeroChannels", Riff("WAVE", {Chunk("fmt ", WithField16(kOtherFormat, 2, 0)), data}), -4,
       unusable, Leaves::PreviousFormat, 0},
      {"ExtraBytesBeyondTheBlock",
       Riff("WAVE", {Chunk("fmt ", WithField16(kOtherFormat, 16, 40)), data}), -4, unusable,
       Leaves::PreviousFormat, 0},
      {"ShortReadLeavingNoBlockAlign", truncatedHead, -4, "Error reading format chunk.",
       Leaves::PreviousFormat, 0},
      {"EmptyFormatChunk", Riff("WAVE", {Chunk("fmt ", Bytes{}), data}), -4, tooShort,
       Leaves::Everything, 0},
      {"FormatChunkOf14Bytes",
       Riff("WAVE", {Chunk("fmt ", Bytes(kOtherFormat.begin(), kOtherFormat.begin() + 14)), data}),
       -4, tooShort, Leaves::Everything, 0},
      // Blocks no buffer holds: nothing would ever be played or recorded.
      {"BlockLargerThanABuffer", Riff("WAVE", {Chunk("fmt ", PcmFormat(16001, 8000, 32)), data}),
       -4, tooLarge, Leaves::PreviousFormat, 0},
  };
}

void PrintTo(const FailureCase& c, std::ostream* os) {
  *os << c.name;
}

class OpenFailureTest : public WaveFileTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(OpenFailureTest, ReportsAndLeavesTheLoadedFileAlone) {
  const FailureCase& c = GetParam();
  LoadGoodFile();
  const std::string path = WriteFile("bad.wav", c.file);
  // A different drive letter before, so the change of driveRoot shows.
  g_context.driveRoot[0] = 'Q';
  SetCursor(LoadCursorA(nullptr, IDC_ARROW));
  const HCURSOR arrow = GetCursor();
  RecorderSnapshot expected = Snapshot();
  expected.filePath = path;
  expected.fileTitle = "bad.wav";
  expected.driveRoot = "C:\\";
  // Whatever the step, the loaded file's format block stays: Record and Play still use that
  // file, and its bytes are in that format.

  g_moments.clear();
  g_watchedFile = path;
  ScopedService box(sys.MessageBoxA, &RecordingBox);
  EXPECT_EQ(OpenPath(path), c.code);

  ASSERT_EQ(g_moments.size(), 1u);
  EXPECT_EQ(g_moments[0].text, c.message);
  EXPECT_EQ(g_moments[0].caption, "Error");
  EXPECT_EQ(g_moments[0].owner, window());
  EXPECT_EQ(g_moments[0].cursor, arrow);
  EXPECT_TRUE(g_moments[0].fileClosed);
  EXPECT_EQ(Snapshot(), expected);
  EXPECT_TRUE(FormatIsUsable(CurrentFormat, MaxFormatSize));
  EXPECT_STREQ(g_context.loadedPath, folder_.file("good.wav").c_str());
  EXPECT_STREQ(g_context.loadedTitle, "good.wav");  // what the Properties sheet names
}

// Without a loaded sound there is nothing to keep: a failure after the "fmt " chunk was read
// leaves its bytes in the format block when they form a usable format.
TEST_P(OpenFailureTest, WithoutALoadedSoundLeavesTheFilesUsableFormatBytes) {
  const FailureCase& c = GetParam();
  const std::string path = WriteFile("bad.wav", c.file);
  Bytes expected = FormatBytes();
  if (c.leaves == Leaves::FileFormat)
    std::copy(kOtherFormat.begin(), kOtherFormat.begin() + c.formatBytesRead, expected.begin());
  const RecorderSnapshot before = Snapshot();
  EXPECT_EQ(OpenPath(path), c.code);
  EXPECT_EQ(FormatBytes(), expected);
  EXPECT_TRUE(FormatIsUsable(CurrentFormat, MaxFormatSize));
  EXPECT_FALSE(g_context.fileLoaded);
  // A failed open has no follow-up: the buttons stay as they were.
  EXPECT_TRUE(std::equal(before.enabled, before.enabled + 5, Snapshot().enabled));
}

INSTANTIATE_TEST_SUITE_P(Rows, OpenFailureTest, ::testing::ValuesIn(FailureCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// A valid file past 2 GB (sparse here) is refused with a message that says why.
TEST_F(WaveFileTest, FileLargerThanTwoGigabytesIsRefusedWithItsReason) {
  LoadGoodFile();
  const std::string path =
      WriteFile("huge.wav", Riff("WAVE", {Chunk("fmt ", kOtherFormat), Chunk("data", Samples(8))}));
  HANDLE grow = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(grow, INVALID_HANDLE_VALUE);
  LARGE_INTEGER end;
  end.QuadPart = 0x80000000LL + 64;
  const bool grown = SetFilePointerEx(grow, end, nullptr, FILE_BEGIN) && SetEndOfFile(grow);
  CloseHandle(grow);
  ASSERT_TRUE(grown);
  RecorderSnapshot expected = Snapshot();
  expected.filePath = path;
  expected.fileTitle = "huge.wav";
  expected.driveRoot = "C:\\";

  EXPECT_EQ(OpenPath(path), -2);
  DeleteFileA(path.c_str());
  ASSERT_EQ(boxes_.boxes().size(), 1u);
  EXPECT_EQ(boxes_.boxes()[0].text, FileTooLargeMessage);
  EXPECT_EQ(boxes_.boxes()[0].caption, "Error");
  EXPECT_EQ(Snapshot(), expected);
}

TEST_F(WaveFileTest, UnreadableFileFailsBeforeTheWaitCursor) {
  LoadGoodFile();
  const std::string path = WriteFile(
      "locked.wav", Riff("WAVE", {Chunk("fmt ", kOtherFormat), Chunk("data", Samples(8))}));
  HANDLE lock = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  g_context.driveRoot[0] = 'Q';
  const HCURSOR cursorBefore = SetCursor(LoadCursorA(nullptr, IDC_ARROW));
  (void)cursorBefore;
  const HCURSOR arrow = GetCursor();
  g_context.savedCursor = nullptr;
  RecorderSnapshot expected = Snapshot();
  expected.filePath = path;
  expected.fileTitle = "locked.wav";
  expected.driveRoot = "C:\\";

  EXPECT_EQ(OpenPath(path), -1);
  CloseHandle(lock);
  ASSERT_EQ(boxes_.boxes().size(), 1u);
  EXPECT_EQ(boxes_.boxes()[0].text, "Open for read failed.");
  EXPECT_EQ(boxes_.boxes()[0].caption, "Error");
  EXPECT_EQ(Snapshot(), expected);
  EXPECT_EQ(GetCursor(), arrow);
  EXPECT_EQ(g_context.savedCursor, nullptr);  // no wait cursor was shown

  boxes_.clear();
  EXPECT_EQ(OpenPath(folder_.file("missing.wav")), -1);
  ASSERT_EQ(boxes_.boxes().size(), 1u);
  EXPECT_EQ(boxes_.boxes()[0].text, "Open for read failed.");
}

}  // namespace
