// The recorder against the fake input device: what reaches the file and what the window shows,
// free space and the largest file, buffers a device keeps, and the system kept awake.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>

#include <gmock/gmock.h>

#include "state/context.h"
#include "engine/buffer_pool.h"
#include "engine/engine_fixture.h"
#include "engine/recorder_fixture.h"
#include "engine/recorder.h"
#include "resources/resource.h"
#include "support/engine_released.h"
#include "support/fake_wave_device.h"
#include "wave/format.h"

namespace {

using ::testing::ElementsAre;

std::atomic<DWORDLONG> g_freeBytes{~0ull >> 8};
char g_freeQuery[MAX_PATH] = "";
BOOL WINAPI FakeFreeSpace(LPCSTR folder, PULARGE_INTEGER available, PULARGE_INTEGER total,
                          PULARGE_INTEGER free) {
  lstrcpynA(g_freeQuery, folder ? folder : "(null)", sizeof g_freeQuery);
  if (available) available->QuadPart = g_freeBytes;
  if (total) total->QuadPart = g_freeBytes;
  if (free) free->QuadPart = g_freeBytes;
  return TRUE;
}
BOOL WINAPI FailingFreeSpace(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER) {
  return FALSE;
}

// Offsets at or past the bias stand for real offsets that much lower: a file of a few hundred
// kilobytes plays the part of one near the 2 GiB that the file services can address.
constexpr LONG Bias = 0x7FFFFFFF - 100000 - 200;
LONG WINAPI BiasedSeek(HMMIO file, LONG offset, int origin) {
  if (origin == SEEK_SET && offset >= Bias) {
    const LONG real = ::mmioSeek(file, offset - Bias, SEEK_SET);
    return real < 0 ? real : real + Bias;
  }
  return ::mmioSeek(file, offset, origin);
}
BOOL WINAPI BiasedFileSize(HANDLE file, PLARGE_INTEGER size) {
  if (!::GetFileSizeEx(file, size)) return FALSE;
  size->QuadPart += Bias;
  return TRUE;
}

std::atomic<EXECUTION_STATE> g_awake{0};
EXECUTION_STATE WINAPI NoteExecutionState(EXECUTION_STATE flags) {
  return g_awake.exchange(flags);
}

TEST_F(RecorderTest, NewFileHoldsEveryCapturedByteInOrderAndTheWindowShowsTheResult) {
  struct Case {
    WORD channels;
    DWORD rate;
    WORD bits;
  };
  for (const Case c : {Case{1, 11025, 8}, Case{2, 44100, 16}}) {
    SCOPED_TRACE(c.bits);
    SetPcm(c.channels, c.rate, c.bits);
    const std::string path = NewFile(c.bits == 8 ? "a.wav" : "b.wav");
    const auto before = ReadWholeFile(path);

    ASSERT_EQ(StartRecording(window_), 0);
    EXPECT_EQ(g_context.state, RecorderState::Recording);
    EXPECT_TRUE(Enabled(IDC_STOP));
    EXPECT_FALSE(Enabled(IDC_PLAY) || Enabled(IDC_RECORD) || Enabled(IDC_REWIND));
    EXPECT_FALSE(IsWindowEnabled(g_controls.slider));
    // Ticks show the growing length while the recording extends the data.
    ASSERT_TRUE(PumpUntil([&] { return in_.Captured() >= 3 * 64000 + 777; }));
    PumpFor(450);
    EXPECT_NE(Text(IDC_LENGTH), "00:00.0");
    // Stop in the middle of a buffer: that tail must reach the file too.
    for (in_.Pause(); in_.Captured() % 64000 == 0; in_.Pause()) {
      in_.Resume();
      PumpFor(3);
    }
    StopRecording(window_);
    in_.Resume();
    const DWORDLONG captured = in_.Captured();
    ASSERT_NE(captured % 64000, 0u);
    const WaveOnDisk wave = ReadWave(path);
    ASSERT_TRUE(wave.valid);
    EXPECT_EQ(wave.dataSize, captured);
    EXPECT_EQ(wave.riffSize, wave.dataOffset + wave.dataSize - 8);
    EXPECT_EQ(wave.bytes.size(), wave.dataOffset + captured);
    EXPECT_TRUE(wave.Data() == Captured(0, captured));
    // "fmt " and "fact" are untouched.
    EXPECT_TRUE(std::equal(before.begin() + 8, before.begin() + wave.dataOffset - 4,
                           wave.bytes.begin() + 8));

    EXPECT_EQ(g_context.dataSize, captured);
    EXPECT_EQ(SliderMax(), LRESULT(captured / CurrentFormat->nBlockAlign));
    EXPECT_EQ(SliderPos(), 0);
    EXPECT_EQ(Text(IDC_POSITION), "00:00.0");
    EXPECT_TRUE(EngineReleased(&in_));
    EXPECT_TRUE(Enabled(IDC_PLAY) && Enabled(IDC_RECORD) && !Enabled(IDC_STOP));
    EXPECT_TRUE(Boxes().empty());
    EXPECT_TRUE(in_.Misuse().empty());
  }
}

TEST_F(RecorderTest, OverwriteFromSliderBlockKeepsTheBytesAroundIt) {
  SetPcm(2, 44100, 16);
  const auto old = Pattern(300000);
  for (const DWORDLONG record : {DWORDLONG{70000}, DWORDLONG{330000}}) {
    SCOPED_TRACE(record);
    const std::string path = folder_->file(record < 100000 ? "short.wav" : "long.wav");
    UseWaveFile(path, old);
    const DWORD k = 10000, start = k * 4;
    SetSlider(k);
    ASSERT_EQ(StartRecording(window_), 0);
    EXPECT_EQ(SliderPos(), 0);  // the slider stands at 0 during the run
    ASSERT_TRUE(PumpUntil([&] { return in_.Captured() >= record; }));
    StopRecording(window_);
    const DWORD n = static_cast<DWORD>(in_.Captured());

    // A take that stops inside the old data leaves the file declaring all of it, as the
    // window does; one that runs past the old end extends it.
    const DWORD declared = std::max<DWORD>(static_cast<DWORD>(old.size()), start + n);
    const WaveOnDisk wave = ReadWave(path);
    ASSERT_TRUE(wave.valid);
    EXPECT_EQ(wave.dataSize, declared);
    EXPECT_EQ(wave.riffSize, wave.dataOffset + declared - 8);
    EXPECT_EQ(g_context.dataSize, declared);
    const auto& b = wave.bytes;
    const auto* payload = b.data() + wave.dataOffset;
    EXPECT_TRUE(std::equal(old.begin(), old.begin() + start, payload));
    EXPECT_TRUE(std::equal(payload + start, payload + start + n, Captured(0, n).begin()));
    if (start + n < old.size()) {
      EXPECT_TRUE(std::equal(old.begin() + start + n, old.end(), payload + start + n));
      EXPECT_EQ(b.size(), wave.dataOffset + old.size());
    }
    EXPECT_TRUE(EngineReleased(&in_));
  }
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(RecorderTest, FreeSpaceOfExactlyTheBlockPlusReserveCountsAsFull) {
  ScopedService free(sys.GetDiskFreeSpaceExA, &FakeFreeSpace);
  const std::string path = NewFile();
  g_freeBytes = 64000 + FreeSpaceReserve + 1;
  RecordFor(64000 + 5000);
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(ReadWave(path).dataSize, in_.Captured());
  // The query names the file's own folder, whatever kind of path it is.
  EXPECT_EQ(std::string(g_freeQuery), folder_->path() + "\\");

  g_freeBytes = 64000 + FreeSpaceReserve;
  const DWORD before = ReadWave(path).dataSize;
  ASSERT_EQ(StartRecording(window_), 0);
  ASSERT_TRUE(PumpUntil([&] { return !Boxes().empty(); }));
  EXPECT_THAT(Boxes(), ElementsAre("Error|Your hard disk is full!  Cannot save any more samples!"));
  EXPECT_TRUE(EngineReleased(&in_));
  const WaveOnDisk wave = ReadWave(path);
  EXPECT_TRUE(wave.valid);
  EXPECT_EQ(wave.dataSize, before);  // this run wrote nothing
  EXPECT_EQ(wave.riffSize, wave.dataOffset + before - 8);
  EXPECT_TRUE(in_.Misuse().empty());
}

TEST_F(RecorderTest, EveryWrittenBufferLeavesAValidFileBehind) {
  const std::string path = NewFile();
  ASSERT_EQ(StartRecording(window_), 0);
  ASSERT_TRUE(PumpUntil([&] { return g_context.position >= 3 * 64000; }));
  in_.Pause();
  PumpFor(30);
  // What a process killed now would leave: the header describes every byte written.
  const DWORD written = g_context.position;
  const WaveOnDisk wave = ReadWave(path);
  ASSERT_TRUE(wave.valid);
  EXPECT_EQ(wave.dataSize, written);
  EXPECT_EQ(wave.riffSize, wave.dataOffset + written - 8);
  EXPECT_TRUE(wave.Data() == Captured(0, written));
  in_.Resume();
  StopRecording(window_);
}

// A take that ends within the file's first few kilobytes (five seconds of GSM 6.10 at
// 8,000 Hz fit there) reaches the file whole, and the sizes claim no more than it holds.
TEST_F(RecorderTest, AShortTakeReachesTheFileWhole) {
  in_.SetRate(10);
  const std::string path = NewFile();
  RecordFor(5000);
  const DWORDLONG captured = in_.Captured();
  ASSERT_LT(g_context.dataOffset + captured, 8192u);
  const WaveOnDisk wave = ReadWave(path);
  EXPECT_EQ(wave.bytes.size(), wave.dataOffset + wave.dataSize);
  EXPECT_EQ(wave.dataSize, captured);
  EXPECT_TRUE(wave.Data() == Captured(0, captured));
  EXPECT_TRUE(Boxes().empty());
}

// Recording again from the start of a longer take: at every moment, and after Stop, the file
// declares every byte it holds (the old take's tail included) and the window agrees.
TEST_F(RecorderTest, OverwritingInsideATakeKeepsDeclaringAllOfIt) {
  const auto old = Pattern(400000);
  const std::string path = folder_->file("take.wav");
  UseWaveFile(path, old);
  ASSERT_EQ(StartRecording(window_), 0);
  ASSERT_TRUE(PumpUntil([&] { return g_context.position >= 2 * 64000; }));
  in_.Pause();
  PumpFor(30);
  WaveOnDisk wave = ReadWave(path);  // what a crash now would leave
  EXPECT_EQ(wave.dataSize, old.size());
  EXPECT_EQ(wave.riffSize, wave.dataOffset + old.size() - 8);
  in_.Resume();
  StopRecording(window_);
  const DWORD n = static_cast<DWORD>(in_.Captured());
  ASSERT_LT(n, old.size());
  wave = ReadWave(path);
  EXPECT_EQ(wave.dataSize, old.size());
  EXPECT_EQ(wave.riffSize, wave.dataOffset + old.size() - 8);
  EXPECT_TRUE(wave.Data() == [&] {
    auto expected = Captured(0, n);
    expected.insert(expected.end(), old.begin() + n, old.end());
    return expected;
  }());
  EXPECT_EQ(g_context.dataSize, old.size());
  EXPECT_EQ(SliderMax(), LRESULT(old.size()));
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(RecorderTest, StopsWithAValidFileBeforeTheFileWouldPassTwoGigabytes) {
  ScopedService seek(sys.mmioSeek, &BiasedSeek);
  ScopedService length(sys.GetFileSizeEx, &BiasedFileSize);
  const std::string path = NewFile();
  const DWORD realOffset = g_context.dataOffset;
  g_context.dataOffset = realOffset + Bias;  // 100000 bytes of room left
  ASSERT_EQ(StartRecording(window_), 0);
  ASSERT_TRUE(PumpUntil([&] { return !Boxes().empty(); }));
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_NE(Boxes()[0].find("largest size a wave file can hold"), std::string::npos);
  EXPECT_TRUE(EngineReleased(&in_));
  const auto bytes = ReadWholeFile(path);
  DWORD size, riff;
  std::memcpy(&size, bytes.data() + realOffset - 4, 4);
  std::memcpy(&riff, bytes.data() + 4, 4);
  EXPECT_EQ(size, 64000u);
  EXPECT_EQ(riff, g_context.dataOffset + 64000 - 8);
  EXPECT_EQ(bytes.size(), realOffset + 64000);
}

TEST_F(RecorderTest, FreeSpaceIsAskedOfTheFilesFolderForAnyPath) {
  ScopedService free(sys.GetDiskFreeSpaceExA, &FakeFreeSpace);
  g_freeBytes = 5ull << 32;
  EXPECT_EQ(GetFreeDiskBytes("C:\\rec\\take.wav"), 0xFFFFFFFFu);
  EXPECT_STREQ(g_freeQuery, "C:\\rec\\");
  g_freeBytes = 123456;
  EXPECT_EQ(GetFreeDiskBytes("\\\\server\\share\\take.wav"), 123456u);
  EXPECT_STREQ(g_freeQuery, "\\\\server\\share\\");
  GetFreeDiskBytes("take.wav");
  EXPECT_STREQ(g_freeQuery, "(null)");
  ScopedService failing(sys.GetDiskFreeSpaceExA, &FailingFreeSpace);
  EXPECT_EQ(GetFreeDiskBytes("C:\\take.wav"), 0u);
}

// A device that keeps its buffers after Stop may still write into them: they are never
// prepared for another device or handed to one again.
TEST_F(RecorderTest, BuffersADeviceKeptAfterTheStopAreNeverUsedAgain) {
  const std::string path = NewFile();
  ASSERT_EQ(StartRecording(window_), 0);
  ASSERT_TRUE(PumpUntil([&] { return g_context.position >= 64000; }));
  in_.keepBuffersOnReset = true;
  WAVEHDR* const kept[2] = {g_pool.headers[0], g_pool.headers[1]};
  char* const keptData[2] = {g_pool.buffers[0], g_pool.buffers[1]};
  StopRecording(window_);
  EXPECT_FALSE(g_context.deviceOpen);
  EXPECT_EQ(g_context.state, RecorderState::Idle);
  EXPECT_EQ(ReadWave(path).dataSize, g_context.position);
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    for (int j = 0; j < 2; ++j) {
      EXPECT_NE(g_pool.headers[i], kept[j]);
      EXPECT_NE(g_pool.buffers[i], keptData[j]);
    }
  }
  // Nothing was taken from the device behind its back: no header it holds was unprepared.
  for (const std::string& misuse : in_.Misuse()) EXPECT_NE(misuse, "unprepared while queued");

  // The next run, on a device that behaves, goes through with the pool's new buffers.
  FakeWaveDevice other(FakeWaveDevice::Kind::In, 2000);
  FakeWaveBinding rebind(&other, nullptr);
  boxes_->clear();
  ASSERT_EQ(StartRecording(window_), 0);
  ASSERT_TRUE(PumpUntil([&] { return other.Captured() >= 70000; }));
  StopRecording(window_);
  EXPECT_TRUE(Boxes().empty());
  EXPECT_TRUE(other.Misuse().empty());
  EXPECT_EQ(ReadWave(path).dataSize, g_context.position);
}

TEST_F(RecorderTest, KeepsTheSystemAwakeOnlyWhileRecording) {
  ScopedService awake(sys.SetThreadExecutionState, &NoteExecutionState);
  ScopedService free(sys.GetDiskFreeSpaceExA, &FakeFreeSpace);
  NewFile();
  ASSERT_EQ(StartRecording(window_), 0);
  EXPECT_EQ(g_awake, ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
  StopRecording(window_);
  EXPECT_EQ(g_awake, ES_CONTINUOUS);
  // A run that ends by itself lets the system sleep again too.
  g_freeBytes = 0;
  ASSERT_EQ(StartRecording(window_), 0);
  EXPECT_EQ(g_awake, ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
  ASSERT_TRUE(PumpUntil([&] { return EngineReleased(&in_); }));
  EXPECT_EQ(g_awake, ES_CONTINUOUS);
}

TEST_F(RecorderTest, RecordWhileADeviceIsOpenDoesNothing) {
  NewFile();
  g_context.deviceOpen = true;
  EXPECT_EQ(StartRecording(window_), -1);
  EXPECT_EQ(in_.Opens(), 0);
  EXPECT_TRUE(Boxes().empty());
  g_context.deviceOpen = false;
}

}  // namespace
