// A small 8-bit mono 11025 Hz PCM wave file for the end-to-end tests.
#pragma once

#include <windows.h>
#include <mmreg.h>

#include <cstdint>
#include <vector>

inline std::vector<unsigned char> PcmWave(std::uint32_t dataBytes) {
  std::vector<unsigned char> file;
  auto text = [&](const char* four) { file.insert(file.end(), four, four + 4); };
  auto u32 = [&](std::uint32_t v) {
    for (int i = 0; i < 4; ++i) file.push_back(static_cast<unsigned char>(v >> (8 * i)));
  };
  auto u16 = [&](std::uint16_t v) {
    file.push_back(static_cast<unsigned char>(v));
    file.push_back(static_cast<unsigned char>(v >> 8));
  };
  text("RIFF");
  u32(36 + dataBytes);
  text("WAVE");
  text("fmt ");
  u32(16);
  u16(WAVE_FORMAT_PCM);
  u16(1);
  u32(11025);
  u32(11025);
  u16(1);
  u16(8);
  text("data");
  u32(dataBytes);
  for (std::uint32_t i = 0; i < dataBytes; ++i)
    file.push_back(static_cast<unsigned char>(128 + i % 9));
  return file;
}
