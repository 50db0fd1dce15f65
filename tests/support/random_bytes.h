// Bytes that vary from each to the next, with no two nearby blocks alike, and the same on every
// run: the high bits of a linear congruential generator.
#pragma once

#include <cstddef>
#include <vector>

// `count` bytes from the generator started at `state`.
inline std::vector<unsigned char> RandomBytes(size_t count, unsigned state) {
  std::vector<unsigned char> out(count);
  for (auto& byte : out) {
    state = state * 1103515245u + 12345;
    byte = static_cast<unsigned char>(state >> 16);
  }
  return out;
}
