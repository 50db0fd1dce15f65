// The current wave format: the block the file code fills (wave/format.h) and every part reads
// to turn bytes into blocks and times. Window's thread only: a device works on its own copy
// of the format from the moment it opens.
#pragma once

#include <windows.h>
#include <mmreg.h>

// Bytes in each of the two buffers that carry every recording and playback. A format's block
// must fit one: the devices are handed whole blocks only.
inline constexpr DWORD BufferCapacity = 64000;

inline DWORD MaxFormatSize = 0;
// A block of exactly MaxFormatSize bytes, at a fixed address from InitFormat to FreeFormat.
inline WAVEFORMATEX* CurrentFormat = nullptr;

// Payload bytes per slider step. A block alignment of 0 (never loaded, but possible before a
// format exists) counts as 1, so no conversion divides by zero.
inline DWORD CurrentBlockAlign() {
  return CurrentFormat && CurrentFormat->nBlockAlign ? CurrentFormat->nBlockAlign : 1;
}
