// Capture from the wave-input device into the current file's data chunk. RecordCallback runs
// on the platform's callback thread and GetFreeDiskBytes on any thread; the rest runs on the
// window's thread.
#pragma once

#include <windows.h>
#include <mmsystem.h>

inline constexpr DWORD FreeSpaceReserve = 10240;

int StartRecording(HWND window);
void StopRecording(HWND window);
void FinishRecording(HWND window);
void RecordTick(HWND window);
void CALLBACK RecordCallback(HWAVEIN device, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                             DWORD_PTR param2);
int QueueRecordBuffer(HWND window);
DWORD GetFreeDiskBytes(const char* path);
