#!/usr/bin/env python3
"""The known capture signal that the test feeders play into the PulseAudio null sinks.

One period is KNOWN_SIGNAL_PERIOD bytes: xorshift32 states, each written as four
little-endian bytes. tests/support/known_signal.h produces the identical sequence, so a
test can find where its recording lies in it. Keep the two in step.

  known_signal.py --write FILE   write one period to FILE
  known_signal.py --stream       write periods to standard output until the reader leaves
  known_signal.py --stream-file FILE   same, from a period written earlier (cheaper)
"""
import struct
import sys

KNOWN_SIGNAL_PERIOD = 1 << 22  # bytes; 23.8 s of 16-bit stereo 44100 Hz, 380 s of 8-bit mono 11025 Hz
KNOWN_SIGNAL_SEED = 0x2545F491


def one_period() -> bytes:
    words = []
    x = KNOWN_SIGNAL_SEED
    for _ in range(KNOWN_SIGNAL_PERIOD // 4):
        x ^= (x << 13) & 0xFFFFFFFF
        x ^= x >> 17
        x ^= (x << 5) & 0xFFFFFFFF
        words.append(x)
    return struct.pack("<%dI" % len(words), *words)


def stream(period: bytes) -> None:
    out = sys.stdout.buffer
    try:
        while True:
            out.write(period)
            out.flush()
    except (BrokenPipeError, KeyboardInterrupt):
        pass


def main(argv) -> int:
    if len(argv) == 3 and argv[1] == "--write":
        with open(argv[2], "wb") as f:
            f.write(one_period())
        return 0
    if len(argv) == 2 and argv[1] == "--stream":
        stream(one_period())
        return 0
    if len(argv) == 3 and argv[1] == "--stream-file":
        with open(argv[2], "rb") as f:
            stream(f.read())
        return 0
    sys.stderr.write(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
