#include "support/wave_builder.h"

#include <cstddef>

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

void PutLe32(Bytes& bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes.push_back((value >> (8 * i)) & 0xFF);
}

uint16_t Le16(const Bytes& bytes, size_t offset) {
  return static_cast<uint16_t>(bytes.at(offset) | bytes.at(offset + 1) << 8);
}

uint32_t Le32(const Bytes& bytes, size_t offset) {
  return static_cast<uint32_t>(Le16(bytes, offset)) | static_cast<uint32_t>(Le16(bytes, offset + 2))
                                                          << 16;
}

std::string FourCC(const Bytes& bytes, size_t offset) {
  if (offset + 4 > bytes.size()) return "";
  return std::string(reinterpret_cast<const char*>(bytes.data() + offset), 4);
}

Bytes Chunk(const char* id, const Bytes& payload, std::optional<uint32_t> statedSize) {
  Bytes chunk(id, id + 4);
  PutLe32(chunk, statedSize.value_or(static_cast<uint32_t>(payload.size())));
  chunk.insert(chunk.end(), payload.begin(), payload.end());
  if (payload.size() % 2) chunk.push_back(0);
  return chunk;
}

Bytes Riff(const char* formType, std::initializer_list<Bytes> chunks,
           std::optional<uint32_t> statedSize) {
  Bytes body(formType, formType + 4);
  for (const Bytes& chunk : chunks) body.insert(body.end(), chunk.begin(), chunk.end());
  Bytes file{'R', 'I', 'F', 'F'};
  PutLe32(file, statedSize.value_or(static_cast<uint32_t>(body.size())));
  file.insert(file.end(), body.begin(), body.end());
  return file;
}

Bytes PcmFormat(uint16_t channels, uint32_t rate, uint16_t bits, bool withCbSize) {
  // The record's fields lie as in the file, cbSize (0 here) at byte 16.
  static_assert(offsetof(WAVEFORMATEX, cbSize) == 16);
  const WAVEFORMATEX format = PcmWaveFormat(channels, rate, bits);
  const auto* bytes = reinterpret_cast<const unsigned char*>(&format);
  return Bytes(bytes, bytes + (withCbSize ? 18 : 16));
}

Bytes Samples(size_t count, unsigned char seed) {
  Bytes samples(count);
  for (size_t i = 0; i < count; ++i) samples[i] = static_cast<unsigned char>(seed + i * 7);
  return samples;
}

std::vector<unsigned char> PcmWave(std::uint32_t dataBytes) {
  Bytes file =
      Riff("WAVE", {Chunk("fmt ", PcmFormat(1, 11025, 8)), Chunk("data", Bytes(dataBytes))},
           36 + dataBytes);
  file.resize(44 + static_cast<size_t>(dataBytes));  // without a pad byte: the plain layout
  for (std::uint32_t i = 0; i < dataBytes; ++i)
    file[44 + i] = static_cast<unsigned char>(128 + i % 9);
  return file;
}
