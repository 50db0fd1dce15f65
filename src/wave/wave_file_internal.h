// Helpers that Open and New share; not part of the wave-file interface. Window's thread.
#pragma once

#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>

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
// The loaded file no longer holds the loaded sound (New emptied it): nothing is put back.
void ForgetLoadedSound();

// A file as the file system knows it, whatever name leads to it: its volume and its index
// there, and its size when asked.
struct FileIdentity {
  DWORD volume = 0;
  DWORD indexHigh = 0;
  DWORD indexLow = 0;
  DWORDLONG size = 0;
};
// False when the file cannot be opened or asked (it does not exist, for one).
bool IdentifyFile(const char* path, FileIdentity& identity);
// Whether `path` names the loaded file by any name: its own, an 8.3 name, another spelling of
// its folder, a mapped drive or a share. `loaded` then holds what the loaded file is now (all
// zero when it could not be asked).
bool NamesLoadedFile(const char* path, FileIdentity& loaded);

// Window's thread: marks Open or New under way for its scope (FileOperationBusy).
class FileOperationScope {
 public:
  FileOperationScope();
  ~FileOperationScope();
  FileOperationScope(const FileOperationScope&) = delete;
  FileOperationScope& operator=(const FileOperationScope&) = delete;
};

// Whether `format` (a block of MaxFormatSize bytes) can be decoded at all: false for a header
// that no codec takes, such as IMA ADPCM with more than two channels.
bool FormatIsDecodable(const WAVEFORMATEX* format);

}  // namespace wave_detail
