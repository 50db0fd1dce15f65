#include "wave/format.h"

// Placeholders until the format code lands.
int InitFormat(HWND) { return 0; }
void FreeFormat() {}
void LoadFormatTagName(WORD) {}
int LoadFormatDetails(const WAVEFORMATEX*) { return 0; }
void LoadFormatNames() {}
int ChooseFormat(HWND) { return -1; }
