// Reading a RIFF file's layout: where an open file's data starts on disk, and where its format
// and data chunks lie, with every size cut to what the file holds. Runs on the window's thread
// (Open, New, and the recorder's start).
#include <algorithm>
#include <cstdint>

#include "platform/services.h"
#include "wave/wave_file.h"

namespace {

constexpr FOURCC WaveForm = mmioFOURCC('W', 'A', 'V', 'E');
constexpr FOURCC FormatId = mmioFOURCC('f', 'm', 't', ' ');
constexpr FOURCC DataId = mmioFOURCC('d', 'a', 't', 'a');

// Reads `count` bytes at `offset`; false when the file does not hold them all.
bool ReadAt(HMMIO file, uint64_t offset, DWORD* into, LONG count) {
  return offset <= 0x7FFFFFFF &&
         sys.mmioSeek(file, static_cast<LONG>(offset), SEEK_SET) == static_cast<LONG>(offset) &&
         sys.mmioRead(file, reinterpret_cast<HPSTR>(into), count) == count;
}

}  // namespace

DWORD GetDiskOffset(HMMIO file) {
  MMIOINFO info{};
  if (sys.mmioGetInfo(file, &info, 0) == MMSYSERR_NOERROR)
    return static_cast<DWORD>(info.lDiskOffset);
  // Without the information record the current position of the unbuffered file is the same
  // offset; 0 would point the recorder at the RIFF header.
  const LONG position = sys.mmioSeek(file, 0, SEEK_CUR);
  return position < 0 ? 0 : static_cast<DWORD>(position);
}

LayoutProblem ReadWaveLayout(HMMIO file, WaveLayout& layout) {
  layout = WaveLayout{};
  const LONG end = sys.mmioSeek(file, 0, SEEK_END);
  DWORD head[3] = {};
  if (end < 12 || !ReadAt(file, 0, head, sizeof head) || head[0] != FOURCC_RIFF ||
      head[2] != WaveForm)
    return LayoutProblem::NotWave;
  // Counted in 64 bits throughout, so no size a file states can wrap an offset.
  const auto fileEnd = static_cast<uint64_t>(end);
  uint64_t formEnd = 8 + uint64_t{head[1]};
  if (head[1] < 4 || formEnd > fileEnd) formEnd = fileEnd;

  bool haveFormat = false;
  for (uint64_t position = 12; position + 8 <= formEnd;) {
    DWORD chunk[2] = {};
    if (!ReadAt(file, position, chunk, sizeof chunk)) break;
    const uint64_t payload = position + 8;
    if (chunk[0] == FormatId && !haveFormat) {
      layout.formatOffset = static_cast<DWORD>(payload);
      layout.formatSize = chunk[1];
      haveFormat = true;
    } else if (chunk[0] == DataId && haveFormat) {
      // The samples may run past a RIFF size that was never patched, but never past the file.
      layout.dataOffset = static_cast<DWORD>(payload);
      layout.dataSize = static_cast<DWORD>(std::min<uint64_t>(chunk[1], fileEnd - payload));
      return LayoutProblem::None;
    }
    // RIFF pads odd chunks.
    position = payload + ((uint64_t{chunk[1]} + 1) & ~uint64_t{1});
  }
  return haveFormat ? LayoutProblem::NoData : LayoutProblem::NoFormat;
}
