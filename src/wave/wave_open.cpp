// Reading an existing RIFF WAVE file and making it the current file: File Open here, and the
// recent-file command (src/recent) through OpenWaveFile.
// Runs on the main dialog's thread while the recorder is idle, so no device uses the format
// or the file while they change.
#include <cstring>
#include <vector>

#include <windows.h>
#include <commctrl.h>

#include "app/context.h"
#include "app/display.h"
#include "app/report.h"
#include "platform/services.h"
#include "wave/format.h"
#include "wave/wave_file.h"
#include "wave/wave_file_internal.h"

namespace {

constexpr FOURCC WaveForm = mmioFOURCC('W', 'A', 'V', 'E');
constexpr FOURCC FormatId = mmioFOURCC('f', 'm', 't', ' ');
constexpr FOURCC DataId = mmioFOURCC('d', 'a', 't', 'a');

// A failure after the file's "fmt " bytes were read into the format block. With a sound
// loaded, the block goes back to the loaded file's format: Record and Play still use that file.
// Without one, the bytes read stay only if they form a usable format.
int FailAfterFormatRead(HWND owner, HMMIO file, const char* message, int code,
                        const std::vector<BYTE>& saved) {
  if (!wave_detail::RestoreLoadedFormat() && !FormatIsUsable(CurrentFormat, MaxFormatSize) &&
      CurrentFormat && !saved.empty())
    std::memcpy(CurrentFormat, saved.data(), saved.size());
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

  FormChunk = MMCKINFO{};
  FormChunk.fccType = WaveForm;
  if (!wave_detail::ChunkReachable(file, FOURCC_RIFF, WaveForm) ||
      sys.mmioDescend(file, &FormChunk, nullptr, MMIO_FINDRIFF) != MMSYSERR_NOERROR)
    return AbortWaveFile(owner, file, "Wave format not found in file.", -2);

  SubChunk = MMCKINFO{};
  SubChunk.ckid = FormatId;
  if (!wave_detail::ChunkReachable(file, FormatId, 0) ||
      sys.mmioDescend(file, &SubChunk, &FormChunk, MMIO_FINDCHUNK) != MMSYSERR_NOERROR)
    return AbortWaveFile(owner, file, "Format chunk not found.", -3);

  if (SubChunk.cksize > MaxFormatSize)
    return AbortWaveFile(owner, file, "Format size in file doesn't match ACM's.", -4);

  // The block as it was, so a format that cannot be used never replaces a usable one.
  std::vector<BYTE> savedFormat;
  if (CurrentFormat) {
    const auto* block = reinterpret_cast<const BYTE*>(CurrentFormat);
    savedFormat.assign(block, block + MaxFormatSize);
  }
  const LONG wanted = static_cast<LONG>(SubChunk.cksize);
  const LONG got =
      wanted == 0 ? 0 : sys.mmioRead(file, reinterpret_cast<HPSTR>(CurrentFormat), wanted);
  if (got != wanted)
    return FailAfterFormatRead(owner, file, "Error reading format chunk.", -4, savedFormat);
  if (!FormatIsUsable(CurrentFormat, MaxFormatSize)) {
    // A format that cannot be used never replaces a usable one, loaded sound or not.
    if (!wave_detail::RestoreLoadedFormat() && !savedFormat.empty())
      std::memcpy(CurrentFormat, savedFormat.data(), savedFormat.size());
    return AbortWaveFile(owner, file, UnusableFormatMessage, -4);
  }

  // Only moves the position past the chunk; if it fails, the "data" search below fails and says so.
  sys.mmioAscend(file, &SubChunk, 0);

  SubChunk = MMCKINFO{};
  SubChunk.ckid = DataId;
  if (!wave_detail::ChunkReachable(file, DataId, 0) ||
      sys.mmioDescend(file, &SubChunk, &FormChunk, MMIO_FINDCHUNK) != MMSYSERR_NOERROR)
    return FailAfterFormatRead(owner, file, "Data chunk not found.", -5, savedFormat);

  if (SubChunk.cksize == 0)
    return FailAfterFormatRead(owner, file, "The data chunk contains no data.", -6, savedFormat);

  g_context.dataOffset = GetDiskOffset(file);
  g_context.fileLoaded = true;

  // Opened for reading without a buffer: a failing close has nothing to lose.
  sys.mmioClose(file, 0);
  SetCursor(g_context.savedCursor);

  g_context.dataSize = SubChunk.cksize;

  SliderMessage(TBM_SETRANGEMIN, 0);
  SliderMessage(TBM_SETRANGEMAX, static_cast<LPARAM>(BlocksInData(g_context.dataSize)));
  SliderMessage(TBM_SETPOS, 0);

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
