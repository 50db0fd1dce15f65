// Streaming the current file's data chunk to the wave-output device. PlayCallback runs on the
// platform's callback thread and FillPlayBuffer under the player's lock on either thread;
// the rest runs on the window's thread.
#pragma once

#include <windows.h>
#include <mmsystem.h>

int StartPlayback(HWND window);
void StopPlayback(HWND window, int keepText);
void SeekPlayback(HWND window, DWORD bytePosition);
void PlayTick(HWND window);
void CALLBACK PlayCallback(HWAVEOUT device, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                           DWORD_PTR param2);
int QueuePlayBuffer(HWND window);
bool FillPlayBuffer();
void ReleasePlayback(HWND window);
