// The stall watch's arithmetic. Runs on the window's thread, from the record tick.
#include "engine/stall_watch.h"

#include <algorithm>

namespace engine {

DWORD StallLimitMs(DWORD bytesPerSecond, DWORD chunkBytes) {
  if (bytesPerSecond == 0) return MinStallLimitMs;
  const DWORDLONG twoBuffers = DWORDLONG{2} * chunkBytes * 1000 / bytesPerSecond + 1;
  return static_cast<DWORD>(std::clamp<DWORDLONG>(twoBuffers, MinStallLimitMs, 0x7FFFFFFF));
}

void StartStallWatch(StallWatch& watch, DWORD written, DWORD now, DWORD limitMs) {
  watch = {0, written, now, 0, limitMs};
}

bool DeviceStalled(StallWatch& watch, DWORD captured, DWORD written, DWORD now) {
  if (captured != watch.captured || written != watch.written) {
    // Progress starts the quiet time afresh; the run's limit stays.
    watch.captured = captured;
    watch.written = written;
    watch.since = now;
    watch.quietTicks = 0;
    return false;
  }
  ++watch.quietTicks;
  return watch.quietTicks >= StallTicks && now - watch.since >= watch.limitMs;
}

}  // namespace engine
