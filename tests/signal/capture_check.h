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
  // Three seconds of sound need about three seconds (a start-up delay aside), never much less.
  EXPECT_GE(capture.elapsedMs, 2900u);
  EXPECT_LE(capture.elapsedMs, 8000u);
}

// The first tenth of a second arrives promptly, also on the process's first opening (a
// recording's first buffer must not wait for a whole second of the sink's work).
inline void ExpectPromptStart(const WAVEFORMATEX& format) {
  for (int i = 0; i < 3; ++i) {
    Capture capture = CaptureBytes(format, format.nAvgBytesPerSec / 10);
    ASSERT_EQ(capture.openResult, MMSYSERR_NOERROR);
    EXPECT_LE(capture.elapsedMs, 1000u) << "opening " << i + 1;
  }
}
