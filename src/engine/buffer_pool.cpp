#include "engine/buffer_pool.h"

// Placeholders until the engine lands.
int AllocAudioBuffers(HWND) { return 0; }
void FreeAudioBuffers() {}
void ResetAudioBuffers() {}
