// The chunks of a RIFF file and the payload a chunk declares, read without the program's own
// reader: the tests check with them where a file's sound lies and what it holds. Header-only,
// so that the benchmark's programs, built without the test support library, read files alike.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The little-endian 32-bit number at `p`.
inline std::uint32_t ReadLe32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

struct RiffChunk {
  std::string id;
  std::uint64_t payloadOffset = 0;  // its first payload byte
  std::uint32_t size = 0;           // as its header declares it
};

// The chunks whose 8-byte header lies within `file`, in order: the first at offset 12 (after
// "RIFF", the form's size and its type, which are not checked), each next one after the
// declared size and the pad byte RIFF puts after an odd payload.
inline std::vector<RiffChunk> RiffChunks(std::span<const unsigned char> file) {
  std::vector<RiffChunk> chunks;
  for (std::uint64_t at = 12; at + 8 <= file.size();) {
    const std::uint32_t size = ReadLe32(file.data() + at + 4);
    chunks.push_back(
        {std::string(reinterpret_cast<const char*>(file.data() + at), 4), at + 8, size});
    at += 8 + std::uint64_t{size} + (size & 1);
  }
  return chunks;
}

// The first chunk with the identifier `id`.
inline std::optional<RiffChunk> FirstChunk(std::span<const unsigned char> file,
                                           std::string_view id) {
  for (const RiffChunk& chunk : RiffChunks(file)) {
    if (chunk.id == id) return chunk;
  }
  return std::nullopt;
}

// Offset of the first payload byte of the first "data" chunk, or 0 when there is none.
inline std::uint32_t DataPayloadOffset(std::span<const unsigned char> file) {
  const std::optional<RiffChunk> data = FirstChunk(file, "data");
  return data ? static_cast<std::uint32_t>(data->payloadOffset) : 0;
}

// The `size` bytes from `offset` that a chunk declares, as far as `file` holds them.
inline std::vector<unsigned char> ChunkPayload(std::span<const unsigned char> file,
                                               std::uint64_t offset, std::uint64_t size) {
  if (offset > file.size()) return {};
  const std::uint64_t end = std::min<std::uint64_t>(file.size(), offset + size);
  return {file.begin() + static_cast<std::ptrdiff_t>(offset),
          file.begin() + static_cast<std::ptrdiff_t>(end)};
}
