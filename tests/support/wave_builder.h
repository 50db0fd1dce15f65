// PCM formats and small PCM wave files for tests that need a device format or a sound to open.
#pragma once

#include <windows.h>
#include <mmreg.h>
#include <mmsystem.h>

#include <cstdint>
#include <vector>

// A PCM format record with consistent block align and byte rate, cbSize 0.
WAVEFORMATEX PcmWaveFormat(WORD channels, DWORD samplesPerSec, WORD bitsPerSample);

// An 8-bit mono 11025 Hz wave file with the plain 44-byte header ("RIFF", a 16-byte "fmt ",
// "data" at offset 36, its size at offset 40) and `dataBytes` bytes of quiet, varying sound.
std::vector<unsigned char> PcmWave(std::uint32_t dataBytes);
