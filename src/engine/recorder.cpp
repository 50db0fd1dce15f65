#include "engine/recorder.h"

#include "engine/engine_notify.h"

// Placeholders until the engine lands.
int StartRecording(HWND) { return 0; }
void StopRecording(HWND) {}
void FinishRecording(HWND) {}
void RecordTick(HWND) {}
void CALLBACK RecordCallback(HWAVEIN, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) {}
int QueueRecordBuffer(HWND) { return 0; }
int WriteRecordedBlock(DWORD) { return 0; }
DWORD GetFreeDiskBytes(const char*) { return 0; }
void HandleEngineNotify(HWND, WPARAM, LPARAM) {}
