// The file dialogs' UTF-16 calls behind the A record the program keeps. Runs on the window's
// thread.
#include "platform/wide_file_dialogs.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/services.h"
#include "platform/text.h"

namespace {

using WideDialog = decltype(&::GetOpenFileNameW);

// A list of terminated strings ended by an empty one (the filter), in UTF-16.
std::wstring WideList(const char* list, UINT codePage) {
  std::wstring wide;
  for (const char* item = list; item && *item; item += std::strlen(item) + 1) {
    wide += WideText(item, codePage);
    wide.push_back(L'\0');
  }
  wide.push_back(L'\0');
  return wide;
}

// Copies the dialog's answer into the caller's bytes; false when it does not fit.
bool TakeAnswer(const std::wstring& answer, char* destination, DWORD size, UINT codePage) {
  if (!destination || size == 0) return true;
  std::string narrow;
  NarrowText(answer, codePage, narrow);
  if (narrow.size() >= size) return false;
  std::memcpy(destination, narrow.c_str(), narrow.size() + 1);
  return true;
}

BOOL AskInUtf16(LPOPENFILENAMEA record, WideDialog dialog) {
  const UINT codePage = sys.GetACP();
  const std::wstring filter = WideList(record->lpstrFilter, codePage);
  const std::wstring extension =
      record->lpstrDefExt ? WideText(record->lpstrDefExt, codePage) : std::wstring();
  // As many characters as the caller has bytes: none takes less than a byte.
  std::wstring file(record->nMaxFile, L'\0');
  if (record->lpstrFile && !file.empty()) {
    const std::wstring initial = WideText(record->lpstrFile, codePage);
    initial.copy(file.data(), std::min(initial.size(), file.size() - 1));
  }
  std::wstring title(record->nMaxFileTitle, L'\0');

  OPENFILENAMEW wide{};
  wide.lStructSize = record->lStructSize == OPENFILENAME_SIZE_VERSION_400A
                         ? OPENFILENAME_SIZE_VERSION_400W
                         : sizeof wide;
  wide.hwndOwner = record->hwndOwner;
  wide.lpstrFilter = filter.c_str();
  wide.nFilterIndex = record->nFilterIndex;
  wide.lpstrFile = file.empty() ? nullptr : file.data();
  wide.nMaxFile = record->nMaxFile;
  wide.lpstrFileTitle = title.empty() ? nullptr : title.data();
  wide.nMaxFileTitle = record->nMaxFileTitle;
  wide.Flags = record->Flags;
  wide.lpstrDefExt = record->lpstrDefExt ? extension.c_str() : nullptr;
  if (!dialog(&wide)) return FALSE;

  record->nFilterIndex = wide.nFilterIndex;
  record->Flags = wide.Flags;
  record->nFileOffset = 0;
  record->nFileExtension = 0;
  return TakeAnswer(file.c_str(), record->lpstrFile, record->nMaxFile, codePage) &&
         TakeAnswer(title.c_str(), record->lpstrFileTitle, record->nMaxFileTitle, codePage);
}

}  // namespace

BOOL WINAPI OpenFileDialogInUtf16(LPOPENFILENAMEA record) {
  return AskInUtf16(record, sys.GetOpenFileNameW);
}

BOOL WINAPI SaveFileDialogInUtf16(LPOPENFILENAMEA record) {
  return AskInUtf16(record, sys.GetSaveFileNameW);
}
