// The seam between the program and the platform: every call that can fail in a way the
// program handles goes through `sys`. Production binds each member to the real Windows
// function; tests replace single members with fakes and restore them with
// ScopedService (tests/support) or RestoreRealServices(). Members are called on the window's
// thread, and the file, free-space and buffer calls also from the device callbacks' thread.
#pragma once

#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>
#include <msacm.h>
#include <commdlg.h>

struct PlatformServices {
  // Wave input.
  decltype(&::waveInGetNumDevs) waveInGetNumDevs;
  decltype(&::waveInOpen) waveInOpen;
  decltype(&::waveInPrepareHeader) waveInPrepareHeader;
  decltype(&::waveInUnprepareHeader) waveInUnprepareHeader;
  decltype(&::waveInAddBuffer) waveInAddBuffer;
  decltype(&::waveInStart) waveInStart;
  decltype(&::waveInStop) waveInStop;
  decltype(&::waveInReset) waveInReset;
  decltype(&::waveInGetPosition) waveInGetPosition;
  decltype(&::waveInClose) waveInClose;
  // Wave output.
  decltype(&::waveOutOpen) waveOutOpen;
  decltype(&::waveOutPrepareHeader) waveOutPrepareHeader;
  decltype(&::waveOutUnprepareHeader) waveOutUnprepareHeader;
  decltype(&::waveOutWrite) waveOutWrite;
  decltype(&::waveOutReset) waveOutReset;
  decltype(&::waveOutGetPosition) waveOutGetPosition;
  decltype(&::waveOutClose) waveOutClose;
  // RIFF files.
  decltype(&::mmioOpenA) mmioOpenA;
  decltype(&::mmioClose) mmioClose;
  decltype(&::mmioRead) mmioRead;
  decltype(&::mmioWrite) mmioWrite;
  decltype(&::mmioSeek) mmioSeek;
  decltype(&::mmioDescend) mmioDescend;
  decltype(&::mmioAscend) mmioAscend;
  decltype(&::mmioCreateChunk) mmioCreateChunk;
  decltype(&::mmioGetInfo) mmioGetInfo;
  decltype(&::mmioFlush) mmioFlush;
  // Audio compression manager.
  decltype(&::acmMetrics) acmMetrics;
  decltype(&::acmFormatTagDetailsA) acmFormatTagDetailsA;
  decltype(&::acmFormatDetailsA) acmFormatDetailsA;
  decltype(&::acmFormatChooseA) acmFormatChooseA;
  // File dialogs and message boxes.
  decltype(&::GetOpenFileNameA) GetOpenFileNameA;
  decltype(&::GetSaveFileNameA) GetSaveFileNameA;
  decltype(&::MessageBoxA) MessageBoxA;
  // Memory, disk and colours.
  decltype(&::GlobalAlloc) GlobalAlloc;
  decltype(&::GlobalLock) GlobalLock;
  decltype(&::GetDiskFreeSpaceExA) GetDiskFreeSpaceExA;
  // How long a file really is (the recorder checks that its writes arrived); bound here so
  // RealServices() need not name it.
  decltype(&::GetFileSizeEx) GetFileSizeEx = &::GetFileSizeEx;
  decltype(&::GetSysColor) GetSysColor;
  // Registry writes (the recent-files values); bound here so RealServices() need not name it.
  decltype(&::RegSetValueExA) RegSetValueExA = &::RegSetValueExA;
  // Which file a name leads to (New compares it with the loaded file's); bound here so
  // RealServices() need not name it.
  decltype(&::GetFileInformationByHandle) GetFileInformationByHandle =
      &::GetFileInformationByHandle;
  // Keeping the system awake while recording; bound here so RealServices() need not name it.
  decltype(&::SetThreadExecutionState) SetThreadExecutionState = &::SetThreadExecutionState;
  // The file dialogs in UTF-16 behind GetOpenFileNameA and GetSaveFileNameA, and the code page
  // their answers are narrowed to (wide_file_dialogs.h).
  decltype(&::GetOpenFileNameW) GetOpenFileNameW = &::GetOpenFileNameW;
  decltype(&::GetSaveFileNameW) GetSaveFileNameW = &::GetSaveFileNameW;
  decltype(&::GetACP) GetACP = &::GetACP;
};

extern PlatformServices sys;

// The real bindings, for restoring after a test.
PlatformServices RealServices();
void RestoreRealServices();
