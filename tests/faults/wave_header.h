// An independent reading of a wave file's layout, from its first bytes and its length on
// disk: the fault tests and the benchmarks check with it that a file left behind is valid
// without trusting the program's own reader.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "support/wave_chunks.h"

struct WaveHeader {
  bool readable = false;  // the file could be opened and its start read
  bool riff = false;      // "RIFF" ... "WAVE"
  std::uint64_t fileLength = 0;
  std::uint32_t riffSize = 0;
  std::uint32_t dataOffset = 0;  // first payload byte of the "data" chunk, 0 when none
  std::uint32_t dataSize = 0;    // the data chunk's declared size
  std::uint16_t formatTag = 0;
  std::uint16_t channels = 0;
  std::uint32_t samplesPerSec = 0;
  std::uint16_t blockAlign = 0;
  std::uint16_t bitsPerSample = 0;

  // The sizes say what a finished recording says: the data runs to at most the end of the
  // file and the RIFF size covers the file up to the end of the declared data.
  bool Consistent() const {
    return riff && dataOffset != 0 && std::uint64_t{dataOffset} + dataSize <= fileLength &&
           std::uint64_t{riffSize} == std::uint64_t{dataOffset} + dataSize - 8;
  }
  // Payload bytes present in the file (the declared size, or less when the file is short).
  std::uint64_t PayloadOnDisk() const {
    return fileLength > dataOffset ? fileLength - dataOffset : 0;
  }
};

// Reads the header of a file that another process may still hold open.
inline WaveHeader ReadWaveHeader(const std::string& path) {
  WaveHeader header;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return header;
  LARGE_INTEGER length{};
  GetFileSizeEx(file, &length);
  header.fileLength = static_cast<std::uint64_t>(length.QuadPart);
  unsigned char bytes[4096] = {};
  DWORD got = 0;
  const BOOL read = ReadFile(file, bytes, sizeof bytes, &got, nullptr);
  CloseHandle(file);
  if (!read) return header;
  header.readable = true;
  if (got < 12 || std::memcmp(bytes, "RIFF", 4) != 0 || std::memcmp(bytes + 8, "WAVE", 4) != 0)
    return header;
  header.riff = true;
  header.riffSize = ReadLe32(bytes + 4);
  for (const RiffChunk& chunk : RiffChunks(std::span<const unsigned char>(bytes, got))) {
    const auto at = static_cast<std::uint32_t>(chunk.payloadOffset);
    if (chunk.id == "fmt " && at + 16 <= got) {
      const unsigned char* f = bytes + at;
      header.formatTag = static_cast<std::uint16_t>(f[0] | (f[1] << 8));
      header.channels = static_cast<std::uint16_t>(f[2] | (f[3] << 8));
      header.samplesPerSec = ReadLe32(f + 4);
      header.blockAlign = static_cast<std::uint16_t>(f[12] | (f[13] << 8));
      header.bitsPerSample = static_cast<std::uint16_t>(f[14] | (f[15] << 8));
    }
    if (chunk.id == "data") {
      header.dataOffset = at;
      header.dataSize = chunk.size;
      break;
    }
  }
  return header;
}

// Reads `count` bytes from `offset` of a file that another process may hold open.
inline std::vector<unsigned char> ReadFileRange(const std::string& path, std::uint64_t offset,
                                                std::uint64_t count) {
  std::vector<unsigned char> bytes;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  LARGE_INTEGER at{};
  at.QuadPart = static_cast<LONGLONG>(offset);
  if (SetFilePointerEx(file, at, nullptr, FILE_BEGIN)) {
    bytes.resize(static_cast<std::size_t>(count));
    std::size_t filled = 0;
    while (filled < bytes.size()) {
      DWORD got = 0;
      const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - filled, 1 << 20));
      if (!ReadFile(file, bytes.data() + filled, want, &got, nullptr) || got == 0) break;
      filled += got;
    }
    bytes.resize(filled);
  }
  CloseHandle(file);
  return bytes;
}
