// Pieces shared by Open, New and the recorder: the file dialogs' record, the abort path of a
// file operation and the disk offset of an open file.
#include <cstdint>
#include <cstring>
#include <vector>

#include "app/context.h"
#include "app/report.h"
#include "platform/services.h"
#include "wave/format.h"
#include "wave/wave_file.h"
#include "wave/wave_file_internal.h"
#include "recent/recent_list.h"
#include "resources/resource.h"

namespace {
// Four terminated strings and the empty one that ends the list.
constexpr char WaveFilter[] = "Wave Files (*.wav)\0*.wav\0All Files (*.*)\0*.*\0";
constexpr char DefaultExtension[] = "WAV";
constexpr DWORD PathBufferSize = sizeof(RecorderContext::filePath);
constexpr DWORD TitleBufferSize = sizeof(RecorderContext::fileTitle);

// The loaded sound's format block and its two texts (RememberLoadedSound).
std::vector<BYTE> g_loadedFormat;
char g_loadedTagName[sizeof FormatTagName] = "";
char g_loadedDetails[sizeof FormatDetailsText] = "";
}  // namespace

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

int AbortWaveFile(HWND owner, HMMIO file, const char* message, int code) {
  // Nothing was buffered (files are opened without a buffer), so a failing close loses no data;
  // the message that follows already tells the user the operation failed.
  if (file) sys.mmioClose(file, 0);
  SetCursor(g_context.savedCursor);
  return ReportError(owner, message, code);
}

DWORD GetDiskOffset(HMMIO file) {
  MMIOINFO info{};
  if (sys.mmioGetInfo(file, &info, 0) == MMSYSERR_NOERROR)
    return static_cast<DWORD>(info.lDiskOffset);
  // Without the information record the current position of the unbuffered file is the same
  // offset; 0 would point the recorder at the RIFF header.
  const LONG position = sys.mmioSeek(file, 0, SEEK_CUR);
  return position < 0 ? 0 : static_cast<DWORD>(position);
}

bool FormatIsUsable(const WAVEFORMATEX* format, DWORD blockSize) {
  if (!format || blockSize < sizeof(WAVEFORMATEX)) return false;
  if (format->nChannels == 0 || format->nSamplesPerSec == 0 || format->nAvgBytesPerSec == 0 ||
      format->nBlockAlign == 0)
    return false;
  // The details lookup and the devices read cbSize format-specific bytes after the head.
  if (sizeof(WAVEFORMATEX) + format->cbSize > blockSize) return false;
  if (format->wFormatTag == WAVE_FORMAT_PCM) {
    const uint64_t sampleBytes = (static_cast<uint64_t>(format->wBitsPerSample) + 7) / 8;
    if (format->nBlockAlign != format->nChannels * sampleBytes) return false;
    if (format->nAvgBytesPerSec !=
        static_cast<uint64_t>(format->nSamplesPerSec) * format->nBlockAlign)
      return false;
  }
  return true;
}

DWORD BlocksInData(DWORD bytes) {
  if (!CurrentFormat || MaxFormatSize < sizeof(WAVEFORMATEX) || CurrentFormat->nBlockAlign == 0)
    return 0;
  return bytes / CurrentFormat->nBlockAlign;
}

namespace wave_detail {

void AddCurrentFileToRecentList() {
  if (g_recentList) AddRecentFile(g_recentList, g_context.filePath);
}

void RebuildRecentMenu(HWND owner) {
  if (!g_recentList) return;
  HMENU fileMenu = GetSubMenu(GetMenu(owner), 0);
  if (fileMenu) BuildRecentMenu(g_recentList, fileMenu, IDM_EXIT);
}

void RememberLoadedSound() {
  lstrcpynA(g_context.loadedPath, g_context.filePath, sizeof g_context.loadedPath);
  lstrcpynA(g_context.loadedTitle, g_context.fileTitle, sizeof g_context.loadedTitle);
  if (CurrentFormat) {
    const auto* block = reinterpret_cast<const BYTE*>(CurrentFormat);
    g_loadedFormat.assign(block, block + MaxFormatSize);
  }
  std::memcpy(g_loadedTagName, FormatTagName, sizeof g_loadedTagName);
  std::memcpy(g_loadedDetails, FormatDetailsText, sizeof g_loadedDetails);
}

bool RestoreLoadedFormat() {
  if (!g_context.loadedPath[0] || !CurrentFormat || g_loadedFormat.size() != MaxFormatSize)
    return false;
  std::memcpy(CurrentFormat, g_loadedFormat.data(), MaxFormatSize);
  std::memcpy(FormatTagName, g_loadedTagName, sizeof g_loadedTagName);
  std::memcpy(FormatDetailsText, g_loadedDetails, sizeof g_loadedDetails);
  return true;
}

void TakeDriveRootFromPath() {
  lstrcpynA(g_context.driveRoot, g_context.filePath, sizeof(g_context.driveRoot));
}

void ShowWaitCursor() {
  g_context.savedCursor = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
}

bool ChunkReachable(HMMIO file, FOURCC id, FOURCC formType) {
  const LONG start = sys.mmioSeek(file, 0, SEEK_CUR);
  const LONG end = sys.mmioSeek(file, 0, SEEK_END);
  bool found = false;
  if (start >= 0 && end >= 0) {
    uint64_t position = static_cast<uint64_t>(start);
    const uint64_t fileEnd = static_cast<uint64_t>(end);
    while (position + 8 <= fileEnd) {
      // Same header read as mmioDescend: identifier, size and (for forms) the form type.
      DWORD header[3] = {};
      if (sys.mmioSeek(file, static_cast<LONG>(position), SEEK_SET) != static_cast<LONG>(position))
        break;
      const LONG got = sys.mmioRead(file, reinterpret_cast<HPSTR>(header), sizeof header);
      if (got < 8) break;
      if (header[0] == id && (formType == 0 || (got == sizeof header && header[2] == formType))) {
        found = true;
        break;
      }
      // RIFF pads odd chunks; counted in 64 bits so a huge size ends the walk instead of wrapping.
      position += 8 + ((static_cast<uint64_t>(header[1]) + 1) & ~uint64_t{1});
    }
  }
  if (start >= 0) sys.mmioSeek(file, start, SEEK_SET);
  return found;
}

}  // namespace wave_detail
