// Whether the engine has let go of its device at the end of a run.
#pragma once

#include "state/context.h"
#include "support/fake_wave_device.h"

// No device open, the state back to Idle, and the fake device that stood in for the real one
// (where the test has one) closed as well.
inline bool EngineReleased(const FakeWaveDevice* fake = nullptr) {
  return !g_context.deviceOpen && g_context.state == RecorderState::Idle &&
         (fake == nullptr || !fake->IsOpen());
}
