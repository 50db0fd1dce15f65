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

// The file services address a file with signed 32-bit offsets: no larger file can be read whole.
inline constexpr DWORDLONG LargestReadableFile = 0x7FFFFFFF;
inline constexpr const char* FileTooLargeMessage =
    "The file is larger than 2 GB, more than Audio Recorder can read. The file was not opened.";
// The message shown when a file's "fmt " chunk describes a format that cannot be used.
inline constexpr const char* UnusableFormatMessage =
    "The file's format is not usable: its block alignment or byte rate is zero or does not "
    "match its samples. The file was not opened.";
