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
  u16(format.wFormatTag);
  u16(format.nChannels);
  u32(format.nSamplesPerSec);
  u32(format.nAvgBytesPerSec);
  u16(format.nBlockAlign);
  u16(format.wBitsPerSample);
  text("data");
  u32(dataBytes);
  for (std::uint32_t i = 0; i < dataBytes; ++i)
    file.push_back(static_cast<unsigned char>(128 + i % 9));
  return file;
}
