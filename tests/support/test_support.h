// Shared helpers for tests: swapping platform services and capturing message boxes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "platform/services.h"

// Replaces one member of `sys` for the scope, then puts the previous binding back.
template <typename Fn>
class ScopedService {
 public:
  ScopedService(Fn& slot, Fn replacement) : slot_(slot), saved_(slot) { slot_ = replacement; }
  ScopedService(const ScopedService&) = delete;
  ScopedService& operator=(const ScopedService&) = delete;
  ~ScopedService() { slot_ = saved_; }

 private:
  Fn& slot_;
  Fn saved_;
};

struct CapturedMessageBox {
  HWND owner;
  std::string text;
  std::string caption;
  UINT type;
};

// While alive, message boxes are recorded instead of shown and answer IDOK.
class MessageBoxCapture {
 public:
  MessageBoxCapture();
  ~MessageBoxCapture();
  MessageBoxCapture(const MessageBoxCapture&) = delete;
  MessageBoxCapture& operator=(const MessageBoxCapture&) = delete;
  const std::vector<CapturedMessageBox>& boxes() const;
  void clear();
};

// A fresh folder under the prefix's temp folder, removed with its files at scope end.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

// A dialog item's text and a window's caption.
std::string DialogText(HWND dialog, int id);
std::string WindowCaption(HWND window);

// The time text the window shows for a byte count, made by the program's own BytesToTenths
// and FormatTime: at the current format's byte rate, or at `bytesPerSecond` (for a check of a
// program in another process, or of a rate no file has). The second points CurrentFormat at a
// format of its own for the call: only where no device callback reads the format.
std::string ShownTime(DWORD bytes);
std::string ShownTime(DWORD bytes, DWORD bytesPerSecond);

std::vector<unsigned char> ReadWholeFile(const std::string& path);
bool WriteWholeFile(const std::string& path, const std::vector<unsigned char>& bytes);

// Sends this process's HKEY_CURRENT_USER to a private key for the test's lifetime, so the
// dialog's placement and recent-file values never meet other tests' values.
class PrivateUserRegistry {
 public:
  PrivateUserRegistry();
  ~PrivateUserRegistry();
  PrivateUserRegistry(const PrivateUserRegistry&) = delete;
  PrivateUserRegistry& operator=(const PrivateUserRegistry&) = delete;
  bool ok() const { return root_ != nullptr; }

 private:
  std::string path_;
  HKEY root_ = nullptr;
};
