#include "capture_check.h"

TEST(Paced8Profile, CapturesTheKnownSignalAsEightBitMono) {
  ExpectKnownSignalCapture(PcmWaveFormat(1, 11025, 8), 0x80);
}

TEST(Paced8Profile, StartsDeliveringOnEveryOpening) {
  ExpectDeliveryOnEveryOpening(PcmWaveFormat(1, 11025, 8));
}
