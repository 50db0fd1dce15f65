// The known signal that the test environment plays into its capture devices (the PulseAudio
// null sinks cap16 and cap8 behind the ALSA profiles paced16 and paced8), for tests that check
// recorded data byte by byte. scripts/known_signal.py produces the same bytes; keep them in step.
//
// The signal repeats every kKnownSignalPeriod bytes; within a period any 8 bytes at a multiple
// of 4 (and in practice any 16 bytes) occur once, so a recording can be located in it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <vector>

inline constexpr std::size_t kKnownSignalPeriod = std::size_t{1} << 22;
inline constexpr std::uint32_t kKnownSignalSeed = 0x2545F491u;

// One period: xorshift32 states, each as four little-endian bytes.
inline const std::vector<std::uint8_t>& KnownSignal() {
  static const std::vector<std::uint8_t> period = [] {
    std::vector<std::uint8_t> bytes(kKnownSignalPeriod);
    std::uint32_t x = kKnownSignalSeed;
    for (std::size_t i = 0; i < kKnownSignalPeriod; i += 4) {
      x ^= x << 13;
      x ^= x >> 17;
      x ^= x << 5;
      bytes[i] = static_cast<std::uint8_t>(x);
      bytes[i + 1] = static_cast<std::uint8_t>(x >> 8);
      bytes[i + 2] = static_cast<std::uint8_t>(x >> 16);
      bytes[i + 3] = static_cast<std::uint8_t>(x >> 24);
    }
    return bytes;
  }();
  return period;
}

// Byte `index` of the endless signal.
inline std::uint8_t KnownSignalByte(std::size_t index) {
  return KnownSignal()[index % kKnownSignalPeriod];
}

// Where a recording meets the signal: data[dataIndex + k] == KnownSignalByte(signalOffset + k)
// for k in [0, length).
struct KnownSignalMatch {
  std::size_t dataIndex = 0;
  std::size_t signalOffset = 0;
  std::size_t length = 0;
};

// Number of bytes from data[dataIndex] on that follow the signal from signalOffset.
inline std::size_t KnownSignalMatchLength(std::span<const std::uint8_t> data, std::size_t dataIndex,
                                          std::size_t signalOffset) {
  const auto& signal = KnownSignal();
  std::size_t n = 0;
  std::size_t s = signalOffset % kKnownSignalPeriod;
  for (std::size_t i = dataIndex; i < data.size(); ++i, ++n) {
    if (data[i] != signal[s]) break;
    if (++s == kKnownSignalPeriod) s = 0;
  }
  return n;
}

// Finds where the signal starts in `data`. Recordings may begin with silence (`silence`: 0x00
// for 16-bit, 0x80 for 8-bit data); the match starts at the first byte that belongs to the
// signal and runs as far as the data follows it. Empty when no 16-byte window of the first
// non-silent bytes occurs in the signal.
inline std::optional<KnownSignalMatch> FindKnownSignal(std::span<const std::uint8_t> data,
                                                       std::uint8_t silence) {
  constexpr std::size_t kWindow = 16;
  const auto& signal = KnownSignal();
  std::size_t first = 0;
  while (first < data.size() && data[first] == silence) ++first;
  // Signal bytes may equal the silence value, so the signal may begin a few bytes earlier
  // than the first non-silent byte; try a few windows from there.
  for (std::size_t start = first; start < first + 8 && start + kWindow <= data.size(); ++start) {
    const std::uint8_t* window = data.data() + start;
    // Search one period plus the window's length, so windows that wrap around are found too.
    for (std::size_t s = 0; s < kKnownSignalPeriod; ++s) {
      if (signal[s] != window[0]) continue;
      std::size_t k = 1;
      while (k < kWindow && signal[(s + k) % kKnownSignalPeriod] == window[k]) ++k;
      if (k < kWindow) continue;
      KnownSignalMatch match{start, s, 0};
      while (match.dataIndex > 0) {
        std::size_t previous = (match.signalOffset + kKnownSignalPeriod - 1) % kKnownSignalPeriod;
        if (data[match.dataIndex - 1] != signal[previous]) break;
        --match.dataIndex;
        match.signalOffset = previous;
      }
      match.length = KnownSignalMatchLength(data, match.dataIndex, match.signalOffset);
      return match;
    }
  }
  return std::nullopt;
}
