// The File menu's recent-file commands. Runs on the main dialog's thread.
#pragma once

#include <windows.h>

// Opens the recent file of `commandId` as the current file. A file that is no longer there is
// reported and leaves the list. Answers 1 when the file was there.
int OpenRecentFile(HWND window, UINT commandId);
