// Reading an existing RIFF WAVE file and making it the current file: File Open here, and the
// recent-file command (src/recent) through OpenWaveFile.
// Runs on the main dialog's thread while the recorder is idle, so no device uses the format
// or the file while they change. The new file's format, offsets and sizes are gathered aside
// and made current together at the end: until then every command is kept out, since the
// dialog and the boxes shown here run a message loop.
#include <cstring>
#include <vector>

#include <windows.h>
#include <commctrl.h>

#include "state/context.h"
#include "state/display.h"
#include "state/report.h"
#include "platform/services.h"
#include "wave/format.h"
#include "wave/wave_file.h"
#include "wave/wave_file_internal.h"

namespace {

// A failure after the file's "fmt " bytes were read (into `format`, a block of zeros).
// With a sound loaded the block stays the loaded file's: Record and Play still use that file.
// Without one, the bytes read become the block when they form a usable format.
int FailAfterFormatRead(HWND owner, HMMIO file, const char* message, int code,
                        const std::vector<BYTE>& format) {
  if (!g_context.loadedPath[0] && CurrentFormat &&
      FormatIsUsable(reinterpret_cast<const WAVEFORMATEX*>(format.data()), MaxFormatSize))
    std::memcpy(CurrentFormat, format.data(), MaxFormatSize);
  return AbortWaveFile(owner, file, message, code);
}

// Asks for a file with the Open dialog; false when the user cancelled or the dialog failed.
bool AskForFile(HWND owner) {
  PrepareFileDialog(owner, &OpenDialogRecord);
  OpenDialogRecord.Flags = OFN_FILEMUSTEXIST;
  return sys.GetOpenFileNameA(&OpenDialogRecord) != 0;
}

}  // namespace

int OpenWaveFile(HWND owner, int skipDialog) {
  wave_detail::FileOperationScope busy;
  if (!skipDialog) {
    if (!AskForFile(owner)) return 0;
    if (!NameCameThroughWhole(g_context.filePath))
      return ReportError(owner, NameNotRepresentableMessage, -1);
  } else if (!OpenDialogRecord.lpstrFile) {
    // The player and the recorder name the current file through the Open record.
    OpenDialogRecord.lpstrFile = g_context.filePath;
    OpenDialogRecord.nMaxFile = sizeof(g_context.filePath);
  }

  wave_detail::TakeDriveRootFromPath();

  HMMIO file = sys.mmioOpenA(g_context.filePath, nullptr, MMIO_READ);
  if (!file) return ReportError(owner, "Open for read failed.", -1);

  wave_detail::ShowWaitCursor();

  // Past 2 GB the chunk search cannot reach the chunks: say so rather than "not found".
  WIN32_FILE_ATTRIBUTE_DATA attributes{};
  if (GetFileAttributesExA(g_context.filePath, GetFileExInfoStandard, &attributes) &&
      ((DWORDLONG{attributes.nFileSizeHigh} << 32) | attributes.nFileSizeLow) > LargestReadableFile)
    return AbortWaveFile(owner, file, FileTooLargeMessage, -2);

  WaveLayout layout;
  const LayoutProblem problem = ReadWaveLayout(file, layout);
  if (problem == LayoutProblem::NotWave)
    return AbortWaveFile(owner, file, "Wave format not found in file.", -2);
  if (problem == LayoutProblem::NoFormat)
    return AbortWaveFile(owner, file, "Format chunk not found.", -3);
  if (layout.formatSize > MaxFormatSize || !CurrentFormat)
    return AbortWaveFile(owner, file, "Format size in file doesn't match ACM's.", -4);
  if (layout.formatSize < ShortestFormatChunk)
    return AbortWaveFile(owner, file, FormatChunkTooShortMessage, -4);

  // The chunk is read over zeros: what it does not hold (cbSize and the extra bytes, after a
  // 16-byte PCM chunk) is 0, never a leftover of the previous format reaching the codecs.
  std::vector<BYTE> format(MaxFormatSize, 0);
  const auto* fileFormat = reinterpret_cast<const WAVEFORMATEX*>(format.data());
  const auto wanted = static_cast<LONG>(layout.formatSize);
  const auto at = static_cast<LONG>(layout.formatOffset);
  if (sys.mmioSeek(file, at, SEEK_SET) != at ||
      sys.mmioRead(file, reinterpret_cast<HPSTR>(format.data()), wanted) != wanted)
    return FailAfterFormatRead(owner, file, "Error reading format chunk.", -4, format);
  if (fileFormat->nBlockAlign > BufferCapacity)
    return AbortWaveFile(owner, file, BlockLargerThanBufferMessage, -4);
  if (!FormatIsUsable(fileFormat, MaxFormatSize))
    return AbortWaveFile(owner, file, UnusableFormatMessage, -4);
  // Such a header would reach the devices and the codecs, which may never return with it.
  if (!wave_detail::FormatIsDecodable(fileFormat))
    return AbortWaveFile(owner, file, UndecodableFormatMessage, -4);

  if (problem == LayoutProblem::NoData)
    return FailAfterFormatRead(owner, file, "Data chunk not found.", -5, format);
  if (layout.dataSize == 0)
    return FailAfterFormatRead(owner, file, "The data chunk contains no data.", -6, format);

  // Opened for reading without a buffer: a failing close has nothing to lose.
  sys.mmioClose(file, 0);
  SetCursor(g_context.savedCursor);

  // The new file becomes the loaded one in one step.
  std::memcpy(CurrentFormat, format.data(), MaxFormatSize);
  g_context.dataOffset = layout.dataOffset;
  g_context.dataSize = layout.dataSize;
  g_context.fileLoaded = true;
  SliderMessage(TBM_SETRANGEMIN, 0);
  SliderMessage(TBM_SETRANGEMAX, static_cast<LPARAM>(BlocksInData(g_context.dataSize)));
  SliderMessage(TBM_SETPOS, 0);

  // May warn in a box; commands stay out until the end.
  LoadFormatNames();
  wave_detail::RememberLoadedSound();

  ShowPosition(owner, 0);
  ShowLength(owner, g_context.dataSize);
  ShowDataSize(owner, g_context.dataSize);

  wave_detail::AddCurrentFileToRecentList();
  ShowFileTitle(owner);
  wave_detail::RebuildRecentMenu(owner);

  UpdateControlStates(owner);
  return 0;
}
