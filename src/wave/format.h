// The current wave format, its two describing texts, and the format chooser. Window's thread.
#pragma once

#include <windows.h>
#include <mmreg.h>

#include "state/current_format.h"

inline char FormatTagName[48] = "";
inline char FormatDetailsText[128] = "";

int InitFormat(HWND owner);
void FreeFormat();
void LoadFormatTagName(WORD tag);
int LoadFormatDetails(const WAVEFORMATEX* format);
void LoadFormatNames();
int ChooseFormat(HWND owner);
// Whether a chooser's description field holds real text about `format` (not garbage).
bool IsUsableFormatDescription(const char* field, size_t fieldSize, const WAVEFORMATEX& format);
// True when a format block of blockSize bytes can be used for devices, slider steps and
// time conversion: no zero block size, rate or channel count, no block larger than a sound
// buffer (BufferCapacity), a byte rate that agrees with
// the sample layout for PCM, and format-specific bytes that fit inside the block.
bool FormatIsUsable(const WAVEFORMATEX* format, DWORD blockSize);
// Slider steps (whole blocks of the current format) in a payload of `bytes`; 0 when the
// current format has no block size.
DWORD BlocksInData(DWORD bytes);
// The plain tag (PCM or IEEE float) of an extensible block with such a subformat; 0 for any
// other block.
WORD PlainTagOfExtensible(const WAVEFORMATEX& format);
