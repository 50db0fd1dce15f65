// Helpers shared by the recent-files tests: an owned list and a readable File menu.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "recent/recent_list.h"
#include "resources/resource.h"

struct RecentListDeleter {
  void operator()(RecentFileList* list) const { FreeRecentList(list); }
};
using OwnedRecentList = std::unique_ptr<RecentFileList, RecentListDeleter>;

// The program's own shape: four shown, four kept, 128-byte slots, separator 8000.
inline OwnedRecentList MakeProgramList() {
  return OwnedRecentList(CreateRecentList(4, 4, 128, 8000));
}

inline std::vector<std::string> Entries(const RecentFileList* list) {
  std::vector<std::string> texts;
  for (WORD i = 0; i < list->count; ++i) texts.emplace_back(list->entries + i * list->entrySize);
  return texts;
}

struct MenuItem {
  UINT id;
  bool separator;
  std::string text;
  bool operator==(const MenuItem&) const = default;
};

inline std::vector<MenuItem> ReadMenu(HMENU menu) {
  std::vector<MenuItem> items;
  const int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    char text[300] = {};
    MENUITEMINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STRING;
    info.dwTypeData = text;
    info.cch = sizeof text;
    GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &info);
    items.push_back({info.wID, (info.fType & MFT_SEPARATOR) != 0, text});
  }
  return items;
}

// The File menu as the resource defines it, with no recent entries yet.
inline std::vector<MenuItem> ResourceFileMenu() {
  return {{32776, false, "&New..."},
          {32775, false, "&Open..."},
          {32773, false, "&Properties"},
          {0, true, ""},
          {32774, false, "E&xit"}};
}

// The main menu from the program's resources; destroyed at scope end.
class LoadedMainMenu {
 public:
  LoadedMainMenu() : menu_(LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINMENU))) {}
  ~LoadedMainMenu() {
    if (menu_) DestroyMenu(menu_);
  }
  LoadedMainMenu(const LoadedMainMenu&) = delete;
  LoadedMainMenu& operator=(const LoadedMainMenu&) = delete;
  HMENU bar() const { return menu_; }
  HMENU file() const { return GetSubMenu(menu_, 0); }
  // Hands the menu to a window, which then destroys it.
  HMENU release() { return std::exchange(menu_, nullptr); }

 private:
  HMENU menu_;
};
