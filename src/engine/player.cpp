#include "engine/player.h"

// Placeholders until the engine lands.
int StartPlayback(HWND) { return 0; }
void StopPlayback(HWND, int) {}
void SeekPlayback(HWND, DWORD) {}
void PlayTick(HWND) {}
void CALLBACK PlayCallback(HWAVEOUT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) {}
int QueuePlayBuffer(HWND) { return 0; }
bool FillPlayBuffer() { return true; }
void ReleasePlayback(HWND) {}
