// Shared checks of the paced profiles: the capture holds the known signal, byte-exact and
// without gaps, and arrives at about real-time pace.
#pragma once

#include <gtest/gtest.h>

#include "support/known_signal.h"
#include "wave_io.h"

inline void ExpectKnownSignalCapture(const WAVEFORMATEX& format, std::uint8_t silence) {
  const std::size_t bytes = format.nAvgBytesPerSec * 3;
  Capture capture = CaptureBytes(format, bytes);
  ASSERT_EQ(capture.openResult, MMSYSERR_NOERROR);
  ASSERT_EQ(capture.data.size(), bytes);
  auto match = FindKnownSignal(capture.data, silence);
  ASSERT_TRUE(match.has_value()) << "the capture does not contain the known signal";
  EXPECT_EQ(match->dataIndex + match->length, capture.data.size())
      << "the signal breaks off at byte " << match->dataIndex + match->length;
  EXPECT_EQ(match->signalOffset % format.nBlockAlign, 0u);
  for (std::size_t i = 0; i < match->dataIndex; ++i) ASSERT_EQ(capture.data[i], silence);
  // Paced: three seconds of sound never arrive in much less than three seconds. (A busy
  // machine only makes them later; how much later says nothing about the device.)
  EXPECT_GE(capture.elapsedMs, 2900u);
}

// A buffer of a tenth of a second comes back full on the process's first opening and on every
// opening after it: the capture starts each time. How soon says nothing about the device on a
// busy machine, so only that it comes is checked.
inline void ExpectDeliveryOnEveryOpening(const WAVEFORMATEX& format) {
  for (int i = 0; i < 3; ++i) {
    const std::size_t bytes = format.nAvgBytesPerSec / 10;
    Capture capture = CaptureBytes(format, bytes);
    ASSERT_EQ(capture.openResult, MMSYSERR_NOERROR);
    EXPECT_EQ(capture.data.size(), bytes) << "opening " << i + 1;
  }
}
