// The recorder's tests share this: a main window with the fake input device bound, and the bytes
// that device captures.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "engine/engine_fixture.h"
#include "engine/recorder.h"
#include "support/fake_wave_device.h"

// The bytes the fake input device captured from `from` on.
inline std::vector<unsigned char> Captured(DWORDLONG from, size_t count) {
  std::vector<unsigned char> out(count);
  for (size_t i = 0; i < count; ++i) out[i] = CapturedByte(from + i);
  return out;
}

class RecorderTest : public EngineTest {
 protected:
  FakeWaveDevice in_{FakeWaveDevice::Kind::In, 2000};
  FakeWaveBinding binding_{&in_, nullptr};

  // Records until the device captured `bytes`, then stops.
  void RecordFor(DWORDLONG bytes) {
    ASSERT_EQ(StartRecording(window_), 0);
    ASSERT_TRUE(PumpUntil([&] { return in_.Captured() >= bytes; }));
    StopRecording(window_);
  }
  std::string NewFile(const char* name = "take.wav") {
    const std::string path = folder_->file(name);
    UseWaveFile(path, {});
    return path;
  }
};
