// Opening an existing wave file and creating a new recording file.
#pragma once

#include <windows.h>
#include <mmsystem.h>
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
