// Loaded into the program by the driver's WH_GETMESSAGE hook; answers the driver's menu
// queries from inside the program's own thread (runs on the thread that owns the window).
#include <windows.h>

#include <cstring>

#include "menu_hook_protocol.h"

namespace {

void Describe(HMENU menu, menu_hook::Reply& reply) {
  int count = GetMenuItemCount(menu);
  if (count < 0) return;
  reply.found = 1;
  for (int i = 0; i < count && reply.count < menu_hook::kMaxItems; ++i) {
    menu_hook::Item& item = reply.items[reply.count];
    std::memset(&item, 0, sizeof item);
    MENUITEMINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_ID | MIIM_STATE | MIIM_FTYPE | MIIM_SUBMENU | MIIM_STRING;
    info.dwTypeData = item.text;
    info.cch = menu_hook::kMaxText - 1;
    if (!GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &info)) continue;
    item.id = info.wID;
    item.type = info.fType;
    item.state = info.fState;
    item.popup = info.hSubMenu != nullptr;
    ++reply.count;
  }
}

void Answer(HWND window, WPARAM query, DWORD sequence) {
  char name[64];
  menu_hook::MappingName(name, GetCurrentProcessId());
  HANDLE mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, name);
  if (!mapping) return;
  auto* reply = static_cast<menu_hook::Reply*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0));
  if (reply) {
    reply->found = 0;
    reply->count = 0;
    int kind = static_cast<int>(query & 0xFF);
    int index = static_cast<int>(query >> 8);
    HMENU bar = GetMenu(window);
    switch (kind) {
      case menu_hook::kSync:
        reply->found = 1;
        break;
      case menu_hook::kSubmenu:
        if (bar) {
          if (HMENU sub = GetSubMenu(bar, index)) Describe(sub, *reply);
        }
        break;
      case menu_hook::kMenuBar:
        if (bar) Describe(bar, *reply);
        break;
      case menu_hook::kSystem:
        if (HMENU system = GetSystemMenu(window, FALSE)) Describe(system, *reply);
        break;
    }
    reply->sequence = sequence;
    UnmapViewOfFile(reply);
  }
  CloseHandle(mapping);
  menu_hook::EventName(name, GetCurrentProcessId());
  if (HANDLE event = OpenEventA(EVENT_MODIFY_STATE, FALSE, name)) {
    SetEvent(event);
    CloseHandle(event);
  }
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK
    RecorderDriverGetMessageHook(int code, WPARAM wParam, LPARAM lParam) {
  static const UINT query = RegisterWindowMessageA(menu_hook::kQueryMessage);
  if (code == HC_ACTION && wParam == PM_REMOVE) {
    auto* message = reinterpret_cast<MSG*>(lParam);
    if (query != 0 && message->message == query) {
      Answer(message->hwnd, message->wParam, static_cast<DWORD>(message->lParam));
      message->message = WM_NULL;  // the window never sees the query
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}
