// Opening a RIFF file by any name. Runs on the window's thread, as every sys.mmioOpenA call
// does.
#include "platform/riff_open.h"

#include <string>

#include "platform/text.h"

namespace {

constexpr DWORD AccessFlags = MMIO_READ | MMIO_WRITE | MMIO_READWRITE;
constexpr DWORD SharingFlags = MMIO_EXCLUSIVE | MMIO_DENYWRITE | MMIO_DENYREAD | MMIO_DENYNONE;
constexpr DWORD HandledFlags = AccessFlags | SharingFlags | MMIO_CREATE | MMIO_ALLOCBUF;

DWORD Access(DWORD flags) {
  switch (flags & AccessFlags) {
    case MMIO_WRITE:
      return GENERIC_WRITE;
    case MMIO_READWRITE:
      return GENERIC_READ | GENERIC_WRITE;
    default:
      return GENERIC_READ;
  }
}

// The sharing OpenFile gives each mode; its compatibility mode (none given) shares both ways.
DWORD Sharing(DWORD flags) {
  switch (flags & SharingFlags) {
    case MMIO_EXCLUSIVE:
      return 0;
    case MMIO_DENYWRITE:
      return FILE_SHARE_READ;
    case MMIO_DENYREAD:
      return FILE_SHARE_WRITE;
    default:
      return FILE_SHARE_READ | FILE_SHARE_WRITE;
  }
}

}  // namespace

HMMIO WINAPI OpenRiffFile(LPSTR name, LPMMIOINFO info, DWORD flags) {
  if (!name || (flags & ~HandledFlags) != 0 || (info && (info->fccIOProc || info->pIOProc)))
    return mmioOpenA(name, info, flags);

  MMIOINFO own{};
  MMIOINFO* record = info ? info : &own;
  const std::wstring path = WideText(name);
  const HANDLE file = CreateFileW(path.c_str(), Access(flags), Sharing(flags), nullptr,
                                  (flags & MMIO_CREATE) ? CREATE_ALWAYS : OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    record->wErrorRet =
        GetLastError() == ERROR_FILE_NOT_FOUND ? MMIOERR_FILENOTFOUND : MMIOERR_CANNOTOPEN;
    return nullptr;
  }
  record->fccIOProc = FOURCC_DOS;
  // A file handle's value fits the 32 bits of an HFILE on 64-bit Windows too.
  record->adwInfo[0] = static_cast<DWORD>(HandleToLong(file));
  HMMIO opened = mmioOpenA(nullptr, record, flags & ~MMIO_CREATE);
  // mmio takes the handle only once it has opened: a failed open leaves it to be closed here.
  if (!opened) CloseHandle(file);
  return opened;
}
