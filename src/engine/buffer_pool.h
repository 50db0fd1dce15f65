// The two wave headers and 64000-byte buffers shared by the recorder and the player. The
// functions here run on the window's thread; during a run the headers and buffers belong to
// the engine that runs, and to its device callback.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include "state/current_format.h"  // BufferCapacity

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
// A device that did not hand back its buffers when stopped may still write into them or read
// them: its headers and buffers are left to it for good (never freed, prepared or queued
// again) and the pool takes new ones. 0 on success; on failure the pool has no buffers and
// AudioBuffersReady is false.
int SetAsideAudioBuffers(HWND owner);
// Both headers and both buffers are there for a run.
bool AudioBuffersReady();
