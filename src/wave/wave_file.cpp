#include "wave/wave_file.h"

// Placeholders until the wave-file code lands.
int OpenWaveFile(HWND, int) { return 0; }
void PrepareFileDialog(HWND, OPENFILENAMEA*) {}
int AbortWaveFile(HWND, HMMIO, const char*, int code) { return code; }
DWORD GetDiskOffset(HMMIO) { return 0; }
int CreateWaveFile(HWND) { return 0; }
