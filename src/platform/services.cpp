// The real bindings of the seam. `sys` is bound before WinMain runs; tests rebind members on
// their own thread, and the ones the device callbacks call only while no device is open.
#include "platform/services.h"

#include "platform/riff_open.h"
#include "platform/wave_devices.h"
#include "platform/wide_file_dialogs.h"

// The wave devices convert compressed formats themselves (wave_devices.h); uncompressed
// formats reach WINMM unchanged.
PlatformServices RealServices() {
  return PlatformServices{
      .waveInGetNumDevs = &::waveInGetNumDevs,
      .waveInOpen = &ConvertingWaveInOpen,
      .waveInPrepareHeader = &ConvertingWaveInPrepareHeader,
      .waveInUnprepareHeader = &ConvertingWaveInUnprepareHeader,
      .waveInAddBuffer = &ConvertingWaveInAddBuffer,
      .waveInStart = &ConvertingWaveInStart,
      .waveInStop = &ConvertingWaveInStop,
      .waveInReset = &ConvertingWaveInReset,
      .waveInGetPosition = &ConvertingWaveInGetPosition,
      .waveInClose = &ConvertingWaveInClose,
      .waveOutOpen = &ConvertingWaveOutOpen,
      .waveOutPrepareHeader = &ConvertingWaveOutPrepareHeader,
      .waveOutUnprepareHeader = &ConvertingWaveOutUnprepareHeader,
      .waveOutWrite = &ConvertingWaveOutWrite,
      .waveOutReset = &ConvertingWaveOutReset,
      .waveOutGetPosition = &ConvertingWaveOutGetPosition,
      .waveOutClose = &ConvertingWaveOutClose,
      .mmioOpenA = &OpenRiffFile,
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
      .GetOpenFileNameA = &OpenFileDialogInUtf16,
      .GetSaveFileNameA = &SaveFileDialogInUtf16,
      .MessageBoxA = &::MessageBoxA,
      .GlobalAlloc = &::GlobalAlloc,
      .GlobalLock = &::GlobalLock,
      .GetDiskFreeSpaceExA = &::GetDiskFreeSpaceExA,
      .GetSysColor = &::GetSysColor,
  };
}

PlatformServices sys = RealServices();

void RestoreRealServices() {
  sys = RealServices();
}
