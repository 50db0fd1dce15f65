// The recorder's stall watch over a run whose capture device cannot tell its position: only
// the buffers it returns show progress.
#include "engine/stall_watch.h"

#include <gtest/gtest.h>

namespace {

constexpr DWORD TickMs = 200;  // the record tick

// Ticks from `now` until the watch calls the run stalled or `untilMs` has passed; answers the
// time of the tick that did, or 0.
DWORD TickUntilStalled(engine::StallWatch& watch, DWORD written, DWORD& now, DWORD untilMs) {
  for (const DWORD end = now + untilMs; now < end;) {
    now += TickMs;
    if (engine::DeviceStalled(watch, 0, written, now)) return now;
  }
  return 0;
}

// The default format (8-bit mono 11,025 Hz, buffers of 64,000 bytes): a buffer every 5.8 s,
// two buffers' limit 11.6 s, and that limit holds after the first buffer as before it.
TEST(StallWatch, TheTwoBufferLimitHoldsForTheWholeRun) {
  const DWORD limit = engine::StallLimitMs(11025, 64000);
  ASSERT_GT(limit, 11600u);
  engine::StallWatch watch;
  DWORD now = 1000;
  DWORD written = 0;
  engine::StartStallWatch(watch, written, now, limit);
  for (int buffer = 1; buffer <= 4; ++buffer) {
    EXPECT_EQ(TickUntilStalled(watch, written, now, 5800), 0u) << "before buffer " << buffer;
    written += 64000;
  }
  // Then the device goes quiet: the run is called stalled once the limit has passed.
  const DWORD lastProgress = now + TickMs;
  const DWORD stalledAt = TickUntilStalled(watch, written, now, limit + 10 * TickMs);
  ASSERT_NE(stalledAt, 0u) << "a quiet device was never called stalled";
  EXPECT_GE(stalledAt - lastProgress, limit);
}

TEST(StallWatch, TheLimitIsTwoBuffersAndNeverBelowTheFloor) {
  EXPECT_EQ(engine::StallLimitMs(0, 64000), engine::MinStallLimitMs);
  EXPECT_EQ(engine::StallLimitMs(176400, 64000), engine::MinStallLimitMs);
  EXPECT_EQ(engine::StallLimitMs(8000, 64000), 16001u);
}

}  // namespace
