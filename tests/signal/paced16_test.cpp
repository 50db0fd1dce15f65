#include "capture_check.h"

TEST(Paced16Profile, CapturesTheKnownSignalAsSixteenBitStereo) {
  ExpectKnownSignalCapture(PcmWaveFormat(2, 44100, 16), 0x00);
}

TEST(Paced16Profile, TwoCapturesMeetTheSignalAtDifferentPlaces) {
  auto format = PcmWaveFormat(2, 44100, 16);
  Capture first = CaptureBytes(format, 8192);
  Sleep(300);  // paces the two captures apart in the signal
  Capture second = CaptureBytes(format, 8192);
  auto a = FindKnownSignal(first.data, 0);
  auto b = FindKnownSignal(second.data, 0);
  ASSERT_TRUE(a && b);
  EXPECT_NE(a->signalOffset, b->signalOffset);
}

TEST(Paced16Profile, StartsDeliveringOnEveryOpening) {
  ExpectDeliveryOnEveryOpening(PcmWaveFormat(2, 44100, 16));
}
