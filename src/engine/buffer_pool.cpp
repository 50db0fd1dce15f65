// The pool is allocated and released on the window's thread while no device is open;
// during a run its headers and buffers belong to whichever engine runs.
#include "engine/buffer_pool.h"

#include <cstring>
#include <vector>

#include "state/report.h"
#include "engine/engine_internal.h"
#include "platform/services.h"

namespace {

constexpr UINT HeaderFlags = GMEM_MOVEABLE | GMEM_DDESHARE | GMEM_ZEROINIT;
constexpr UINT BufferFlags = GMEM_MOVEABLE | GMEM_DDESHARE;

// Unlocks and frees one block; an empty handle means "never allocated" and is skipped.
// A block that was allocated but could not be locked is unlocked harmlessly.
void ReleaseBlock(HGLOBAL& handle) {
  if (!handle) return;
  GlobalUnlock(handle);
  GlobalFree(handle);
  handle = nullptr;
}

// Blocks set aside for a device that kept them; never freed.
std::vector<HGLOBAL> g_setAside;

}  // namespace

int AllocAudioBuffers(HWND owner) {
  for (int i = 0; i < 2; ++i) {
    g_pool.headerHandles[i] = sys.GlobalAlloc(HeaderFlags, sizeof(WAVEHDR));
    if (!g_pool.headerHandles[i])
      return ReportError(owner, "Error allocating wave header memory.", -3);
    g_pool.headers[i] = static_cast<WAVEHDR*>(sys.GlobalLock(g_pool.headerHandles[i]));
    if (!g_pool.headers[i])
      return ReportError(owner, "Couldn't lock header memory for recording.", -3);
  }
  for (int i = 0; i < 2; ++i) {
    g_pool.bufferHandles[i] = sys.GlobalAlloc(BufferFlags, BufferCapacity);
    if (!g_pool.bufferHandles[i])
      return ReportError(owner, "Error allocating wave buffer memory.", -4);
    g_pool.buffers[i] = static_cast<char*>(sys.GlobalLock(g_pool.bufferHandles[i]));
    if (!g_pool.buffers[i]) return ReportError(owner, "Error allocating wave buffer memory.", -4);
    g_pool.headers[i]->lpData = g_pool.buffers[i];
  }
  return 0;
}

void FreeAudioBuffers() {
  for (int i = 0; i < 2; ++i) {
    ReleaseBlock(g_pool.bufferHandles[i]);
    g_pool.buffers[i] = nullptr;
  }
  for (int i = 0; i < 2; ++i) {
    ReleaseBlock(g_pool.headerHandles[i]);
    g_pool.headers[i] = nullptr;
  }
}

void ResetAudioBuffers() {
  const DWORD align = CurrentBlockAlign();
  g_pool.ChunkLength = BufferCapacity - BufferCapacity % align;
  for (int i = 0; i < 2; ++i) {
    std::memset(g_pool.headers[i], 0, sizeof(WAVEHDR));
    g_pool.headers[i]->dwBufferLength = g_pool.ChunkLength;
    g_pool.headers[i]->lpData = g_pool.buffers[i];
  }
}

int SetAsideAudioBuffers(HWND owner) {
  for (int i = 0; i < 2; ++i) {
    for (HGLOBAL* handle : {&g_pool.headerHandles[i], &g_pool.bufferHandles[i]}) {
      if (*handle) g_setAside.push_back(*handle);
      *handle = nullptr;
    }
    g_pool.headers[i] = nullptr;
    g_pool.buffers[i] = nullptr;
  }
  return AllocAudioBuffers(owner);
}

bool AudioBuffersReady() {
  return g_pool.headers[0] && g_pool.headers[1] && g_pool.buffers[0] && g_pool.buffers[1];
}
