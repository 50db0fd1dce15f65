// The current wave format, its two describing texts, and the format chooser.
#pragma once

#include <windows.h>
#include <mmreg.h>

inline DWORD MaxFormatSize = 0;
// A block of exactly MaxFormatSize bytes, at a fixed address from InitFormat to FreeFormat.
inline WAVEFORMATEX* CurrentFormat = nullptr;
inline char FormatTagName[48] = "";
inline char FormatDetailsText[128] = "";

// Payload bytes per slider step. A block alignment of 0 (never loaded, but possible before a
// format exists) counts as 1, so no conversion divides by zero.
inline DWORD CurrentBlockAlign() {
  return CurrentFormat && CurrentFormat->nBlockAlign ? CurrentFormat->nBlockAlign : 1;
}

int InitFormat(HWND owner);
void FreeFormat();
void LoadFormatTagName(WORD tag);
int LoadFormatDetails(const WAVEFORMATEX* format);
void LoadFormatNames();
int ChooseFormat(HWND owner);
// Whether a chooser's description field holds real text about `format` (not garbage).
bool IsUsableFormatDescription(const char* field, size_t fieldSize, const WAVEFORMATEX& format);
// True when a format block of blockSize bytes can be used for devices, slider steps and
// time conversion: no zero block size, rate or channel count, a byte rate that agrees with
// the sample layout for PCM, and format-specific bytes that fit inside the block.
bool FormatIsUsable(const WAVEFORMATEX* format, DWORD blockSize);
// Slider steps (whole blocks of the current format) in a payload of `bytes`; 0 when the
// current format has no block size.
DWORD BlocksInData(DWORD bytes);
// The plain tag (PCM or IEEE float) of an extensible block with such a subformat; 0 for any
// other block.
WORD PlainTagOfExtensible(const WAVEFORMATEX& format);
