#include "support/wave_builder.h"

WAVEFORMATEX PcmWaveFormat(WORD channels, DWORD samplesPerSec, WORD bitsPerSample) {
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = channels;
  format.nSamplesPerSec = samplesPerSec;
  format.wBitsPerSample = bitsPerSample;
  format.nBlockAlign = static_cast<WORD>(channels * bitsPerSample / 8);
  format.nAvgBytesPerSec = samplesPerSec * format.nBlockAlign;
  return format;
}

std::vector<unsigned char> PcmWave(std::uint32_t dataBytes) {
  const WAVEFORMATEX format = PcmWaveFormat(1, 11025, 8);
  // Sized once and written in place: GCC 12 at -O2 reports false overflows for a vector grown
  // byte by byte.
  std::vector<unsigned char> file(44 + static_cast<size_t>(dataBytes));
  size_t at = 0;
  auto text = [&](const char* four) {
    for (int i = 0; i < 4; ++i) file[at++] = static_cast<unsigned char>(four[i]);
  };
  auto u32 = [&](std::uint32_t v) {
    for (int i = 0; i < 4; ++i) file[at++] = static_cast<unsigned char>(v >> (8 * i));
  };
  auto u16 = [&](std::uint16_t v) {
    file[at++] = static_cast<unsigned char>(v);
    file[at++] = static_cast<unsigned char>(v >> 8);
  };
  text("RIFF");
  u32(36 + dataBytes);
  text("WAVE");
  text("fmt ");
  u32(16);
  u16(format.wFormatTag);
  u16(format.nChannels);
  u32(format.nSamplesPerSec);
  u32(format.nAvgBytesPerSec);
  u16(format.nBlockAlign);
  u16(format.wBitsPerSample);
  text("data");
  u32(dataBytes);
  for (std::uint32_t i = 0; i < dataBytes; ++i)
    file[at++] = static_cast<unsigned char>(128 + i % 9);
  return file;
}
