// File New: the exact layout of a new file, its effect on the window and the context, every
// failure while writing it, and reading it back.
#include <windows.h>
#include <commctrl.h>

#include <cstring>

#include "wave_fixture.h"

#include "state/context.h"
#include "recent/recent_list.h"
#include "resources/resource.h"
#include "wave/format.h"
#include "wave/wave_file.h"

namespace {

OPENFILENAMEA g_saveRecord;
std::string g_savePath;
int g_chooserCalls = 0;
WAVEFORMATEX g_chosenHead{};
bool g_chooserWrites = false;

BOOL WINAPI NameNewFile(LPOPENFILENAMEA record) {
  g_saveRecord = *record;
  lstrcpynA(record->lpstrFile, g_savePath.c_str(), record->nMaxFile);
  lstrcpynA(record->lpstrFileTitle, g_savePath.substr(g_savePath.rfind('\\') + 1).c_str(),
            record->nMaxFileTitle);
  return TRUE;
}

BOOL WINAPI CancelSave(LPOPENFILENAMEA record) {
  g_saveRecord = *record;
  return FALSE;
}

MMRESULT WINAPI AcceptFormat(LPACMFORMATCHOOSEA chooser) {
  ++g_chooserCalls;
  if (g_chooserWrites) std::memcpy(chooser->pwfx, &g_chosenHead, sizeof g_chosenHead);
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI CancelFormat(LPACMFORMATCHOOSEA) {
  ++g_chooserCalls;
  return ACMERR_CANCELED;
}

class NewFileTest : public WaveFileTest {
 protected:
  void SetUp() override {
    WaveFileTest::SetUp();
    g_savePath = folder_.file("new.wav");
    g_chooserCalls = 0;
    g_chooserWrites = false;
  }
  ScopedService<decltype(sys.GetSaveFileNameA)> save_{sys.GetSaveFileNameA, &NameNewFile};
  ScopedService<decltype(sys.acmFormatChooseA)> chooser_{sys.acmFormatChooseA, &AcceptFormat};
};

// Every field of a new file whose format block is `block` (M bytes, padded to an even size).
void ExpectNewLayout(const Bytes& file, const Bytes& block) {
  const size_t m = block.size();
  const size_t even = m + (m % 2);
  ASSERT_EQ(file.size(), 40 + even);
  EXPECT_EQ(FourCC(file, 0), "RIFF");
  EXPECT_EQ(Le32(file, 4), 32 + even);
  EXPECT_EQ(FourCC(file, 8), "WAVE");
  EXPECT_EQ(FourCC(file, 12), "fmt ");
  EXPECT_EQ(Le32(file, 16), m);
  EXPECT_EQ(Bytes(file.begin() + 20, file.begin() + 20 + m), block);
  if (m % 2) {
    EXPECT_EQ(file[20 + m], 0);
  }
  EXPECT_EQ(FourCC(file, 20 + even), "fact");
  EXPECT_EQ(Le32(file, 24 + even), 4u);
  EXPECT_EQ(Le32(file, 28 + even), 0u);
  EXPECT_EQ(FourCC(file, 32 + even), "data");
  EXPECT_EQ(Le32(file, 36 + even), 0u);
}

TEST_F(NewFileTest, WritesTheNinetyByteLayoutAndMakesItCurrent) {
  LoadGoodFile();
  // Bytes past the head go into the file as they are in memory.
  auto* block = reinterpret_cast<unsigned char*>(CurrentFormat);
  *CurrentFormat = WAVEFORMATEX{WAVE_FORMAT_PCM, 1, 11025, 11025, 1, 8, 0};
  for (DWORD i = 18; i < MaxFormatSize; ++i) block[i] = static_cast<unsigned char>(i * 3);
  const Bytes formatBlock = FormatBytes();
  SetCursor(LoadCursorA(nullptr, IDC_ARROW));
  const HCURSOR arrow = GetCursor();

  ASSERT_EQ(CreateWaveFile(window()), 0);
  EXPECT_TRUE(boxes_.boxes().empty());
  EXPECT_EQ(g_chooserCalls, 1);
  ExpectNewLayout(ReadWholeFile(g_savePath), formatBlock);

  EXPECT_EQ(g_context.dataOffset, 90u);
  EXPECT_EQ(g_context.dataSize, 0u);
  EXPECT_TRUE(g_context.fileLoaded);
  EXPECT_STREQ(g_context.driveRoot, "C:\\");
  EXPECT_EQ(GetCursor(), arrow);

  const RecorderSnapshot s = Snapshot();
  EXPECT_EQ(s.filePath, g_savePath);
  EXPECT_EQ(s.fileTitle, "new.wav");
  EXPECT_EQ(s.caption, "Audio Recorder - new.wav");
  EXPECT_EQ(s.sliderMin, 0);
  EXPECT_EQ(s.sliderMax, 0);
  EXPECT_EQ(s.sliderPos, 0);
  EXPECT_EQ(s.positionText, "00:00.0");
  EXPECT_EQ(s.lengthText, "00:00.0");
  EXPECT_NE(s.dataSizeText.find("0.0"), std::string::npos) << s.dataSizeText;
  // Only Record and the slider: nothing to play yet.
  EXPECT_FALSE(s.enabled[0] || s.enabled[1] || s.enabled[2] || s.enabled[3]);
  EXPECT_TRUE(s.enabled[4]);
  EXPECT_TRUE(s.sliderEnabled);
  ASSERT_EQ(s.recent.size(), 2u);
  EXPECT_EQ(s.recent[0], g_savePath);

  // The Save dialog asks before replacing a file and offers the current path; the Open
  // record names the current file from now on.
  EXPECT_EQ(g_saveRecord.lStructSize, static_cast<DWORD>(OPENFILENAME_SIZE_VERSION_400A));
  EXPECT_EQ(g_saveRecord.Flags, static_cast<DWORD>(OFN_OVERWRITEPROMPT));
  EXPECT_EQ(g_saveRecord.hwndOwner, window());
  EXPECT_EQ(g_saveRecord.lpstrFile, g_context.filePath);
  EXPECT_EQ(g_saveRecord.lpstrFileTitle, g_context.fileTitle);
  EXPECT_STREQ(g_saveRecord.lpstrDefExt, "WAV");
  EXPECT_EQ(g_saveRecord.nFilterIndex, 1u);
  EXPECT_EQ(OpenDialogRecord.lpstrFile, g_context.filePath);
  EXPECT_EQ(OpenDialogRecord.lStructSize, static_cast<DWORD>(OPENFILENAME_SIZE_VERSION_400A));
}

TEST_F(NewFileTest, OddMaximumSizeGetsAPadByteAndMovesEverythingAfterIt) {
  // A compression manager whose largest format is 51 bytes.
  Bytes odd(51);
  for (size_t i = 0; i < odd.size(); ++i) odd[i] = static_cast<unsigned char>(0xC0 + i);
  std::memcpy(odd.data(), CurrentFormat, sizeof(WAVEFORMATEX));
  WAVEFORMATEX* const realBlock = CurrentFormat;
  const DWORD realSize = MaxFormatSize;
  CurrentFormat = reinterpret_cast<WAVEFORMATEX*>(odd.data());
  MaxFormatSize = 51;
  const Bytes formatBlock = odd;

  const int result = CreateWaveFile(window());
  const DWORD offset = g_context.dataOffset;
  CurrentFormat = realBlock;
  MaxFormatSize = realSize;

  ASSERT_EQ(result, 0);
  const Bytes file = ReadWholeFile(g_savePath);
  ExpectNewLayout(file, formatBlock);
  ASSERT_EQ(file.size(), 92u);
  EXPECT_EQ(file[71], 0);
  EXPECT_EQ(FourCC(file, 72), "fact");
  EXPECT_EQ(FourCC(file, 84), "data");
  EXPECT_EQ(Le32(file, 4), 84u);
  EXPECT_EQ(offset, 40u + 52u);

  // This system's own maximum is smaller than the writer's: the file is refused.
  SetCursor(LoadCursorA(nullptr, IDC_ARROW));
  const HCURSOR arrow = GetCursor();
  boxes_.clear();
  EXPECT_EQ(OpenPath(g_savePath), -4);
  ASSERT_EQ(boxes_.boxes().size(), 1u);
  EXPECT_EQ(boxes_.boxes()[0].text, "Format size in file doesn't match ACM's.");
  EXPECT_EQ(GetCursor(), arrow);
  HANDLE h = CreateFileA(g_savePath.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(h, INVALID_HANDLE_VALUE) << "file left open";
  CloseHandle(h);
}

TEST_F(NewFileTest, AFormatWithoutRatesDividesNothing) {
  g_chooserWrites = true;
  g_chosenHead = WAVEFORMATEX{0x55, 1, 8000, 0, 0, 0, 0};
  ASSERT_EQ(CreateWaveFile(window()), 0);
  const Bytes file = ReadWholeFile(g_savePath);
  ASSERT_EQ(file.size(), 90u);
  EXPECT_EQ(Le32(file, 78), 0u);  // the sample count
  EXPECT_EQ(Snapshot().sliderMax, 0);
}

TEST_F(NewFileTest, ReplacesAnExistingFileAndReadsBackAfterRecording) {
  ASSERT_TRUE(WriteWholeFile(g_savePath, Bytes(5000, 0x11)));
  g_chooserWrites = true;
  g_chosenHead = WAVEFORMATEX{WAVE_FORMAT_PCM, 2, 22050, 88200, 4, 16, 0};
  ASSERT_EQ(CreateWaveFile(window()), 0);
  Bytes file = ReadWholeFile(g_savePath);
  ASSERT_EQ(file.size(), 90u);

  // What a recording adds: payload at dataOffset, then the two size fields patched.
  const Bytes samples = Samples(4410);
  file.insert(file.end(), samples.begin(), samples.end());
  const uint32_t dataSize = static_cast<uint32_t>(samples.size());
  for (int i = 0; i < 4; ++i) {
    file[86 + i] = (dataSize >> (8 * i)) & 0xFF;
    file[4 + i] = ((82 + dataSize) >> (8 * i)) & 0xFF;
  }
  ASSERT_TRUE(WriteWholeFile(g_savePath, file));
  const Bytes blockBefore = FormatBytes();

  *CurrentFormat = WAVEFORMATEX{WAVE_FORMAT_PCM, 1, 11025, 11025, 1, 8, 0};
  boxes_.clear();
  ASSERT_EQ(OpenPath(g_savePath), 0);
  EXPECT_TRUE(boxes_.boxes().empty());
  EXPECT_EQ(g_context.dataOffset, 90u);
  EXPECT_EQ(g_context.dataSize, 4410u);
  EXPECT_EQ(FormatBytes(), blockBefore);
  EXPECT_EQ(Snapshot().sliderMax, 4410 / 4);
  EXPECT_EQ(Snapshot().lengthText, "00:00.0");  // 4410 bytes at 88200 per second
}

TEST_F(NewFileTest, CancelledSaveOnlyForgetsTheLoadedFile) {
  LoadGoodFile();
  RecorderSnapshot expected = Snapshot();
  expected.fileLoaded = false;
  ScopedService cancel(sys.GetSaveFileNameA, &CancelSave);
  EXPECT_EQ(CreateWaveFile(window()), 0);
  EXPECT_EQ(g_chooserCalls, 0);
  EXPECT_EQ(Snapshot(), expected);
  EXPECT_TRUE(boxes_.boxes().empty());
  EXPECT_EQ(GetFileAttributesA(g_savePath.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(NewFileTest, CancelledFormatChoiceCreatesAndTruncatesNothing) {
  LoadGoodFile();
  const Bytes existing = Samples(777);
  ASSERT_TRUE(WriteWholeFile(g_savePath, existing));
  RecorderSnapshot expected = Snapshot();
  expected.filePath = g_savePath;
  expected.fileTitle = "new.wav";
  ScopedService cancel(sys.acmFormatChooseA, &CancelFormat);
  EXPECT_EQ(CreateWaveFile(window()), 0);
  EXPECT_EQ(g_chooserCalls, 1);
  EXPECT_TRUE(boxes_.boxes().empty());
  EXPECT_EQ(ReadWholeFile(g_savePath), existing);
  EXPECT_EQ(Snapshot(), expected);
}

// ---- Failures while writing ----

enum class Breaks { Open, CreateChunk, Write, Ascend };

struct WriteFailure {
  const char* name;
  Breaks what;
  int call;  // which call of that kind fails (1 = first)
  int code;
  const char* message;
};

int g_calls = 0;
int g_failingCall = 0;

HMMIO WINAPI NoFile(LPSTR, LPMMIOINFO, DWORD) {
  return nullptr;
}
MMRESULT WINAPI CreateChunkFailingOnce(HMMIO h, LPMMCKINFO ck, UINT flags) {
  if (++g_calls == g_failingCall) return MMIOERR_CANNOTWRITE;
  return mmioCreateChunk(h, ck, flags);
}
LONG WINAPI WriteFailingOnce(HMMIO h, const char* bytes, LONG count) {
  if (++g_calls == g_failingCall) return count > 1 ? count - 1 : -1;
  return mmioWrite(h, bytes, count);
}
MMRESULT WINAPI AscendFailingOnce(HMMIO h, LPMMCKINFO ck, UINT flags) {
  if (++g_calls == g_failingCall) return MMIOERR_CANNOTWRITE;
  return mmioAscend(h, ck, flags);
}

void PrintTo(const WriteFailure& c, std::ostream* os) {
  *os << c.name;
}

class NewFailureTest : public NewFileTest, public ::testing::WithParamInterface<WriteFailure> {};

TEST_P(NewFailureTest, ReportsKeepsThePartialFileAndTheLoadedOne) {
  const WriteFailure& c = GetParam();
  LoadGoodFile();
  SetCursor(LoadCursorA(nullptr, IDC_ARROW));
  const HCURSOR arrow = GetCursor();
  const RecorderSnapshot before = Snapshot();
  // A format other than the loaded file's (16-bit stereo 44,100 Hz) is chosen for the new file.
  g_chooserWrites = true;
  g_chosenHead = WAVEFORMATEX{WAVE_FORMAT_PCM, 1, 11025, 11025, 1, 8, 0};

  g_calls = 0;
  g_failingCall = c.call;
  g_moments.clear();
  g_watchedFile = g_savePath;
  ScopedService box(sys.MessageBoxA, &RecordingBox);
  ScopedService open(sys.mmioOpenA, c.what == Breaks::Open ? &NoFile : sys.mmioOpenA);
  ScopedService create(sys.mmioCreateChunk, c.what == Breaks::CreateChunk ? &CreateChunkFailingOnce
                                                                          : sys.mmioCreateChunk);
  ScopedService write(sys.mmioWrite, c.what == Breaks::Write ? &WriteFailingOnce : sys.mmioWrite);
  ScopedService ascend(sys.mmioAscend,
                       c.what == Breaks::Ascend ? &AscendFailingOnce : sys.mmioAscend);

  EXPECT_EQ(CreateWaveFile(window()), c.code);
  ASSERT_EQ(g_moments.size(), 1u);
  EXPECT_EQ(g_moments[0].text, c.message);
  EXPECT_EQ(g_moments[0].caption, "Error");
  EXPECT_EQ(g_moments[0].cursor, arrow);
  EXPECT_TRUE(g_moments[0].fileClosed);
  EXPECT_EQ(GetCursor(), arrow);

  // The partial file stays on disk; only a failed create leaves none.
  const bool exists = GetFileAttributesA(g_savePath.c_str()) != INVALID_FILE_ATTRIBUTES;
  EXPECT_EQ(exists, c.what != Breaks::Open);

  const RecorderSnapshot after = Snapshot();
  EXPECT_EQ(after.filePath, g_savePath);
  EXPECT_EQ(after.fileTitle, "new.wav");
  EXPECT_EQ(after.fileLoaded, before.fileLoaded);
  EXPECT_EQ(after.dataOffset, before.dataOffset);
  EXPECT_EQ(after.driveRoot, before.driveRoot);
  EXPECT_EQ(after.caption, before.caption);
  EXPECT_EQ(after.recent, before.recent);
  // The loaded sound stays current as it was, in the format that describes its bytes: Record
  // and Play keep using it as it is, and the Properties sheet names it.
  EXPECT_EQ(after.format, before.format);
  EXPECT_EQ(after.tagName, before.tagName);
  EXPECT_EQ(after.detailsText, before.detailsText);
  EXPECT_EQ(after.dataSize, before.dataSize);
  EXPECT_EQ(after.sliderMax, before.sliderMax);
  EXPECT_EQ(std::vector<bool>(after.enabled, after.enabled + 5),
            std::vector<bool>(before.enabled, before.enabled + 5));
  EXPECT_STREQ(g_context.loadedTitle, "good.wav");
}

INSTANTIATE_TEST_SUITE_P(
    Rows, NewFailureTest,
    ::testing::Values(
        WriteFailure{"CannotCreate", Breaks::Open, 1, -1, "Error opening file for write."},
        WriteFailure{"RiffForm", Breaks::CreateChunk, 1, -2, "Error creating RIFF wave chunk."},
        WriteFailure{"FormatChunk", Breaks::CreateChunk, 2, -3,
                     "Error creating RIFF format chunk."},
        WriteFailure{"FormatBytes", Breaks::Write, 1, -3, "Error writing RIFF format data."},
        WriteFailure{"FactChunk", Breaks::CreateChunk, 3, -4, "Error creating RIFF 'fact' chunk."},
        WriteFailure{"FactBytes", Breaks::Write, 2, -4, "Error writing RIFF 'fact' data."},
        WriteFailure{"DataChunk", Breaks::CreateChunk, 4, -5, "Error creating RIFF data chunk."},
        // Chunk sizes that could not be fixed leave no usable file: reported, not made current.
        WriteFailure{"FormatSizeNotFixed", Breaks::Ascend, 1, -3,
                     "Error writing RIFF format data."},
        WriteFailure{"FactSizeNotFixed", Breaks::Ascend, 2, -4, "Error writing RIFF 'fact' data."},
        WriteFailure{"DataSizeNotFixed", Breaks::Ascend, 3, -5, "Error creating RIFF data chunk."},
        WriteFailure{"RiffSizeNotFixed", Breaks::Ascend, 4, -5, "Error creating RIFF data chunk."}),
    [](const auto& info) { return std::string(info.param.name); });

// Creating over the loaded file, by whatever name, empties it at once: after a failure nothing
// is loaded any more, and nothing shows the old file's figures.
struct LoadedFileName {
  const char* name;
  std::string (*alias)(const std::string& path);
  bool openFails;  // the open itself fails once it has emptied the file
};

std::string SameName(const std::string& path) {
  return path;
}
std::string ShortName(const std::string& path) {
  char shortPath[MAX_PATH] = "";
  GetShortPathNameA(path.c_str(), shortPath, MAX_PATH);
  return shortPath;
}

HMMIO WINAPI EmptyThenFail(LPSTR path, LPMMIOINFO info, DWORD flags) {
  if (HMMIO file = RealServices().mmioOpenA(path, info, flags)) mmioClose(file, 0);
  return nullptr;
}

void PrintTo(const LoadedFileName& c, std::ostream* os) {
  *os << c.name;
}

class NewOverLoadedTest : public NewFileTest,
                          public ::testing::WithParamInterface<LoadedFileName> {};

TEST_P(NewOverLoadedTest, AFailureAfterEmptyingTheLoadedFileLeavesNothingLoaded) {
  const LoadedFileName& c = GetParam();
  LoadGoodFile();
  g_savePath = c.alias(folder_.file("good.wav"));
  ASSERT_FALSE(g_savePath.empty());
  if (c.alias != &SameName) {
    ASSERT_NE(g_savePath, g_context.loadedPath);
  }
  g_calls = 0;
  g_failingCall = 2;
  ScopedService create(sys.mmioCreateChunk, &CreateChunkFailingOnce);
  ScopedService open(sys.mmioOpenA, c.openFails ? &EmptyThenFail : sys.mmioOpenA);
  EXPECT_EQ(CreateWaveFile(window()), c.openFails ? -1 : -3);
  ASSERT_EQ(boxes_.boxes().size(), 1u);
  EXPECT_EQ(boxes_.boxes()[0].text,
            c.openFails ? "Error opening file for write." : "Error creating RIFF format chunk.");
  const RecorderSnapshot after = Snapshot();
  EXPECT_FALSE(after.fileLoaded);
  EXPECT_EQ(after.dataSize, 0u);
  EXPECT_EQ(after.sliderMax, 0);
  EXPECT_EQ(after.sliderPos, 0);
  EXPECT_EQ(after.positionText, "00:00.0");
  EXPECT_EQ(after.lengthText, "00:00.0");
  EXPECT_NE(after.dataSizeText.find(" 0.0 KB"), std::string::npos) << after.dataSizeText;
  EXPECT_EQ(after.caption, "Audio Recorder");
  for (int i = 0; i < 5; ++i) EXPECT_FALSE(after.enabled[i]) << "button " << i;
  EXPECT_STREQ(g_context.loadedPath, "");
}

INSTANTIATE_TEST_SUITE_P(Names, NewOverLoadedTest,
                         ::testing::Values(LoadedFileName{"SameName", &SameName, false},
                                           LoadedFileName{"ShortName", &ShortName, false},
                                           LoadedFileName{"OpenFailsAfterEmptying", &SameName,
                                                          true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
