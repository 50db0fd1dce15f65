#include "support/test_support.h"

#include <cstdio>
#include <mutex>

#include "state/current_format.h"
#include "state/display.h"

namespace {
std::mutex g_boxesLock;
std::vector<CapturedMessageBox> g_boxes;
decltype(PlatformServices::MessageBoxA) g_savedMessageBox = nullptr;

int WINAPI CaptureBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  std::lock_guard lock(g_boxesLock);
  g_boxes.push_back({owner, text ? text : "", caption ? caption : "", type});
  return IDOK;
}
}  // namespace

MessageBoxCapture::MessageBoxCapture() {
  g_boxes.clear();
  g_savedMessageBox = sys.MessageBoxA;
  sys.MessageBoxA = CaptureBox;
}

MessageBoxCapture::~MessageBoxCapture() {
  sys.MessageBoxA = g_savedMessageBox;
}

const std::vector<CapturedMessageBox>& MessageBoxCapture::boxes() const {
  return g_boxes;
}

void MessageBoxCapture::clear() {
  std::lock_guard lock(g_boxesLock);
  g_boxes.clear();
}

TempFolder::TempFolder() {
  char base[MAX_PATH];
  GetTempPathA(MAX_PATH, base);
  static int serial = 0;
  char name[MAX_PATH];
  wsprintfA(name, "%srectest_%lu_%d", base, GetCurrentProcessId(), ++serial);
  CreateDirectoryA(name, nullptr);
  path_ = name;
}

TempFolder::~TempFolder() {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((path_ + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        DeleteFileA((path_ + "\\" + found.cFileName).c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(path_.c_str());
}

std::vector<unsigned char> ReadWholeFile(const std::string& path) {
  std::vector<unsigned char> bytes;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return bytes;
  unsigned char chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
    bytes.insert(bytes.end(), chunk, chunk + n);
  std::fclose(f);
  return bytes;
}

bool WriteWholeFile(const std::string& path, const std::vector<unsigned char>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

PrivateUserRegistry::PrivateUserRegistry() {
  path_ = "Software\\RecorderTests\\" + std::to_string(GetCurrentProcessId());
  RegDeleteTreeA(HKEY_CURRENT_USER, path_.c_str());
  if (RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      &root_, nullptr) != ERROR_SUCCESS ||
      RegOverridePredefKey(HKEY_CURRENT_USER, root_) != ERROR_SUCCESS) {
    if (root_) RegCloseKey(root_);
    root_ = nullptr;
  }
}

PrivateUserRegistry::~PrivateUserRegistry() {
  if (!root_) return;
  RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
  RegCloseKey(root_);
  RegDeleteTreeA(HKEY_CURRENT_USER, path_.c_str());
}

std::string DialogText(HWND dialog, int id) {
  char text[512] = "";
  GetDlgItemTextA(dialog, id, text, sizeof text);
  return text;
}

std::string WindowCaption(HWND window) {
  char text[512] = "";
  GetWindowTextA(window, text, sizeof text);
  return text;
}

std::string ShownTime(DWORD bytes) {
  char text[16];
  FormatTime(BytesToTenths(bytes), text);
  return text;
}

std::string ShownTime(DWORD bytes, DWORD bytesPerSecond) {
  WAVEFORMATEX format{};
  format.nAvgBytesPerSec = bytesPerSecond;
  format.nBlockAlign = 1;
  WAVEFORMATEX* const saved = CurrentFormat;
  CurrentFormat = &format;
  std::string text = ShownTime(bytes);
  CurrentFormat = saved;
  return text;
}
