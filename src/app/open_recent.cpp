// Choosing a recent file from the File menu: the path becomes the current file and moves to
// the front of the list, or, when the file is gone, is reported and leaves the list.
// Everything here runs on the main dialog's thread.
#include "app/open_recent.h"

#include <cstdio>

#include "platform/services.h"
#include "platform/text.h"
#include "recent/recent_list.h"
#include "resources/resource.h"
#include "state/context.h"
#include "wave/wave_file.h"

namespace {

// The name part of a path: whatever follows its last directory separator.
const char* NamePart(const char* path) {
  const char* name = path;
  for (const char* p = path; *p; ++p) {
    if (*p == '\\' || *p == '/' || *p == ':') name = p + 1;
  }
  return name;
}

HMENU FileMenu(HWND window) {
  return GetSubMenu(GetMenu(window), 0);
}

}  // namespace

int OpenRecentFile(HWND window, UINT commandId) {
  RecentFileList* list = g_recentList;
  if (!list) return 0;

  // Work on copies: a missing file must not replace the path and name shown for the sound
  // that stays loaded.
  char path[sizeof g_context.filePath] = {};
  if (!GetRecentFile(list, static_cast<WORD>(commandId), 1, path, sizeof path)) return 0;

  // The wide call takes any path (OpenFile's record holds only 128 bytes).
  const DWORD attributes = GetFileAttributesW(WideText(path).c_str());
  const bool found =
      attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);

  char title[sizeof g_context.fileTitle] = {};
  char fullPath[PathTextSize] = {};
  char* namePart = nullptr;
  const DWORD length = GetFullPathNameA(path, sizeof fullPath, fullPath, &namePart);
  const char* name =
      (length > 0 && length < sizeof fullPath) ? (namePart ? namePart : "") : NamePart(path);
  CopyText(title, name);

  if (found) {
    CopyText(g_context.filePath, path);
    CopyText(g_context.fileTitle, title);
    // The Open dialog's record names the current file for opening, playing and recording.
    if (OpenDialogRecord.lStructSize == 0) PrepareFileDialog(window, &OpenDialogRecord);
    OpenDialogRecord.lpstrFile = g_context.filePath;
    OpenDialogRecord.nMaxFile = sizeof g_context.filePath;
    // At the front before reading, so it stays there even when reading fails.
    AddRecentFile(list, g_context.filePath);
    OpenWaveFile(window, 1);
  } else {
    char text[sizeof title + 40];
    std::snprintf(text, sizeof text, "%s \nThis file cannot be found.", title);
    sys.MessageBoxA(window, text, "Open", MB_OK | MB_ICONWARNING);
    RemoveRecentFile(list, static_cast<WORD>(commandId), 1);
  }
  BuildRecentMenu(list, FileMenu(window), IDM_EXIT);
  return found ? 1 : 0;
}
