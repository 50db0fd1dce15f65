// Opening an existing wave file and creating a new recording file. Window's thread.
#pragma once

#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>
#include <commdlg.h>

// The Open and Save dialogs' records, kept for the whole run.
inline OPENFILENAMEA OpenDialogRecord{};
inline OPENFILENAMEA SaveDialogRecord{};
// Chunk records shared by Open and New.
inline MMCKINFO FormChunk{};
inline MMCKINFO SubChunk{};

int OpenWaveFile(HWND owner, int skipDialog);
void PrepareFileDialog(HWND owner, OPENFILENAMEA* record);
int AbortWaveFile(HWND owner, HMMIO file, const char* message, int code);
DWORD GetDiskOffset(HMMIO file);
int CreateWaveFile(HWND owner);

// True while Open or New runs on the window's thread: their dialogs and message boxes run a
// message loop, and no command may act on a file that is only half made current.
bool FileOperationBusy();

// Where a wave file's "fmt " and "data" payloads lie. Every size is what the file really holds:
// a RIFF or data size that is a placeholder (0, 0xFFFFFFFF) or runs past the end of the file
// (a stream that was never patched, a writer that crashed) is cut to the file's end.
struct WaveLayout {
  DWORD formatOffset = 0;
  DWORD formatSize = 0;  // as declared; the read of it shows whether the file holds it
  DWORD dataOffset = 0;
  DWORD dataSize = 0;  // declared, cut to the end of the file
};
enum class LayoutProblem { None, NotWave, NoFormat, NoData };
// Reads the layout from the start of `file` (any position afterwards).
LayoutProblem ReadWaveLayout(HMMIO file, WaveLayout& layout);

// Windows before 10 version 1903 ignores the manifest's UTF-8 code page: there a name with
// characters outside the user's ANSI code page comes back from the file dialogs with '?' in
// their place, a character no file name holds. False for such a name.
bool NameCameThroughWhole(const char* path);
inline constexpr const char* NameNotRepresentableMessage =
    "The file's name has characters that this version of Windows cannot pass to Audio Recorder "
    "(Windows 10 version 1903 and later can). Rename the file or give another name.";

// The file services address a file with signed 32-bit offsets: no larger file can be read whole.
inline constexpr DWORDLONG LargestReadableFile = 0x7FFFFFFF;
inline constexpr const char* FileTooLargeMessage =
    "The file is larger than 2 GB, more than Audio Recorder can read. The file was not opened.";
// The message shown when a file's "fmt " chunk describes a format that cannot be used.
inline constexpr const char* UnusableFormatMessage =
    "The file's format is not usable: its block alignment or byte rate is zero or does not "
    "match its samples. The file was not opened.";
// The shortest "fmt " chunk that holds a format: the head up to wBitsPerSample.
inline constexpr DWORD ShortestFormatChunk = 16;
inline constexpr const char* FormatChunkTooShortMessage =
    "The file's format chunk is too short to describe a format (it holds fewer than 16 bytes). "
    "The file was not opened.";
// The message shown when one block of a file's format would not fit a sound buffer.
inline constexpr const char* BlockLargerThanBufferMessage =
    "The file's format has blocks larger than Audio Recorder's sound buffers (64,000 bytes), so "
    "it can be neither played nor recorded. The file was not opened.";
// The message shown when no codec can decode a file's format (a channel count the format
// does not allow, for example).
inline constexpr const char* UndecodableFormatMessage =
    "The file's format cannot be decoded: no codec takes its channel count or layout. The file "
    "was not opened.";
