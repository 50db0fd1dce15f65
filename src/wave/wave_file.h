// Opening an existing wave file and creating a new recording file.
#pragma once

#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>
#include <commdlg.h>

// The Open and Save dialogs' records, kept for the whole run.
inline OPENFILENAMEA OpenDialogRecord{};
inline OPENFILENAMEA SaveDialogRecord{};
// Chunk records shared by Open and New.
inline MMCKINFO FormChunk{};
inline MMCKINFO SubChunk{};

int OpenWaveFile(HWND owner, int skipDialog);
void PrepareFileDialog(HWND owner, OPENFILENAMEA* record);
int AbortWaveFile(HWND owner, HMMIO file, const char* message, int code);
DWORD GetDiskOffset(HMMIO file);
int CreateWaveFile(HWND owner);

// True when a format block of blockSize bytes can be used for devices, slider steps and
// time conversion: no zero block size, rate or channel count, a byte rate that agrees with
// the sample layout for PCM, and format-specific bytes that fit inside the block.
bool FormatIsUsable(const WAVEFORMATEX* format, DWORD blockSize);
// Slider steps (whole blocks of the current format) in a payload of `bytes`; 0 when the
// current format has no block size.
DWORD BlocksInData(DWORD bytes);
// The file services address a file with signed 32-bit offsets: no larger file can be read whole.
inline constexpr DWORDLONG LargestReadableFile = 0x7FFFFFFF;
inline constexpr const char* FileTooLargeMessage =
    "The file is larger than 2 GB, more than Audio Recorder can read. The file was not opened.";
// The message shown when a file's "fmt " chunk describes a format that cannot be used.
inline constexpr const char* UnusableFormatMessage =
    "The file's format is not usable: its block alignment or byte rate is zero or does not "
    "match its samples. The file was not opened.";
