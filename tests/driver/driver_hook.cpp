// The menu hook inside the program: putting it in and taking it out, the queries that go
// through it (the round trip of Sync, and the menus, which Wine lets only the program read).
#include "recorder_driver.h"

#include <cstring>

#include "menu_hook_protocol.h"

namespace recorder_driver {

bool RecorderApp::InstallHook() {
  std::string hookPath = WindowsPath(RECORDER_DRIVER_HOOK);
  if (!hookModule_) hookModule_ = LoadLibraryA(hookPath.c_str());
  if (!hookModule_) {
    lastError_ = "cannot load " + hookPath;
    return false;
  }
  auto procedure = reinterpret_cast<HOOKPROC>(
      reinterpret_cast<void*>(GetProcAddress(hookModule_, "RecorderDriverGetMessageHook")));
  if (!procedure) {
    procedure = reinterpret_cast<HOOKPROC>(
        reinterpret_cast<void*>(GetProcAddress(hookModule_, "RecorderDriverGetMessageHook@12")));
  }
  if (!procedure) {
    lastError_ = "the hook DLL has no hook procedure";
    return false;
  }
  char name[64];
  menu_hook::MappingName(name, processId());
  if (!replyMapping_) {
    replyMapping_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                       sizeof(menu_hook::Reply), name);
    if (replyMapping_) replyView_ = MapViewOfFile(replyMapping_, FILE_MAP_ALL_ACCESS, 0, 0, 0);
  }
  menu_hook::EventName(name, processId());
  if (!replyEvent_) replyEvent_ = CreateEventA(nullptr, FALSE, FALSE, name);
  DWORD thread = GetWindowThreadProcessId(mainWindow_, nullptr);
  hook_ = SetWindowsHookExA(WH_GETMESSAGE, procedure, hookModule_, thread);
  if (!replyView_ || !replyEvent_ || !hook_) {
    lastError_ = "cannot install the menu hook";
    return false;
  }
  return true;
}

void RecorderApp::RemoveHook() {
  if (hook_) UnhookWindowsHookEx(hook_);
  hook_ = nullptr;
}

bool RecorderApp::RestoreHook() {
  return hook_ || InstallHook();
}

bool RecorderApp::Query(int kind, int index, DWORD timeoutMs, std::vector<MenuItem>* items) {
  if (!hook_ || !mainWindow_ || !replyView_) return false;
  static const UINT query = RegisterWindowMessageA(menu_hook::kQueryMessage);
  auto* reply = static_cast<menu_hook::Reply*>(replyView_);
  DWORD sequence = ++sequence_;
  ResetEvent(replyEvent_);
  if (!PostMessageA(mainWindow_, query, static_cast<WPARAM>(kind | (index << 8)), sequence)) {
    return false;
  }
  bool answered = false;
  DWORD start = GetTickCount();
  while (GetTickCount() - start < timeoutMs) {
    WaitForSingleObject(replyEvent_, 50);
    if (InterlockedCompareExchange(reinterpret_cast<volatile LONG*>(&reply->sequence), 0, 0) ==
        static_cast<LONG>(sequence)) {
      answered = true;
      break;
    }
    if (HasExited()) break;
  }
  if (!answered || !reply->found) return false;
  if (items) {
    items->clear();
    for (LONG i = 0; i < reply->count && i < menu_hook::kMaxItems; ++i) {
      const menu_hook::Item& item = reply->items[i];
      items->push_back({item.id, item.type, item.state, item.popup != 0,
                        std::string(item.text, strnlen(item.text, menu_hook::kMaxText))});
    }
  }
  return true;
}

bool RecorderApp::Sync(DWORD timeoutMs) {
  return Query(menu_hook::kSync, 0, timeoutMs, nullptr);
}

std::vector<MenuItem> RecorderApp::ReadMenu(MenuKind menu, DWORD timeoutMs) {
  std::vector<MenuItem> items;
  bool ok = false;
  switch (menu) {
    case MenuKind::File:
      ok = Query(menu_hook::kSubmenu, 0, timeoutMs, &items);
      break;
    case MenuKind::Help:
      ok = Query(menu_hook::kSubmenu, 1, timeoutMs, &items);
      break;
    case MenuKind::Bar:
      ok = Query(menu_hook::kMenuBar, 0, timeoutMs, &items);
      break;
    case MenuKind::System:
      ok = Query(menu_hook::kSystem, 0, timeoutMs, &items);
      break;
  }
  if (!ok) items.clear();
  return items;
}

std::optional<MenuItem> RecorderApp::FindMenuItem(UINT id, MenuKind menu) {
  for (const MenuItem& item : ReadMenu(menu)) {
    if (item.id == id && !item.separator()) return item;
  }
  return std::nullopt;
}

}  // namespace recorder_driver
