// How a device callback reaches the window: PostEngineNotify runs on any thread and only
// posts; the message is handled on the window's thread, which alone counts EngineBusy.
#include "engine/engine_notify.h"

#include "state/context.h"
#include "engine/engine_internal.h"

namespace engine {

namespace {
std::atomic<LONG> g_runSerial{0};
int g_busy = 0;  // window's thread only
}  // namespace

BusyScope::BusyScope() {
  ++g_busy;
}

BusyScope::~BusyScope() {
  --g_busy;
}

LONG NextRunSerial() {
  return ++g_runSerial;
}

void PostEngineNotify(NotifyReason reason, LONG serial) {
  if (g_context.mainWindow)
    PostMessageA(g_context.mainWindow, WM_ENGINE_NOTIFY, static_cast<WPARAM>(reason), serial);
}

}  // namespace engine

bool EngineBusy() {
  return engine::g_busy > 0;
}

// Window's thread. Each handler checks that the serial names the run still going on.
void HandleEngineNotify(HWND window, WPARAM wParam, LPARAM lParam) {
  const auto reason = static_cast<engine::NotifyReason>(wParam);
  const auto serial = static_cast<LONG>(lParam);
  switch (reason) {
    case engine::NotifyReason::RecordFailed:
      engine::HandleRecorderNotify(window, serial);
      break;
    case engine::NotifyReason::PlayEnded:
    case engine::NotifyReason::PlayWriteFailed:
      engine::HandlePlayerNotify(window, reason, serial);
      break;
  }
}
