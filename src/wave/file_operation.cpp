// The steps Open and New share around a file operation: the wait cursor and the abort path,
// the drive root, the recent list, and the loaded sound kept beside loadedPath so a failed
// Open or New leaves it current in its own format.
// Everything here runs on the main dialog's thread.
#include <cstring>
#include <vector>

#include "state/context.h"
#include "state/report.h"
#include "platform/owners.h"
#include "platform/services.h"
#include "platform/text.h"
#include "recent/recent_list.h"
#include "resources/resource.h"
#include "wave/format.h"
#include "wave/wave_file.h"
#include "wave/wave_file_internal.h"

namespace {
// The loaded sound's format block and its two texts (RememberLoadedSound).
std::vector<BYTE> g_loadedFormat;
char g_loadedTagName[sizeof FormatTagName] = "";
char g_loadedDetails[sizeof FormatDetailsText] = "";
int g_fileOperations = 0;  // window's thread only
}  // namespace

bool FileOperationBusy() {
  return g_fileOperations > 0;
}

int AbortWaveFile(HWND owner, HMMIO file, const char* message, int code) {
  // Nothing was buffered (files are opened without a buffer), so a failing close loses no data;
  // the message that follows already tells the user the operation failed.
  if (file) sys.mmioClose(file, 0);
  SetCursor(g_context.savedCursor);
  return ReportError(owner, message, code);
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
  CopyText(g_context.loadedPath, g_context.filePath);
  CopyText(g_context.loadedTitle, g_context.fileTitle);
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

FileOperationScope::FileOperationScope() {
  ++g_fileOperations;
}

FileOperationScope::~FileOperationScope() {
  --g_fileOperations;
}

void ForgetLoadedSound() {
  g_context.loadedPath[0] = 0;
  g_context.loadedTitle[0] = 0;
  g_loadedFormat.clear();
}

bool IdentifyFile(const char* path, FileIdentity& identity) {
  // Only the attributes are asked for, and every kind of sharing allowed: whoever holds the
  // file, the question is answered and the file left as it is.
  const HANDLE opened = CreateFileW(WideText(path).c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (opened == INVALID_HANDLE_VALUE) return false;
  const AutoCloseHandle file(opened);
  BY_HANDLE_FILE_INFORMATION info{};
  if (!sys.GetFileInformationByHandle(file.get(), &info)) return false;
  identity = FileIdentity{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow,
                          (DWORDLONG{info.nFileSizeHigh} << 32) | info.nFileSizeLow};
  return true;
}

bool NamesLoadedFile(const char* path, FileIdentity& loaded) {
  loaded = FileIdentity{};
  if (!g_context.loadedPath[0]) return false;
  const bool known = IdentifyFile(g_context.loadedPath, loaded);
  if (lstrcmpiA(path, g_context.loadedPath) == 0) return true;
  FileIdentity named;
  return known && IdentifyFile(path, named) && named.volume == loaded.volume &&
         named.indexHigh == loaded.indexHigh && named.indexLow == loaded.indexLow;
}

void TakeDriveRootFromPath() {
  // Three bytes, or fewer where the third would split a character.
  CopyText(g_context.driveRoot, g_context.filePath);
}

void ShowWaitCursor() {
  g_context.savedCursor = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
}

}  // namespace wave_detail
