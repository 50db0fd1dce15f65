// Direct wave-device access for checking the test devices, independent of the program's code.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <cstdint>
#include <vector>

#include "support/wave_builder.h"

struct Capture {
  MMRESULT openResult = MMSYSERR_ERROR;
  std::vector<std::uint8_t> data;
  DWORD elapsedMs = 0;  // from the start of the device until the buffer came back full
};

// Records `bytes` bytes from the default input device in one buffer.
Capture CaptureBytes(const WAVEFORMATEX& format, std::size_t bytes);

// Plays `bytes` through the default output device and waits until the device returns them.
MMRESULT PlayBytes(const WAVEFORMATEX& format, const std::vector<std::uint8_t>& bytes);
