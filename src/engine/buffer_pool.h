// The two wave headers and 64000-byte buffers shared by the recorder and the player.
#pragma once

#include <windows.h>
#include <mmsystem.h>

inline constexpr DWORD BufferCapacity = 64000;

struct AudioBufferPool {
  WAVEHDR* headers[2] = {};
  char* buffers[2] = {};
  int currentBuffer = 0;
  DWORD ChunkLength = 0;
  HGLOBAL headerHandles[2] = {};
  HGLOBAL bufferHandles[2] = {};
};

inline AudioBufferPool g_pool;

int AllocAudioBuffers(HWND owner);
void FreeAudioBuffers();
void ResetAudioBuffers();
