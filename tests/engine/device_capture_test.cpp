// Recording through Wine's real wave-input device, fed the known signal (profiles paced16
// and paced8, under scripts/test-env.sh): the file holds the signal as one unbroken run,
// every byte captured up to Stop, sizes an independent reader agrees with.
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "state/context.h"
#include "engine/engine_fixture.h"
#include "engine/recorder.h"
#include "faults/fault_support.h"
#include "support/known_signal.h"
#include "wave/format.h"

namespace {

// The bytes the device had captured when it was told to stop.
std::atomic<DWORD> g_capturedAtStop{0};
decltype(sys.waveInStop) g_deviceStop = nullptr;
MMRESULT WINAPI StopAndCount(HWAVEIN device) {
  const MMRESULT result = g_deviceStop(device);
  MMTIME time{};
  time.wType = TIME_BYTES;
  sys.waveInGetPosition(device, &time, sizeof time);
  g_capturedAtStop = time.u.cb;
  return result;
}

#ifndef CAPTURE_CASE
#define CAPTURE_CASE KnownSignalAsOneRunWithEveryByteUpToStop
#endif

class DeviceCaptureTest : public EngineTest {};

// One executable per profile; each names its case after its format (CAPTURE_CASE).
TEST_F(DeviceCaptureTest, CAPTURE_CASE) {
  const char* profile = std::getenv("RECORDER_ALSA_PROFILE");
  const bool eightBit = profile && std::string(profile) == "paced8";
  if (eightBit)
    SetPcm(1, 11025, 8);
  else
    SetPcm(2, 44100, 16);
  const unsigned char silence = eightBit ? 0x80 : 0x00;
  // Three whole buffers at 44100 Hz stereo; one at 11025 Hz mono (5.8 s each).
  const DWORD wholeBuffers = eightBit ? 64000 : 3 * 64000;

  const std::string path = folder_->file("take.wav");
  UseWaveFile(path, {});
  const auto before = ReadWholeFile(path);
  g_deviceStop = sys.waveInStop;
  ScopedService stop(sys.waveInStop, &StopAndCount);

  ASSERT_EQ(StartRecording(window_), 0);
  ASSERT_TRUE(PumpUntil([&] { return g_context.position >= wholeBuffers; }, 30000));
  // Stop at an arbitrary moment inside the next buffer.
  std::mt19937 random(GetTickCount());
  PumpFor(50 + random() % 300);
  StopRecording(window_);

  EXPECT_TRUE(Boxes().empty());
  EXPECT_FALSE(g_context.deviceOpen);
  const WaveOnDisk wave = ReadWave(path);
  ASSERT_TRUE(wave.valid);
  EXPECT_EQ(wave.dataSize, g_capturedAtStop) << "the tail at Stop was lost";
  EXPECT_GT(wave.dataSize, wholeBuffers);
  EXPECT_EQ(wave.dataSize, g_context.dataSize);
  EXPECT_EQ(wave.dataSize % CurrentFormat->nBlockAlign, 0u);
  EXPECT_EQ(wave.riffSize, wave.dataOffset + wave.dataSize - 8);
  EXPECT_EQ(wave.bytes.size(), size_t{wave.dataOffset} + wave.dataSize);
  // "fmt " and "fact" are as the file was made.
  EXPECT_TRUE(
      std::equal(before.begin() + 8, before.begin() + wave.dataOffset - 4, wave.bytes.begin() + 8));
  const std::vector<unsigned char> data = wave.Data();
  EXPECT_EQ(CheckKnownSignal(data, silence, CurrentFormat->nBlockAlign), "");
  const auto match = FindKnownSignal(data, silence);
  EXPECT_TRUE(match && match->length >= data.size() / 2) << "less than half the data is signal";

  const SoxReading sox = ReadWithSox(path, false);
  ASSERT_TRUE(sox.ok) << sox.error;
  EXPECT_EQ(sox.samples * CurrentFormat->nBlockAlign, wave.dataSize);
}

}  // namespace
