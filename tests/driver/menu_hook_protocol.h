// What the driver and the hook DLL inside the program exchange. The driver posts the query
// message to the program's main window (wParam: kind | index << 8, lParam: sequence); the hook
// sees it when the program's thread takes it from its queue, writes the answer into the named
// mapping and sets the named event. Names carry the program's process id.
#pragma once

#include <windows.h>

#include <cstdio>

namespace menu_hook {

inline constexpr char kQueryMessage[] = "RecorderDriver.MenuQuery";
inline constexpr int kMaxItems = 64;
// A recent-file item names a whole path, up to MAX_PATH characters of up to 3 bytes each.
inline constexpr int kMaxText = 1024;

enum QueryKind : int {
  kSync = 0,     // answer at once: everything posted before has been handled
  kSubmenu = 1,  // submenu `index` of the menu bar
  kMenuBar = 2,  // the menu bar's own items
  kSystem = 3,   // the system menu
};

struct Item {
  UINT id;
  UINT type;
  UINT state;
  UINT popup;
  char text[kMaxText];
};

struct Reply {
  DWORD sequence;
  LONG found;  // 1 when the menu existed
  LONG count;
  Item items[kMaxItems];
};

inline void MappingName(char (&name)[64], DWORD processId) {
  std::snprintf(name, sizeof name, "RecorderDriver.Reply.%lu",
                static_cast<unsigned long>(processId));
}
inline void EventName(char (&name)[64], DWORD processId) {
  std::snprintf(name, sizeof name, "RecorderDriver.Done.%lu",
                static_cast<unsigned long>(processId));
}

}  // namespace menu_hook
