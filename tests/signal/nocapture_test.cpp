#include <gtest/gtest.h>

#include "wave_io.h"

TEST(NoCaptureProfile, HasAnOutputDeviceButNoInputDevice) {
  EXPECT_EQ(waveInGetNumDevs(), 0u);
  EXPECT_EQ(waveOutGetNumDevs(), 1u);
  HWAVEIN device = nullptr;
  auto format = PcmWaveFormat(1, 11025, 8);
  EXPECT_NE(waveInOpen(&device, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
}
