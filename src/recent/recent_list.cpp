// The recent-files list: four paths, most recent first, shown as numbered File menu items
// in front of Exit and kept in the per-user registry between runs.
// Everything here runs on the main dialog's thread.
#include "recent/recent_list.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "state/context.h"
#include "platform/owners.h"
#include "platform/text.h"
#include "resources/resource.h"

namespace {

// SetRecentFile's own bound on indexes; the list's capacity bounds them as well.
constexpr WORD kSetIndexLimit = 4;
// Room the save and load work buffers have beyond one entry slot.
constexpr WORD kWorkBufferExtra = 20;
// The largest value the load reads: one slot plus a little.
constexpr WORD kReadLimitExtra = 10;

char* Slot(const RecentFileList* list, WORD index) {
  return list->entries + static_cast<size_t>(index) * list->entrySize;
}

// Copies at most `bound` bytes, never part of a character, and zero-fills the rest of those
// `bound` bytes, so the byte after them (the slot's last byte, always zero) still terminates
// the text.
void StoreBounded(char* slot, const char* text, size_t bound) {
  const size_t length = CharacterBoundary({text, strnlen(text, bound + 1)}, bound);
  std::memcpy(slot, text, length);
  std::memset(slot + length, 0, bound - length);
}

void CopySlot(const RecentFileList* list, WORD from, WORD to) {
  std::memcpy(Slot(list, to), Slot(list, from), list->entrySize);
}

// A key names an entry index directly, or a menu command id 8001.. standing for index 0..
WORD KeyToIndex(const RecentFileList* list, WORD key, int byCommand) {
  if (!byCommand) return key;
  return static_cast<WORD>(key - static_cast<WORD>(list->baseCommandId + 1));
}

bool Usable(const RecentFileList* list) {
  return list && list->entries && list->capacity > 0 && list->entrySize > 0;
}

std::string ValueName(WORD number) {
  char name[24];
  std::snprintf(name, sizeof name, "File%lu", static_cast<unsigned long>(number));
  return name;
}

}  // namespace

RecentFileList* CreateRecentList(WORD menuLimit, WORD capacity, WORD entrySize,
                                 WORD baseCommandId) {
  auto* list = static_cast<RecentFileList*>(AllocateLockedBlock(sizeof(RecentFileList)));
  if (!list) return nullptr;
  list->count = 0;
  list->menuLimit = menuLimit;
  list->capacity = capacity;
  list->entrySize = entrySize;
  list->baseCommandId = baseCommandId;
  list->entries =
      static_cast<char*>(AllocateLockedBlock(static_cast<SIZE_T>(capacity) * entrySize));
  if (!list->entries) {
    FreeLockedBlock(list);
    return nullptr;
  }
  return list;
}

void FreeRecentList(RecentFileList* list) {
  if (!list) return;
  FreeLockedBlock(list->entries);
  list->entries = nullptr;
  FreeLockedBlock(list);
}

void AddRecentFile(RecentFileList* list, const char* path) {
  if (!Usable(list) || !path) return;
  const size_t bound = list->entrySize - 1u;
  // Kept apart from the slots: the caller's text may be one of them, and shifting would
  // overwrite it before it is stored.
  const std::string text(path, CharacterBoundary({path, strnlen(path, bound + 1)}, bound));

  WORD match = 0;
  while (match < list->count && lstrcmpiA(path, Slot(list, match)) != 0) ++match;

  if (match < list->count) {
    for (WORD k = match; k >= 1; --k) CopySlot(list, k - 1, k);
  } else {
    list->count = std::min<WORD>(list->count + 1, list->capacity);
    for (WORD k = list->count - 1; k >= 1; --k) CopySlot(list, k - 1, k);
  }
  StoreBounded(Slot(list, 0), text.c_str(), bound);
}

int GetRecentFile(const RecentFileList* list, WORD key, int byCommand, char* destination,
                  int size) {
  if (!Usable(list) || !destination || size <= 0) return 0;
  const WORD index = KeyToIndex(list, key, byCommand);
  if (index >= list->count) return 0;
  // Zero-filled like the slot itself; the copy always ends inside `size`.
  const size_t room = std::min<size_t>(static_cast<size_t>(size) - 1u, list->entrySize);
  const char* slot = Slot(list, index);
  const size_t length = CharacterBoundary({slot, strnlen(slot, list->entrySize)}, room);
  std::memset(destination, 0, static_cast<size_t>(size));
  std::memcpy(destination, Slot(list, index), length);
  return 1;
}

int SetRecentFile(RecentFileList* list, WORD index, const char* text) {
  // The capacity bounds the index too: a smaller list has no slot there to write.
  if (!Usable(list) || !text || index >= kSetIndexLimit || index >= list->capacity) return 0;
  StoreBounded(Slot(list, index), text, list->entrySize - 1u);
  list->count = std::max<WORD>(list->count, index + 1);
  return 1;
}

int RemoveRecentFile(RecentFileList* list, WORD key, int byCommand) {
  if (!Usable(list)) return 0;
  const WORD index = KeyToIndex(list, key, byCommand);
  if (index >= list->count) return 0;
  --list->count;
  for (WORD k = index; k < list->count; ++k) CopySlot(list, k + 1, k);
  return 1;
}

void BuildRecentMenu(const RecentFileList* list, HMENU menu, UINT beforeId) {
  if (!menu || !Usable(list)) return;
  const UINT base = list->baseCommandId;
  for (UINT id = base; id <= base + list->capacity; ++id) RemoveMenu(menu, id, MF_BYCOMMAND);
  if (list->count == 0) return;

  InsertMenuA(menu, beforeId, MF_BYCOMMAND | MF_SEPARATOR, base, nullptr);
  const WORD shown = std::min(list->count, list->menuLimit);
  for (int j = shown - 1; j >= 0; --j) {
    // An '&' in a path shows as itself; only the number is the item's mnemonic.
    const std::string path = MenuItemText(Slot(list, static_cast<WORD>(j)));
    const SIZE_T textSize = path.size() + kWorkBufferExtra;
    GlobalBlock text;
    if (!text.Allocate(GHND, textSize) || !text.Lock()) continue;  // this item is left out
    std::snprintf(text.as<char>(), textSize, "&%lu %s", static_cast<unsigned long>(j + 1),
                  path.c_str());
    // Each item goes in front of the one inserted just before it, the last one in front
    // of the separator. An item left out for want of memory is stepped over, so the
    // numbering order holds for the others.
    UINT before = base;
    for (UINT id = base + j + 2; id <= base + shown; ++id) {
      if (GetMenuState(menu, id, MF_BYCOMMAND) != static_cast<UINT>(-1)) {
        before = id;
        break;
      }
    }
    InsertMenuA(menu, before, MF_BYCOMMAND | MF_STRING, base + j + 1, text.as<char>());
  }
}

int SaveRecentList(const RecentFileList* list, const char* keyPath) {
  if (!Usable(list) || !keyPath) return 0;
  GlobalBlock work;
  if (!work.Allocate(GHND, static_cast<SIZE_T>(list->entrySize) + kWorkBufferExtra) ||
      !work.Lock()) {
    return 0;
  }
  char* text = work.as<char>();

  // The key is shared with the window placement. Windows ignores the class of a key that
  // already exists, but Wine replaces it, so naming the same class keeps it intact there too.
  char keyClass[] = "QNBREC32";
  HKEY raw = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, keyPath, 0, keyClass, 0, KEY_ALL_ACCESS, nullptr, &raw,
                      nullptr) != ERROR_SUCCESS) {
    return 1;  // nothing can be stored; the registry stays as it was
  }
  RegKey key(raw);
  for (WORD i = 0; i < list->capacity; ++i) {
    if (!GetRecentFile(list, i, 0, text, list->entrySize + kReadLimitExtra)) text[0] = 0;
    // A REG_SZ value's size counts its terminating zero: readers that trust the size get a
    // terminated text. An unused slot is an empty text.
    sys.RegSetValueExA(key.get(), ValueName(i + 1).c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(text), static_cast<DWORD>(lstrlenA(text) + 1));
  }
  return 1;
}

int LoadRecentList(RecentFileList* list, const char* keyPath) {
  if (!Usable(list) || !keyPath) return 0;
  const DWORD limit = list->entrySize + kReadLimitExtra;
  GlobalBlock work;
  if (!work.Allocate(GHND, static_cast<SIZE_T>(list->entrySize) + kWorkBufferExtra) ||
      !work.Lock()) {
    return 0;
  }
  char* text = work.as<char>();

  HKEY raw = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, keyPath, 0, KEY_READ, &raw) != ERROR_SUCCESS) return 1;
  RegKey key(raw);

  // Values that cannot be taken whole are skipped rather than cut into a path that names
  // another file; the entries after them still load, closing up the gap.
  WORD next = 0;
  for (WORD i = 0; i < list->capacity; ++i) {
    text[0] = 0;
    DWORD size = limit;
    const LONG result = RegQueryValueExA(key.get(), ValueName(i + 1).c_str(), nullptr, nullptr,
                                         reinterpret_cast<BYTE*>(text), &size);
    if (result == ERROR_MORE_DATA) continue;
    if (result != ERROR_SUCCESS) break;  // a missing value ends the list
    // Wine counts a terminator that was never stored; the text's own length is what counts.
    size = std::min(size, limit);
    text[size] = 0;
    if (text[0] == 0) break;  // an empty value ends the list
    if (strnlen(text, size) > list->entrySize - 1u) continue;
    if (SetRecentFile(list, next, text)) ++next;
  }
  return 1;
}
