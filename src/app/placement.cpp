// The main window's placement in the per-user registry. Runs on the main window's thread:
// restoring during start-up, saving during shutdown.
#include "app/placement.h"

#include <cstring>

#include "platform/owners.h"

namespace {

constexpr char PlacementClass[] = "QNBREC32";
constexpr char PlacementValue[] = "Placement";
constexpr DWORD PlacementSize = sizeof(WINDOWPLACEMENT);
static_assert(PlacementSize == 44, "the stored record is the 32-bit WINDOWPLACEMENT");

// A stored record is applied only when it is complete and could have come from
// GetWindowPlacement: anything else would apply bytes that were never written, or hide the
// program's only window for good.
bool IsUsablePlacement(DWORD type, DWORD size, const WINDOWPLACEMENT& placement) {
  if (type != REG_BINARY || size != PlacementSize) return false;
  if (placement.length != PlacementSize) return false;
  return placement.showCmd != SW_HIDE;
}

// The window's own procedure while the guard below sits in front of it.
WNDPROC g_guardedWindowProc = nullptr;

// Some modal dialog loops (Wine's) show the dialog normally the first time their queue runs
// empty, which would undo a minimized placement applied during WM_INITDIALOG. The guard refuses
// that one restore, unless the user asked for it through the system command, and steps aside
// at the first restore, system command or destruction, whichever comes first.
LRESULT CALLBACK KeepMinimizedProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const WNDPROC own = g_guardedWindowProc;
  if (message == WM_QUERYOPEN || message == WM_SYSCOMMAND || message == WM_NCDESTROY) {
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(own));
    g_guardedWindowProc = nullptr;
    if (message == WM_QUERYOPEN) return FALSE;
  }
  return CallWindowProcA(own, window, message, wParam, lParam);
}

void KeepMinimizedThroughDialogStart(HWND window) {
  if (g_guardedWindowProc || !IsIconic(window)) return;
  g_guardedWindowProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&KeepMinimizedProc)));
}

}  // namespace

void SavePlacement(HWND window) {
  WINDOWPLACEMENT placement{};
  placement.length = PlacementSize;
  GetWindowPlacement(window, &placement);

  HKEY opened = nullptr;
  char keyClass[sizeof(PlacementClass)];
  std::memcpy(keyClass, PlacementClass, sizeof(PlacementClass));
  if (RegCreateKeyExA(HKEY_CURRENT_USER, PlacementKey, 0, keyClass, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, &opened, nullptr) != ERROR_SUCCESS) {
    return;
  }
  RegKey key(opened);
  RegSetValueExA(key.get(), PlacementValue, 0, REG_BINARY,
                 reinterpret_cast<const BYTE*>(&placement), PlacementSize);
}

void RestorePlacement(HWND window) {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, PlacementKey, 0, KEY_READ, &opened) != ERROR_SUCCESS) {
    return;  // first run: the window keeps the template's position
  }
  RegKey key(opened);

  // Read into more room than a record needs, so that a longer value shows as longer instead
  // of failing the same way as a missing one.
  union {
    WINDOWPLACEMENT placement;
    BYTE bytes[PlacementSize + 4];
  } stored{};
  DWORD type = REG_NONE;
  DWORD size = sizeof(stored.bytes);
  if (RegQueryValueExA(key.get(), PlacementValue, nullptr, &type, stored.bytes, &size) !=
      ERROR_SUCCESS) {
    return;
  }
  if (!IsUsablePlacement(type, size, stored.placement)) return;
  // Only the place is restored: the window cannot be resized, and its size is the one it has
  // now, at this display's scale; a stored size may come from another.
  RECT shown{};
  if (GetWindowRect(window, &shown)) {
    RECT& normal = stored.placement.rcNormalPosition;
    normal.right = normal.left + (shown.right - shown.left);
    normal.bottom = normal.top + (shown.bottom - shown.top);
  }
  SetWindowPlacement(window, &stored.placement);
  KeepMinimizedThroughDialogStart(window);
}
