// PCM formats, RIFF pieces and small PCM wave files for tests that need a device format or a
// sound to open.
#pragma once

#include <windows.h>
#include <mmreg.h>
#include <mmsystem.h>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

// ---- Little-endian fields and RIFF pieces ----
void PutLe32(Bytes& bytes, std::uint32_t value);
std::uint16_t Le16(const Bytes& bytes, size_t offset);
std::uint32_t Le32(const Bytes& bytes, size_t offset);
std::string FourCC(const Bytes& bytes, size_t offset);

// A chunk: identifier, stated size (the payload's length unless given), payload and, for an
// odd payload, the pad byte RIFF asks for.
Bytes Chunk(const char* id, const Bytes& payload, std::optional<std::uint32_t> statedSize = {});
// A RIFF form around the chunks; its size is the true one unless given.
Bytes Riff(const char* formType, std::initializer_list<Bytes> chunks,
           std::optional<std::uint32_t> statedSize = {});
// The 16-byte PCM "fmt " payload, or the 18-byte one with cbSize when withCbSize.
Bytes PcmFormat(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
                bool withCbSize = false);
Bytes Samples(size_t count, unsigned char seed = 0x40);
// A PCM format record with consistent block align and byte rate, cbSize 0.
WAVEFORMATEX PcmWaveFormat(WORD channels, DWORD samplesPerSec, WORD bitsPerSample);

// An 8-bit mono 11025 Hz wave file with the plain 44-byte header ("RIFF", a 16-byte "fmt ",
// "data" at offset 36, its size at offset 40) and `dataBytes` bytes of quiet, varying sound.
std::vector<unsigned char> PcmWave(std::uint32_t dataBytes);
