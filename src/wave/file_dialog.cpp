// The Open and Save dialogs' record: the filter, the default extension and the context's path
// and title buffers that the dialogs fill. Runs on the window's thread.
#include <cstring>

#include "state/context.h"
#include "wave/wave_file.h"

namespace {
// Four terminated strings and the empty one that ends the list.
constexpr char WaveFilter[] = "Wave Files (*.wav)\0*.wav\0All Files (*.*)\0*.*\0";
constexpr char DefaultExtension[] = "WAV";
constexpr DWORD PathBufferSize = sizeof(RecorderContext::filePath);
constexpr DWORD TitleBufferSize = sizeof(RecorderContext::fileTitle);
}  // namespace

bool NameCameThroughWhole(const char* path) {
  return std::strchr(path, '?') == nullptr;
}

void PrepareFileDialog(HWND owner, OPENFILENAMEA* record) {
  *record = OPENFILENAMEA{};
  // The record as the dialogs knew it before the later extension fields.
  record->lStructSize = OPENFILENAME_SIZE_VERSION_400A;
  record->hwndOwner = owner;
  record->lpstrFilter = WaveFilter;
  record->nFilterIndex = 1;
  record->lpstrFile = g_context.filePath;
  record->nMaxFile = PathBufferSize;
  record->lpstrFileTitle = g_context.fileTitle;
  record->nMaxFileTitle = TitleBufferSize;
  record->Flags = 0;
  record->lpstrDefExt = DefaultExtension;
}
