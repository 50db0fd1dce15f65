#include "capture_check.h"

TEST(Paced8Profile, CapturesTheKnownSignalAsEightBitMono) {
  ExpectKnownSignalCapture(PcmFormat(1, 11025, 8), 0x80);
}

TEST(Paced8Profile, StartsDeliveringPromptly) {
  ExpectPromptStart(PcmFormat(1, 11025, 8));
}
