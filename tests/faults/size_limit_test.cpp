// Recording at the end of sparse files whose data reaches close to 2 GiB (the file services'
// signed 32-bit offsets) and close to 4 GiB (the format's 32-bit sizes): the program stops, or
// refuses to start, before any size or offset overflows, says why, and the file stays valid.
#include <gtest/gtest.h>

#include <cstdio>

#include "faults/fault_support.h"
#include "resources/resource.h"
#include "support/test_support.h"
#include "support/wave_builder.h"

using recorder_driver::RecorderApp;

namespace {

constexpr std::uint32_t HeaderBytes = 44;  // RIFF, a 16-byte "fmt " chunk, the data header
constexpr std::uint64_t MaxSignedOffset = 0x7FFFFFFF;

// A 16-bit stereo wave file with `dataSize` bytes of silence, sparse on disk.
bool WriteSparseWave(const std::string& path, std::uint32_t dataSize) {
  const Bytes header =
      Riff("WAVE", {Chunk("fmt ", PcmFormat(2, 44100, 16)), Chunk("data", {}, dataSize)},
           HeaderBytes - 8 + dataSize);
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = header.size() == HeaderBytes &&
            WriteFile(file, header.data(), HeaderBytes, &written, nullptr) &&
            written == HeaderBytes;
  LARGE_INTEGER end{};
  end.QuadPart = static_cast<LONGLONG>(HeaderBytes) + dataSize;
  ok = ok && SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
  CloseHandle(file);
  return ok;
}

struct LimitRun {
  std::string opened;  // empty when Open took the file
  std::optional<recorder_driver::MessageBoxInfo> box;
  WaveHeader before;
  WaveHeader after;
};

// Opens the file, moves the slider to the end and records until the program stops; a file
// Open refuses (with its message acknowledged) is not recorded into.
void RecordAtTheEnd(const std::string& path, LimitRun& run) {
  run.before = ReadWaveHeader(path);
  RecorderApp app;
  ASSERT_TRUE(app.Start()) << app.LastError();
  run.opened = OpenThroughDialog(app, path);
  if (run.opened.empty()) {
    ASSERT_TRUE(app.ClickButton(IDC_FORWARD));
    ASSERT_TRUE(app.ClickButton(IDC_RECORD));
    run.box = app.WaitForMessageBox({}, 15000);
    if (run.box) {
      std::printf("message: \"%s\": \"%s\"\n", run.box->caption.c_str(), run.box->text.c_str());
      EXPECT_EQ(run.box->caption, "Error");
      EXPECT_NE(run.box->text.find("size"), std::string::npos) << "the message does not say why";
      EXPECT_TRUE(RecorderApp::PressOk(run.box->window));
    } else {
      ADD_FAILURE() << "no message within 15 s of recording at the end";
      app.ClickButton(IDC_STOP);
    }
    EXPECT_TRUE(WaitUntilIdle(app, 5000));
  } else {
    std::printf("refused at Open: %s\n", run.opened.c_str());
  }
  EXPECT_TRUE(app.Sync()) << "the program does not answer";
  EXPECT_TRUE(app.NoMessageBoxWithin(300));
  app.Close();
  EXPECT_EQ(app.WaitForExit(), 0u);
  run.after = ReadWaveHeader(path);
  std::printf("data %u -> %u bytes, file %llu -> %llu bytes\n", run.before.dataSize,
              run.after.dataSize, static_cast<unsigned long long>(run.before.fileLength),
              static_cast<unsigned long long>(run.after.fileLength));
  EXPECT_TRUE(run.after.Consistent());
  const SoxReading sox = ReadWithSox(path, false);
  ASSERT_TRUE(sox.ok) << sox.error;
  EXPECT_EQ(sox.samples * 4, run.after.dataSize);
}

class SizeLimit : public ::testing::Test {
 protected:
  TempFolder folder_;
};

TEST_F(SizeLimit, RecordingAtTheEndOfDataCloseToTwoGigabytesStopsBeforeTheOffsetsOverflow) {
  // Room for three more buffers before the last signed 32-bit offset.
  const std::uint32_t end = static_cast<std::uint32_t>((MaxSignedOffset - 3 * kBufferBytes) & ~3u);
  const std::string path = folder_.file("two.wav");
  ASSERT_TRUE(WriteSparseWave(path, end - HeaderBytes));
  LimitRun run;
  RecordAtTheEnd(path, run);
  EXPECT_EQ(run.opened, "");
  ASSERT_TRUE(run.box);
  EXPECT_LE(std::uint64_t{run.after.dataOffset} + run.after.dataSize, MaxSignedOffset);
  EXPECT_LE(run.after.fileLength, MaxSignedOffset + 1);
  // Everything recorded is kept, up to the limit.
  EXPECT_GE(run.after.dataSize, run.before.dataSize + 2 * kBufferBytes);
  const auto added = ReadFileRange(path, run.after.dataOffset + std::uint64_t{run.before.dataSize},
                                   run.after.dataSize - run.before.dataSize);
  EXPECT_EQ(CheckKnownSignal(added), "");
}

// Past 2 GiB the file services cannot reach the end of the data: the program may refuse the file
// at Open, or refuse to record at its end; either way it says so and the file stays untouched.
TEST_F(SizeLimit, DataCloseToFourGigabytesIsRefusedWithAMessageAndTheFileKept) {
  const std::uint32_t dataSize = 0xFFFF0000u;
  const std::string path = folder_.file("four.wav");
  ASSERT_TRUE(WriteSparseWave(path, dataSize));
  ASSERT_TRUE(ReadWaveHeader(path).Consistent());
  LimitRun run;
  RecordAtTheEnd(path, run);
  if (run.opened.empty()) {
    EXPECT_TRUE(run.box) << "recording at the end of the data went on without a message";
  } else {
    // OpenThroughDialog has acknowledged Open's message.
    EXPECT_EQ(run.opened.rfind("Open showed Error: ", 0), 0u) << run.opened;
  }
  EXPECT_EQ(run.after.dataSize, run.before.dataSize);
  EXPECT_EQ(run.after.riffSize, run.before.riffSize);
  EXPECT_EQ(run.after.fileLength, run.before.fileLength);
}

}  // namespace
