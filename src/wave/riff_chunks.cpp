// Reading a RIFF file's layout: where an open file's data starts on disk, and whether a chunk
// can be reached before the file ends.
#include <cstdint>

#include "platform/services.h"
#include "wave/wave_file.h"
#include "wave/wave_file_internal.h"

DWORD GetDiskOffset(HMMIO file) {
  MMIOINFO info{};
  if (sys.mmioGetInfo(file, &info, 0) == MMSYSERR_NOERROR)
    return static_cast<DWORD>(info.lDiskOffset);
  // Without the information record the current position of the unbuffered file is the same
  // offset; 0 would point the recorder at the RIFF header.
  const LONG position = sys.mmioSeek(file, 0, SEEK_CUR);
  return position < 0 ? 0 : static_cast<DWORD>(position);
}

namespace wave_detail {

bool ChunkReachable(HMMIO file, FOURCC id, FOURCC formType) {
  const LONG start = sys.mmioSeek(file, 0, SEEK_CUR);
  const LONG end = sys.mmioSeek(file, 0, SEEK_END);
  bool found = false;
  if (start >= 0 && end >= 0) {
    uint64_t position = static_cast<uint64_t>(start);
    const uint64_t fileEnd = static_cast<uint64_t>(end);
    while (position + 8 <= fileEnd) {
      // Same header read as mmioDescend: identifier, size and (for forms) the form type.
      DWORD header[3] = {};
      if (sys.mmioSeek(file, static_cast<LONG>(position), SEEK_SET) != static_cast<LONG>(position))
        break;
      const LONG got = sys.mmioRead(file, reinterpret_cast<HPSTR>(header), sizeof header);
      if (got < 8) break;
      if (header[0] == id && (formType == 0 || (got == sizeof header && header[2] == formType))) {
        found = true;
        break;
      }
      // RIFF pads odd chunks; counted in 64 bits so a huge size ends the walk instead of wrapping.
      position += 8 + ((static_cast<uint64_t>(header[1]) + 1) & ~uint64_t{1});
    }
  }
  if (start >= 0) sys.mmioSeek(file, start, SEEK_SET);
  return found;
}

}  // namespace wave_detail
