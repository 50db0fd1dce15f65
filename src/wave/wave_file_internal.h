// Helpers that Open and New share; not part of the wave-file interface.
#pragma once

#include <windows.h>
#include <mmsystem.h>

namespace wave_detail {

// Puts filePath at the head of the recent list (when the program has a list).
void AddCurrentFileToRecentList();
// Rebuilds the recent entries of the owner's File menu, in front of File Exit.
void RebuildRecentMenu(HWND owner);
// driveRoot = the first three characters of filePath.
void TakeDriveRootFromPath();
// Shows the wait cursor, remembering the one it replaces in savedCursor.
void ShowWaitCursor();

// The loaded sound, kept beside loadedPath: a successful Open or New records its path, title,
// format block and format texts. A failed Open or New puts the format block and texts back, so
// Record and Play keep using the loaded file in the format that describes its bytes; false
// when no sound has been loaded (nothing is put back).
void RememberLoadedSound();
bool RestoreLoadedFormat();

// Walks the chunk headers from the file's current position the way mmioDescend searches
// for `id` (and, for a RIFF form, `formType`), then puts the position back. False when the
// walk cannot reach such a chunk inside the file: mmioDescend would not find it either, and
// a size that wraps its 32-bit arithmetic could otherwise send it round in circles.
bool ChunkReachable(HMMIO file, FOURCC id, FOURCC formType);

}  // namespace wave_detail
