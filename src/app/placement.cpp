#include "app/placement.h"

#include <cstring>

#include "platform/owners.h"

// Runs on the main window's thread: restoring during start-up, saving during shutdown.

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
  SetWindowPlacement(window, &stored.placement);
}
