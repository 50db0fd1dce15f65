#include "platform/services.h"

PlatformServices RealServices() {
  return PlatformServices{
      .waveInGetNumDevs = &::waveInGetNumDevs,
      .waveInOpen = &::waveInOpen,
      .waveInPrepareHeader = &::waveInPrepareHeader,
      .waveInUnprepareHeader = &::waveInUnprepareHeader,
      .waveInAddBuffer = &::waveInAddBuffer,
      .waveInStart = &::waveInStart,
      .waveInStop = &::waveInStop,
      .waveInReset = &::waveInReset,
      .waveInGetPosition = &::waveInGetPosition,
      .waveInClose = &::waveInClose,
      .waveOutOpen = &::waveOutOpen,
      .waveOutPrepareHeader = &::waveOutPrepareHeader,
      .waveOutUnprepareHeader = &::waveOutUnprepareHeader,
      .waveOutWrite = &::waveOutWrite,
      .waveOutReset = &::waveOutReset,
      .waveOutGetPosition = &::waveOutGetPosition,
      .waveOutClose = &::waveOutClose,
      .mmioOpenA = &::mmioOpenA,
      .mmioClose = &::mmioClose,
      .mmioRead = &::mmioRead,
      .mmioWrite = &::mmioWrite,
      .mmioSeek = &::mmioSeek,
      .mmioDescend = &::mmioDescend,
      .mmioAscend = &::mmioAscend,
      .mmioCreateChunk = &::mmioCreateChunk,
      .mmioGetInfo = &::mmioGetInfo,
      .mmioFlush = &::mmioFlush,
      .acmMetrics = &::acmMetrics,
      .acmFormatTagDetailsA = &::acmFormatTagDetailsA,
      .acmFormatDetailsA = &::acmFormatDetailsA,
      .acmFormatChooseA = &::acmFormatChooseA,
      .GetOpenFileNameA = &::GetOpenFileNameA,
      .GetSaveFileNameA = &::GetSaveFileNameA,
      .MessageBoxA = &::MessageBoxA,
      .GlobalAlloc = &::GlobalAlloc,
      .GlobalLock = &::GlobalLock,
      .GetDiskFreeSpaceExA = &::GetDiskFreeSpaceExA,
      .GetSysColor = &::GetSysColor,
  };
}

PlatformServices sys = RealServices();

void RestoreRealServices() { sys = RealServices(); }
