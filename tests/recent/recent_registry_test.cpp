// Saving and loading the list through the prefix's real registry, under a key of this
// test process's own so parallel runs never meet.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "recent_fixture.h"
#include "support/test_support.h"

using Texts = std::vector<std::string>;

namespace {

class RecentRegistryTest : public ::testing::Test {
 protected:
  RecentRegistryTest()
      : keyPath_("Software\\Velmora\\RecentTest" + std::to_string(GetCurrentProcessId())) {}
  void SetUp() override { RegDeleteTreeA(HKEY_CURRENT_USER, keyPath_.c_str()); }
  void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, keyPath_.c_str()); }

  const char* key() const { return keyPath_.c_str(); }

  // Writes a value's bytes exactly as given, with no terminator added.
  void WriteRaw(const char* name, const std::string& bytes) {
    HKEY raw = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &raw, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(raw, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(bytes.data()),
                   static_cast<DWORD>(bytes.size()));
    RegCloseKey(raw);
  }

  struct StoredValue {
    bool present = false;
    DWORD type = 0;
    std::string text;  // the stored characters, without any terminator
    DWORD size = 0;    // as reported
  };
  StoredValue ReadRaw(const char* name) {
    StoredValue value;
    HKEY raw = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key(), 0, KEY_READ, &raw) != ERROR_SUCCESS) return value;
    char data[512] = {};
    DWORD size = sizeof data;
    if (RegQueryValueExA(raw, name, nullptr, &value.type, reinterpret_cast<BYTE*>(data), &size) ==
        ERROR_SUCCESS) {
      value.present = true;
      value.size = size;
      value.text.assign(data, strnlen(data, size));
    }
    RegCloseKey(raw);
    return value;
  }

  // The registry cannot show whether a terminator was written: Wine adds one to a text
  // stored without it. So the save's writes are caught on their way in, and the registry
  // is only asked whether each value holds its text.
  void ExpectStored(const char* name, const std::string& text) {
    StoredValue value = ReadRaw(name);
    EXPECT_TRUE(value.present) << name;
    EXPECT_EQ(value.type, static_cast<DWORD>(REG_SZ)) << name;
    EXPECT_EQ(value.text, text) << name;
  }

  OwnedRecentList Load() {
    OwnedRecentList list = MakeProgramList();
    EXPECT_EQ(LoadRecentList(list.get(), key()), 1);
    return list;
  }

 private:
  std::string keyPath_;
};

struct WrittenValue {
  std::string name;
  DWORD type;
  std::string bytes;
  bool operator==(const WrittenValue&) const = default;
};
std::vector<WrittenValue> g_written;

LSTATUS WINAPI RecordingSetValue(HKEY key, LPCSTR name, DWORD reserved, DWORD type,
                                 const BYTE* data, DWORD size) {
  g_written.push_back({name, type, std::string(reinterpret_cast<const char*>(data), size)});
  return RegSetValueExA(key, name, reserved, type, data, size);
}

HGLOBAL WINAPI NoMemory(UINT, SIZE_T) {
  return nullptr;
}

}  // namespace

TEST_F(RecentRegistryTest, SaveWritesFourValuesWithTheirTerminators) {
  OwnedRecentList list = MakeProgramList();
  AddRecentFile(list.get(), "C:\\rec\\second.wav");
  AddRecentFile(list.get(), "C:\\rec\\first.wav");
  g_written.clear();
  {
    ScopedService write(sys.RegSetValueExA, &RecordingSetValue);
    ASSERT_EQ(SaveRecentList(list.get(), key()), 1);
  }
  using namespace std::string_literals;
  EXPECT_EQ(g_written, (std::vector<WrittenValue>{{"File1", REG_SZ, "C:\\rec\\first.wav\0"s},
                                                  {"File2", REG_SZ, "C:\\rec\\second.wav\0"s},
                                                  {"File3", REG_SZ, "\0"s},
                                                  {"File4", REG_SZ, "\0"s}}));
  ExpectStored("File1", "C:\\rec\\first.wav");
  ExpectStored("File2", "C:\\rec\\second.wav");
  ExpectStored("File3", "");
  ExpectStored("File4", "");
  EXPECT_FALSE(ReadRaw("File5").present);
}

TEST_F(RecentRegistryTest, SavedListLoadsBackInOrder) {
  OwnedRecentList list = MakeProgramList();
  const std::string longest(127, 'x');
  for (const char* path : {"d:\\4.wav", "d:\\3.wav", "d:\\2.wav"}) AddRecentFile(list.get(), path);
  AddRecentFile(list.get(), longest.c_str());
  ASSERT_EQ(SaveRecentList(list.get(), key()), 1);

  OwnedRecentList loaded = Load();
  EXPECT_EQ(Entries(loaded.get()), (Texts{longest, "d:\\2.wav", "d:\\3.wav", "d:\\4.wav"}));
}

TEST_F(RecentRegistryTest, NoKeyGivesAnEmptyListAndTheResourceMenu) {
  OwnedRecentList list = Load();
  EXPECT_EQ(list->count, 0);
  LoadedMainMenu menu;
  BuildRecentMenu(list.get(), menu.file(), 32774);
  EXPECT_EQ(ReadMenu(menu.file()), FileMenuWith({}));
}

TEST_F(RecentRegistryTest, LoadTakesTheValuesThatFitUpToTheFirstGap) {
  // 300 characters exceed the read limit; 130 fit the read but not a 127-character slot.
  // Neither may turn into a cut path naming some other file.
  const std::string exact(127, 'e');
  const struct {
    const char* what;
    std::vector<std::pair<const char*, std::string>> values;
    Texts loaded;
  } cases[] = {
      {"an empty value", {{"File1", "a"}, {"File2", ""}, {"File3", "c"}, {"File4", "d"}}, {"a"}},
      {"a missing value", {{"File1", "a"}, {"File3", "c"}}, {"a"}},
      {"values too long",
       {{"File1", std::string(300, 'L')},
        {"File2", "c:\\kept.wav"},
        {"File3", std::string(130, 'M')},
        {"File4", "c:\\also.wav"}},
       {"c:\\kept.wav", "c:\\also.wav"}},
      {"exactly a slot", {{"File1", exact}}, {exact}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RegDeleteTreeA(HKEY_CURRENT_USER, key());
    for (const auto& [name, text] : c.values) WriteRaw(name, text);
    OwnedRecentList list = Load();
    EXPECT_EQ(Entries(list.get()), c.loaded);
    for (WORD i = 0; i < list->count; ++i) EXPECT_EQ(list->entries[i * 128 + 127], 0);
  }
}

TEST_F(RecentRegistryTest, NoWorkBufferMeansNothingWrittenOrRead) {
  OwnedRecentList list = MakeProgramList();
  AddRecentFile(list.get(), "c:\\x.wav");
  {
    ScopedService alloc(sys.GlobalAlloc, &NoMemory);
    EXPECT_EQ(SaveRecentList(list.get(), key()), 0);
  }
  EXPECT_FALSE(ReadRaw("File1").present);

  WriteRaw("File1", "c:\\y.wav");
  OwnedRecentList fresh = MakeProgramList();
  {
    ScopedService alloc(sys.GlobalAlloc, &NoMemory);
    EXPECT_EQ(LoadRecentList(fresh.get(), key()), 0);
  }
  EXPECT_EQ(fresh->count, 0);
}
