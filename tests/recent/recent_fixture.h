// Helpers shared by the recent-files tests: an owned list and a readable File menu.
#pragma once

#include <windows.h>

#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "recent/recent_list.h"
#include "resources/resource.h"

struct RecentListDeleter {
  void operator()(RecentFileList* list) const { FreeRecentList(list); }
};
using OwnedRecentList = std::unique_ptr<RecentFileList, RecentListDeleter>;

// The program's shape with short slots: four shown, four kept, 128-byte slots (the program's
// own hold whole paths, PathTextSize bytes), separator 8000.
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

// The File menu with the recent entries (most recent first, each shown as "&<n> <text>")
// between the menu's separator and the list's own separator in front of Exit. An empty entry
// stands for an item left out: its number is skipped.
inline std::vector<MenuItem> FileMenuWith(const std::vector<std::string>& entries) {
  std::vector<MenuItem> items{{IDM_NEW, false, "&New..."},
                              {IDM_OPEN, false, "&Open..."},
                              {IDM_PROPERTIES, false, "&Properties"},
                              {0, true, ""}};
  for (size_t i = 0; i < entries.size(); ++i)
    if (!entries[i].empty())
      items.push_back({static_cast<UINT>(IDM_RECENT_BASE + 1 + i), false,
                       "&" + std::to_string(i + 1) + " " + entries[i]});
  if (!entries.empty()) items.push_back({IDM_RECENT_BASE, true, ""});
  items.push_back({IDM_EXIT, false, "E&xit"});
  return items;
}

inline std::ostream& operator<<(std::ostream& out, const MenuItem& item) {
  return out << item.id << (item.separator ? " ---" : " " + item.text);
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
