// The recorder's failures against the fake input device: every failure with its message and
// what it leaves.
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstring>
#include <string>

#include <gmock/gmock.h>

#include "state/context.h"
#include "app/main_dialog.h"
#include "engine/engine_fixture.h"
#include "engine/recorder_fixture.h"
#include "engine/recorder.h"
#include "resources/resource.h"
#include "support/engine_released.h"
#include "support/fake_wave_device.h"
#include "wave/format.h"

namespace {

using ::testing::ElementsAre;

std::atomic<int> g_readWriteOpens{0};
HMMIO WINAPI FailSecondReadWriteOpen(LPSTR path, LPMMIOINFO info, DWORD flags) {
  if (flags == MMIO_READWRITE && ++g_readWriteOpens == 2) return nullptr;
  return ::mmioOpenA(path, info, flags);
}

LONG WINAPI FailingDataWrite(HMMIO file, LPCSTR data, LONG count) {
  return count > 4 ? -1 : ::mmioWrite(file, data, count);
}
// Answers for every byte of a block and writes none of it.
LONG WINAPI VanishingDataWrite(HMMIO file, LPCSTR data, LONG count) {
  return count > 4 ? count : ::mmioWrite(file, data, count);
}

// Failure rows: message, caption, result and what each leaves.

TEST_F(RecorderTest, DeviceThatDoesNotOpen) {
  const std::string path = NewFile();
  in_.fail.open = MMSYSERR_ALLOCATED;
  EXPECT_EQ(StartRecording(window_), -1);
  EXPECT_THAT(Boxes(), ElementsAre("Error|Could not open the input device for recording."));
  EXPECT_TRUE(EngineReleased(&in_));
}

TEST_F(RecorderTest, FormatWithoutAnEncoderIsNamedAndNoDeviceOpened) {
  NewFile();
  CurrentFormat->wFormatTag = WAVE_FORMAT_ADPCM;  // Microsoft ADPCM: decoder only
  CurrentFormat->wBitsPerSample = 4;
  CurrentFormat->nBlockAlign = 256;
  EXPECT_EQ(StartRecording(window_), -1);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_NE(Boxes()[0].find("cannot record in the"), std::string::npos) << Boxes()[0];
  EXPECT_EQ(in_.Opens(), 0);
  EXPECT_TRUE(EngineReleased(&in_));
}

TEST_F(RecorderTest, HeaderPreparationResultsShowTheirBoxAndTheStartGoesOn) {
  const std::string path = NewFile();
  const struct {
    MMRESULT code;
    const char* box;
  } cases[] = {{5, "Error!|Invalid handle!"},
               {6, "Error!|No driver!"},
               {7, "Error!|Could not lock or allocate memory"},
               {11, nullptr}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    boxes_->clear();
    in_.fail.prepare[1] = c.code;
    // The unprepared header is refused when it is added: the start goes that far.
    EXPECT_EQ(StartRecording(window_), -6);
    std::vector<std::string> expected;
    if (c.box) expected.push_back(c.box);
    expected.push_back("Error|Error adding buffer.");
    EXPECT_EQ(Boxes(), expected);
    EXPECT_EQ(boxes_->boxes().front().owner, c.box ? nullptr : window_);
    EXPECT_TRUE(EngineReleased(&in_));
  }
}

TEST_F(RecorderTest, FileThatCannotBeOpenedEndsTheRunCleanly) {
  const std::string path = NewFile();
  ASSERT_TRUE(DeleteFileA(path.c_str()));
  EXPECT_EQ(StartRecording(window_), -1);
  EXPECT_THAT(Boxes(), ElementsAre("Error|Error opening file for write."));
  EXPECT_TRUE(EngineReleased(&in_));
  EXPECT_TRUE(in_.Misuse().empty());
  EXPECT_EQ(in_.Closes(), 1);
  EXPECT_TRUE(Enabled(IDC_RECORD));
}

TEST_F(RecorderTest, FileWithoutItsStructureIsLeftAsItWas) {
  const std::string path = NewFile();
  auto bytes = ReadWholeFile(path);
  const struct {
    size_t at;
    const char* id;
    int code;
    const char* box;
  } cases[] = {{8, "WAVX", -2, "Error|Wave format not found in file."},
               {bytes.size() - 8, "dat_", -3, "Error|data chunk not found."}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    boxes_->clear();
    auto broken = bytes;
    std::memcpy(broken.data() + c.at, c.id, 4);
    ASSERT_TRUE(WriteWholeFile(path, broken));
    EXPECT_EQ(StartRecording(window_), c.code);
    EXPECT_THAT(Boxes(), ElementsAre(c.box));
    EXPECT_TRUE(EngineReleased(&in_));
    EXPECT_TRUE(ReadWholeFile(path) == broken);
  }
  EXPECT_TRUE(in_.Misuse().empty());
}

TEST_F(RecorderTest, DeviceThatDoesNotStartLeavesTheDataAsItWas) {
  UseWaveFile(folder_->file("old.wav"), Pattern(5000));
  const auto before = ReadWholeFile(g_context.filePath);
  SetSlider(1000);
  in_.fail.start = MMSYSERR_ERROR;
  EXPECT_EQ(StartRecording(window_), -5);
  EXPECT_THAT(Boxes(), ElementsAre("Error|Error starting wave record."));
  EXPECT_TRUE(EngineReleased(&in_));
  // Nothing was recorded, so the declared size is not cut at the slider.
  EXPECT_TRUE(ReadWholeFile(g_context.filePath) == before);
  EXPECT_EQ(g_context.dataSize, 5000u);
}

TEST_F(RecorderTest, RefusedBuffersStopTheRun) {
  const std::string path = NewFile();
  // The n-th add of the device's life is refused; each start adds two.
  in_.fail.refuseQueueNumber = 1;
  EXPECT_EQ(StartRecording(window_), -3);
  EXPECT_THAT(Boxes(), ElementsAre("Error|Error adding buffer."));
  EXPECT_TRUE(EngineReleased(&in_));
  boxes_->clear();
  in_.fail.refuseQueueNumber = 3;  // the second add of the next run
  EXPECT_EQ(StartRecording(window_), -6);
  EXPECT_THAT(Boxes(), ElementsAre("Error|Error adding buffer."));
  EXPECT_TRUE(EngineReleased(&in_));

  // Refused when the callback hands a buffer back: the window's thread stops the run.
  boxes_->clear();
  in_.fail.refuseQueueNumber = 6;
  ASSERT_EQ(StartRecording(window_), 0);
  ASSERT_TRUE(PumpUntil([&] { return !Boxes().empty(); }));
  PumpFor(50);
  EXPECT_THAT(Boxes(), ElementsAre("Error|Error adding buffer."));
  EXPECT_TRUE(EngineReleased(&in_));
  const WaveOnDisk wave = ReadWave(path);
  EXPECT_TRUE(wave.valid);
  EXPECT_GE(wave.dataSize, 64000u);
  EXPECT_TRUE(wave.Data() == Captured(0, wave.dataSize));
  EXPECT_TRUE(in_.Misuse().empty());
}

// A write that fails, or answers for bytes that never reach the file: the run stops with the
// message, and the sizes claim only what the file holds.
TEST_F(RecorderTest, FailedWriteStopsTheRun) {
  for (const auto write : {&FailingDataWrite, &VanishingDataWrite}) {
    const std::string path = NewFile();
    ScopedService failing(sys.mmioWrite, write);
    ASSERT_EQ(StartRecording(window_), 0);
    ASSERT_TRUE(PumpUntil([&] { return !Boxes().empty(); }));
    PumpFor(50);
    EXPECT_THAT(Boxes(),
                ElementsAre("Error|Error writing data to file.  Your hard disk may be full!"));
    EXPECT_TRUE(EngineReleased(&in_));
    const WaveOnDisk wave = ReadWave(path);
    EXPECT_TRUE(wave.valid);
    EXPECT_EQ(wave.bytes.size(), wave.dataOffset + wave.dataSize);
    boxes_->clear();
  }
}

TEST_F(RecorderTest, StoppingAndFinishingFailuresAreToldAndTheRunStillEnds) {
  const std::string path = NewFile();
  in_.fail.stop = MMSYSERR_ERROR;
  in_.fail.reset = MMSYSERR_ERROR;
  in_.fail.unprepare[0] = MMSYSERR_ERROR;
  in_.fail.unprepare[1] = MMSYSERR_ERROR;
  in_.fail.close = MMSYSERR_ERROR;
  RecordFor(70000);
  EXPECT_THAT(Boxes(), ElementsAre("Error|Error in waveInStop", "Error|Error in waveInReset",
                                   "Error|Error in waveInUnprepareHeader (1)",
                                   "Error|Error in waveInUnprepareHeader (2)",
                                   "Error|Error closing input device."));
  EXPECT_FALSE(g_context.deviceOpen);
  EXPECT_EQ(g_context.state, RecorderState::Idle);
  EXPECT_EQ(ReadWave(path).dataSize, in_.Captured());
  in_.fail.close = 0;
  in_.Close();
}

TEST_F(RecorderTest, FileThatCannotBeReopenedForTheSizesKeepsThoseOfTheLastBuffer) {
  const std::string path = NewFile();
  g_readWriteOpens = 0;
  ScopedService open(sys.mmioOpenA, &FailSecondReadWriteOpen);
  RecordFor(70000);
  EXPECT_THAT(Boxes(), ElementsAre("Error|Error opening file for write."));
  EXPECT_TRUE(EngineReleased(&in_));
  const WaveOnDisk wave = ReadWave(path);
  EXPECT_EQ(wave.dataSize, in_.Captured());
  EXPECT_EQ(wave.riffSize, wave.dataOffset + wave.dataSize - 8);
  EXPECT_TRUE(Enabled(IDC_PLAY));
}

TEST_F(RecorderTest, DeviceThatStopsDeliveringEndsTheRunWithAMessage) {
  SetPcm(2, 44100, 16);  // two buffers last under a second: the limit is the 5 s floor
  const std::string path = NewFile();
  ASSERT_EQ(StartRecording(window_), 0);
  ASSERT_TRUE(PumpUntil([&] { return g_context.position >= 64000; }));
  in_.Pause();  // the device goes quiet: its count stands still
  const DWORD quiet = GetTickCount();
  ASSERT_TRUE(PumpUntil([&] { return !Boxes().empty(); }, 8000));
  EXPECT_GE(GetTickCount() - quiet, 4500u);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_NE(Boxes()[0].find("stopped delivering sound"), std::string::npos);
  EXPECT_TRUE(EngineReleased(&in_));
  const WaveOnDisk wave = ReadWave(path);
  EXPECT_EQ(wave.dataSize, in_.Captured());
  EXPECT_TRUE(wave.Data() == Captured(0, wave.dataSize));
}

// The first block's write stalls for longer than the other buffer lasts (a disk waking up).
std::atomic<bool> g_stallNextWrite{false};
LONG WINAPI StallingDataWrite(HMMIO file, LPCSTR data, LONG count) {
  if (count > 4 && g_stallNextWrite.exchange(false)) Sleep(1500);
  return ::mmioWrite(file, data, count);
}

// The device had nowhere to put the sound meanwhile: the stop says how much is missing, and
// the file holds every byte that came back.
TEST_F(RecorderTest, SoundLostToASlowDiskIsToldWithHowMuch) {
  in_.SetRate(200);
  in_.losesSoundWhileDry = true;
  const std::string path = NewFile();
  g_stallNextWrite = true;
  ScopedService write(sys.mmioWrite, &StallingDataWrite);
  RecordFor(3 * 64000);
  ASSERT_GT(in_.Lost(), 0u);
  EXPECT_THAT(Boxes(), ElementsAre(::testing::HasSubstr("(" + std::to_string(in_.Lost()) +
                                                        " bytes) could not be saved")));
  EXPECT_EQ(ReadWave(path).dataSize, in_.Captured());
  EXPECT_TRUE(EngineReleased(&in_));
}

MMRESULT WINAPI FailingPosition(HWAVEIN, LPMMTIME, UINT) {
  return MMSYSERR_NOTSUPPORTED;
}
MMRESULT WINAPI FrozenPosition(HWAVEIN, LPMMTIME time, UINT) {
  time->u.cb = 0;
  return MMSYSERR_NOERROR;
}

// At the default format one buffer lasts 5.8 s, longer than the watch's 5 s floor: a device
// whose position call fails or stands still must not have its healthy recording ended.
TEST_F(RecorderTest, HealthyRecordingOutlastsTheStallWatchWithoutAPositionCount) {
  const struct {
    const char* name;
    decltype(PlatformServices::waveInGetPosition) position;
  } cases[] = {{"fails", &FailingPosition}, {"stands still", &FrozenPosition}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedService position(sys.waveInGetPosition, c.position);
    const std::string path = NewFile();
    // Six seconds with no buffer back, as before the first of a slow-filling device: longer
    // than the 5 s floor, shorter than two buffers' 11.6 s.
    in_.Pause();
    ASSERT_EQ(StartRecording(window_), 0);
    EXPECT_FALSE(PumpUntil(
        [&] { return !Boxes().empty() || g_context.state != RecorderState::Recording; }, 6000));
    in_.Resume();
    ASSERT_TRUE(PumpUntil([&] { return in_.Captured() >= 70000; }));
    StopRecording(window_);
    EXPECT_EQ(ReadWave(path).dataSize, in_.Captured());
    EXPECT_TRUE(Boxes().empty());
    boxes_->clear();
  }
}

// The disk fills after the first buffer and the final sizes cannot be written either: one
// event, one box that says both.
std::atomic<int> g_freeCalls{0};
BOOL WINAPI FreeSpaceForOneBuffer(LPCSTR, PULARGE_INTEGER available, PULARGE_INTEGER,
                                  PULARGE_INTEGER) {
  if (available) available->QuadPart = ++g_freeCalls == 1 ? 1ull << 30 : 0;
  return TRUE;
}

TEST_F(RecorderTest, AFailedSizePatchAfterAStoredFailureIsToldInTheSameBox) {
  const std::string path = NewFile();
  g_freeCalls = 0;
  g_readWriteOpens = 0;
  ScopedService free(sys.GetDiskFreeSpaceExA, &FreeSpaceForOneBuffer);
  ScopedService open(sys.mmioOpenA, &FailSecondReadWriteOpen);
  ASSERT_EQ(StartRecording(window_), 0);
  ASSERT_TRUE(PumpUntil([&] { return EngineReleased(&in_) && !Boxes().empty(); }));
  PumpFor(50);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_NE(Boxes()[0].find("Your hard disk is full!  Cannot save any more samples!"),
            std::string::npos)
      << Boxes()[0];
  EXPECT_NE(Boxes()[0].find("Error opening file for write."), std::string::npos) << Boxes()[0];
  // The sizes of the buffer written stand in the file.
  EXPECT_EQ(ReadWave(path).dataSize, 64000u);
}

// The "Error!" boxes of a start have no owner, so the window stays enabled under them: a
// command chosen meanwhile must not run (File Open or New would change the file and the
// format under the starting run).
int g_fileDialogs = 0;
BOOL WINAPI CountFileDialog(LPOPENFILENAMEA) {
  ++g_fileDialogs;
  return FALSE;
}
int WINAPI BoxThatChoosesCommands(HWND, LPCSTR, LPCSTR, UINT) {
  for (WPARAM command : {WPARAM{IDM_OPEN}, WPARAM{IDM_NEW}})
    MainDialogProc(g_context.mainWindow, WM_COMMAND, command, 0);
  return IDOK;
}

TEST_F(RecorderTest, NoCommandRunsInsideTheBoxesOfAStart) {
  const std::string path = NewFile();
  g_fileDialogs = 0;
  ScopedService open(sys.GetOpenFileNameA, &CountFileDialog);
  ScopedService save(sys.GetSaveFileNameA, &CountFileDialog);
  ScopedService box(sys.MessageBoxA, &BoxThatChoosesCommands);
  in_.fail.prepare[0] = MMSYSERR_INVALHANDLE;  // "Invalid handle!", without owner
  in_.fail.refuseQueueNumber = 1;              // and "Error adding buffer."
  EXPECT_EQ(StartRecording(window_), -3);
  EXPECT_EQ(g_fileDialogs, 0);
  EXPECT_TRUE(EngineReleased(&in_));
  EXPECT_EQ(g_context.fileLoaded, true);
  EXPECT_STREQ(g_context.loadedPath, path.c_str());
}

}  // namespace
