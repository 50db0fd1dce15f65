// The wave devices the program records and plays through. They take the place of the
// WINMM waveIn*/waveOut* calls in the platform seam, with the same signatures and the
// same effects, so that every format the compression manager offers records and plays:
//
// - Uncompressed formats (PCM, IEEE float, extensible) go straight to WINMM: the handle
//   is the real one and every call is passed through untouched.
// - Recording in a compressed format never trusts the wave mapper (under Wine it opens
//   IMA ADPCM and GSM 6.10 but never delivers data, and mu-law and A-law deliver only on
//   paced devices). The input device is opened in PCM, and each captured block is
//   encoded with a compression manager stream into the chosen format before it reaches
//   the caller's headers.
// - Playback in a compressed format first asks the wave mapper; where it refuses, the
//   output device is opened in PCM and the data is decoded with a stream.
//
// A converting device hands out its own handle. Its headers come back one at a time, in
// order, through the caller's callback with the caller's instance data and that handle;
// byte counts and positions are in bytes of the chosen format, and recorded data is
// always a whole number of the format's blocks. Callbacks of a converting device run on
// the platform's device thread, or on the thread that calls Stop, Reset or Close (as
// WINMM itself does for the buffers those calls return); submitting a buffer never calls
// back on the caller's thread. Stop, Reset and Close may be called from the window's
// thread while the device thread delivers; they wait only for deliveries that never wait
// on the window's thread. Close refuses with MMSYSERR_HANDLEBUSY from inside the device's
// own callback, and when a callback still runs or a buffer is still on its way back after a
// bounded wait: the device then stays open rather than be freed under its callback.
// Every buffer a converting device allocates is sized from the PCM side and the codec's own
// figures, never from a header's byte rate, and is bounded; an allocation that fails makes
// the open fail with MMSYSERR_NOMEM.
#pragma once

#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>

#include <cstddef>

// True for the formats the devices take directly (PCM, IEEE float, extensible).
bool IsUncompressedFormat(const WAVEFORMATEX* format);

// Whether recording in `format` is possible here. When it is not, `why` receives a
// message for the user (at most whySize bytes with the terminator). Call it before
// opening the input device; ConvertingWaveInOpen refuses the same formats with
// WAVERR_BADFORMAT.
bool CanRecordFormat(const WAVEFORMATEX* format, char* why, size_t whySize);

MMRESULT WINAPI ConvertingWaveInOpen(LPHWAVEIN device, UINT deviceId, LPCWAVEFORMATEX format,
                                     DWORD_PTR callback, DWORD_PTR instance, DWORD flags);
MMRESULT WINAPI ConvertingWaveInPrepareHeader(HWAVEIN device, LPWAVEHDR header, UINT size);
MMRESULT WINAPI ConvertingWaveInUnprepareHeader(HWAVEIN device, LPWAVEHDR header, UINT size);
MMRESULT WINAPI ConvertingWaveInAddBuffer(HWAVEIN device, LPWAVEHDR header, UINT size);
MMRESULT WINAPI ConvertingWaveInStart(HWAVEIN device);
MMRESULT WINAPI ConvertingWaveInStop(HWAVEIN device);
MMRESULT WINAPI ConvertingWaveInReset(HWAVEIN device);
MMRESULT WINAPI ConvertingWaveInGetPosition(HWAVEIN device, LPMMTIME time, UINT size);
MMRESULT WINAPI ConvertingWaveInClose(HWAVEIN device);

MMRESULT WINAPI ConvertingWaveOutOpen(LPHWAVEOUT device, UINT deviceId, LPCWAVEFORMATEX format,
                                      DWORD_PTR callback, DWORD_PTR instance, DWORD flags);
MMRESULT WINAPI ConvertingWaveOutPrepareHeader(HWAVEOUT device, LPWAVEHDR header, UINT size);
MMRESULT WINAPI ConvertingWaveOutUnprepareHeader(HWAVEOUT device, LPWAVEHDR header, UINT size);
MMRESULT WINAPI ConvertingWaveOutWrite(HWAVEOUT device, LPWAVEHDR header, UINT size);
MMRESULT WINAPI ConvertingWaveOutReset(HWAVEOUT device);
MMRESULT WINAPI ConvertingWaveOutGetPosition(HWAVEOUT device, LPMMTIME time, UINT size);
MMRESULT WINAPI ConvertingWaveOutClose(HWAVEOUT device);

// Whether a device handle is one of the converting devices (false for a WINMM handle).
bool IsConvertingDevice(HWAVEIN device);
bool IsConvertingDevice(HWAVEOUT device);

// The WINMM calls the converting devices make on the devices underneath them, and to which
// they pass uncompressed formats. Tests put fake devices here.
struct WinmmWaveCalls {
  decltype(&::waveInOpen) waveInOpen = &::waveInOpen;
  decltype(&::waveInPrepareHeader) waveInPrepareHeader = &::waveInPrepareHeader;
  decltype(&::waveInUnprepareHeader) waveInUnprepareHeader = &::waveInUnprepareHeader;
  decltype(&::waveInAddBuffer) waveInAddBuffer = &::waveInAddBuffer;
  decltype(&::waveInStart) waveInStart = &::waveInStart;
  decltype(&::waveInStop) waveInStop = &::waveInStop;
  decltype(&::waveInReset) waveInReset = &::waveInReset;
  decltype(&::waveInGetPosition) waveInGetPosition = &::waveInGetPosition;
  decltype(&::waveInClose) waveInClose = &::waveInClose;
  decltype(&::waveOutOpen) waveOutOpen = &::waveOutOpen;
  decltype(&::waveOutPrepareHeader) waveOutPrepareHeader = &::waveOutPrepareHeader;
  decltype(&::waveOutUnprepareHeader) waveOutUnprepareHeader = &::waveOutUnprepareHeader;
  decltype(&::waveOutWrite) waveOutWrite = &::waveOutWrite;
  decltype(&::waveOutReset) waveOutReset = &::waveOutReset;
  decltype(&::waveOutGetPosition) waveOutGetPosition = &::waveOutGetPosition;
  decltype(&::waveOutClose) waveOutClose = &::waveOutClose;
};
extern WinmmWaveCalls winmm;

// When compressed playback decodes itself instead of asking the wave mapper first. The
// mapper of the test platform plays every format, so tests force the decoding path.
enum class PlaybackDecoding { WhenMapperRefuses, Always };
void SetPlaybackDecoding(PlaybackDecoding mode);
