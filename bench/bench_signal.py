"""The known signal that the test environment feeds to the capture device, and the checks that a
recorded wave file holds it as one unbroken run."""
import os
import struct

from bench_processes import BenchError

# ---- The known signal ----

_period = None


def known_signal():
    global _period
    if _period is None:
        with open(os.environ["RECORDER_KNOWN_SIGNAL_FILE"], "rb") as f:
            _period = f.read()
    return _period


def wave_payload(path):
    """(declared data size, payload bytes present) of a RIFF WAVE file."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        raise BenchError("%s is not a RIFF WAVE file" % path)
    at = 12
    while at + 8 <= len(data):
        ident, size = data[at:at + 4], struct.unpack("<I", data[at + 4:at + 8])[0]
        if ident == b"data":
            return size, data[at + 8:]
        at += 8 + size + (size & 1)
    raise BenchError("%s has no data chunk" % path)


def align_signal(payload):
    """Checks that the payload is silence followed by one unbroken run of the known signal.
    Returns (silence bytes, signal bytes, text about gaps)."""
    period = known_signal()
    search = period + period[:64]
    first = 0
    while first < len(payload) and payload[first] == 0:
        first += 1
    offset = -1
    for start in range(first, min(first + 8, len(payload) - 16)):
        found = search.find(payload[start:start + 16])
        if found >= 0:
            offset, first = found, start
            break
    if offset < 0:
        return first, 0, "known signal not found"
    while first > 0 and payload[first - 1] == period[(offset - 1) % len(period)]:
        first, offset = first - 1, (offset - 1) % len(period)
    body = payload[first:]
    repeats = (offset + len(body)) // len(period) + 1
    expected = (period * (repeats + 1))[offset:offset + len(body)]
    if body == expected:
        return first, len(body), "none"
    # Locate the first difference and how far the signal jumps there.
    low, high = 0, len(body)
    while high - low > 1:
        middle = (low + high) // 2
        if body[:middle] == expected[:middle]:
            low = middle
        else:
            high = middle
    where = low
    found = search.find(body[where + 16:where + 32]) if where + 32 <= len(body) else -1
    if found >= 0:
        jump = (found - 16 - (offset + where)) % len(period)
        return first, len(body), "gap at payload byte %d: %d bytes missing" % (first + where, jump)
    return first, len(body), "signal breaks off at payload byte %d" % (first + where)
