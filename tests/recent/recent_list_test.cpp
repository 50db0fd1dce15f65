// The list operations and the File menu items they produce.
#include <gtest/gtest.h>

#include <string>

#include "recent_fixture.h"
#include "support/test_support.h"

using Texts = std::vector<std::string>;

namespace {

int g_allocationsLeft = 0;
HGLOBAL WINAPI RationedAlloc(UINT flags, SIZE_T bytes) {
  if (g_allocationsLeft <= 0) return nullptr;
  --g_allocationsLeft;
  return GlobalAlloc(flags, bytes);
}
// Fails only the allocation numbered g_failingCall (counting from 1).
int g_failingCall = 0;
HGLOBAL WINAPI FailOneAlloc(UINT flags, SIZE_T bytes) {
  return --g_failingCall == 0 ? nullptr : GlobalAlloc(flags, bytes);
}

OwnedRecentList ListOf(const Texts& mostRecentFirst) {
  OwnedRecentList list = MakeProgramList();
  for (auto it = mostRecentFirst.rbegin(); it != mostRecentFirst.rend(); ++it)
    AddRecentFile(list.get(), it->c_str());
  return list;
}

}  // namespace

TEST(RecentListTest, CreatesAnEmptyZeroFilledList) {
  OwnedRecentList list = MakeProgramList();
  ASSERT_TRUE(list);
  EXPECT_EQ(list->count, 0);
  EXPECT_EQ(list->menuLimit, 4);
  EXPECT_EQ(list->capacity, 4);
  EXPECT_EQ(list->entrySize, 128);
  EXPECT_EQ(list->baseCommandId, 8000);
  for (int i = 0; i < 512; ++i) ASSERT_EQ(list->entries[i], 0) << i;
}

TEST(RecentListTest, NoListWhenMemoryIsShort) {
  for (int granted : {0, 1}) {
    g_allocationsLeft = granted;
    ScopedService alloc(sys.GlobalAlloc, &RationedAlloc);
    EXPECT_EQ(CreateRecentList(4, 4, 128, 8000), nullptr) << granted;
  }
}

TEST(RecentListTest, AddingMatchesWithoutCaseMovesToFrontAndDropsTheOldest) {
  const std::string path(200, 'p'), cut = path.substr(0, 127);
  const struct {
    Texts before;
    std::string added;
    Texts after;
  } cases[] = {
      {{}, "c:\\only.wav", {"c:\\only.wav"}},
      {{"c:\\b.wav", "c:\\a.wav"}, "C:\\A.WAV", {"C:\\A.WAV", "c:\\b.wav"}},
      {{"1", "2", "3", "4"}, "3", {"3", "1", "2", "4"}},
      {{"1", "2", "3", "4"}, "new", {"new", "1", "2", "3"}},
      // A long path is cut to the slot, and then no longer matches.
      {{}, path, {cut}},
      {{cut}, path, {cut, cut}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.added);
    OwnedRecentList list = ListOf(c.before);
    AddRecentFile(list.get(), c.added.c_str());
    EXPECT_EQ(Entries(list.get()), c.after);
    EXPECT_EQ(list->count, static_cast<WORD>(c.after.size()));
    EXPECT_EQ(list->entries[127], 0);
  }
}

TEST(RecentListTest, AddingASlotOfTheListItselfKeepsTheText) {
  OwnedRecentList list = ListOf({"a", "b", "c"});
  AddRecentFile(list.get(), list->entries + 2 * list->entrySize);
  EXPECT_EQ(Entries(list.get()), (Texts{"c", "a", "b"}));
}

TEST(RecentListTest, GetCopiesByIndexOrCommandWithinTheBound) {
  OwnedRecentList list = ListOf({"c:\\first.wav", "c:\\second.wav"});
  char text[64] = "unchanged";

  EXPECT_EQ(GetRecentFile(list.get(), 1, 0, text, sizeof text), 1);
  EXPECT_STREQ(text, "c:\\second.wav");
  EXPECT_EQ(GetRecentFile(list.get(), 8001, 1, text, sizeof text), 1);
  EXPECT_STREQ(text, "c:\\first.wav");

  EXPECT_EQ(GetRecentFile(list.get(), 0, 0, text, 6), 1);
  EXPECT_STREQ(text, "c:\\fi");

  strcpy(text, "unchanged");
  EXPECT_EQ(GetRecentFile(list.get(), 2, 0, text, sizeof text), 0);
  EXPECT_EQ(GetRecentFile(list.get(), 8003, 1, text, sizeof text), 0);
  EXPECT_EQ(GetRecentFile(list.get(), 8000, 1, text, sizeof text), 0);
  EXPECT_EQ(GetRecentFile(list.get(), 0, 0, text, 0), 0);
  EXPECT_STREQ(text, "unchanged");
}

TEST(RecentListTest, SetStoresUpToIndexThreeOnly) {
  OwnedRecentList list = MakeProgramList();
  EXPECT_EQ(SetRecentFile(list.get(), 3, "d"), 1);
  EXPECT_EQ(Entries(list.get()), (Texts{"", "", "", "d"}));

  OwnedRecentList other = ListOf({"a"});
  EXPECT_EQ(SetRecentFile(other.get(), 4, "x"), 0);
  EXPECT_EQ(Entries(other.get()), Texts{"a"});

  // A smaller list has no slot at index 3 to write.
  OwnedRecentList small(CreateRecentList(2, 2, 16, 9000));
  EXPECT_EQ(SetRecentFile(small.get(), 3, "x"), 0);
  EXPECT_EQ(small->count, 0);
}

TEST(RecentListTest, RemovingShiftsLaterEntriesUp) {
  OwnedRecentList list = ListOf({"0", "1", "2"});
  EXPECT_EQ(RemoveRecentFile(list.get(), 3, 0), 0);
  EXPECT_EQ(Entries(list.get()), (Texts{"0", "1", "2"}));

  EXPECT_EQ(RemoveRecentFile(list.get(), 1, 0), 1);
  EXPECT_EQ(Entries(list.get()), (Texts{"0", "2"}));

  EXPECT_EQ(RemoveRecentFile(list.get(), 8001, 1), 1);
  EXPECT_EQ(Entries(list.get()), Texts{"2"});
  EXPECT_EQ(RemoveRecentFile(list.get(), 8002, 1), 0);
  EXPECT_EQ(RemoveRecentFile(list.get(), 8001, 1), 1);
  EXPECT_EQ(list->count, 0);
}

TEST(RecentMenuTest, EntriesGoBetweenTheMenuSeparatorAndExit) {
  LoadedMainMenu menu;
  ASSERT_TRUE(menu.file());
  OwnedRecentList list = ListOf({"C:\\one.wav", "C:\\two.wav", "C:\\three.wav"});
  BuildRecentMenu(list.get(), menu.file(), 32774);

  EXPECT_EQ(ReadMenu(menu.file()), FileMenuWith({"C:\\one.wav", "C:\\two.wav", "C:\\three.wav"}));
  EXPECT_EQ(GetMenuState(menu.file(), 8001, MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED), 0u);

  // Rebuilding replaces the items instead of adding to them.
  AddRecentFile(list.get(), "C:\\four.wav");
  AddRecentFile(list.get(), "C:\\five.wav");
  BuildRecentMenu(list.get(), menu.file(), 32774);
  EXPECT_EQ(ReadMenu(menu.file()),
            FileMenuWith({"C:\\five.wav", "C:\\four.wav", "C:\\one.wav", "C:\\two.wav"}));
}

TEST(RecentMenuTest, AnEmptyListLeavesTheResourceMenu) {
  LoadedMainMenu menu;
  OwnedRecentList list = ListOf({"C:\\one.wav"});
  BuildRecentMenu(list.get(), menu.file(), 32774);
  RemoveRecentFile(list.get(), 0, 0);
  BuildRecentMenu(list.get(), menu.file(), 32774);
  EXPECT_EQ(ReadMenu(menu.file()), FileMenuWith({}));

  BuildRecentMenu(list.get(), nullptr, 32774);  // no menu: nothing to do, no failure
}

TEST(RecentMenuTest, AnItemWithoutMemoryIsLeftOutAndTheOrderHolds) {
  LoadedMainMenu menu;
  OwnedRecentList list = ListOf({"a", "b", "c", "d"});
  g_failingCall = 2;  // the items' texts are made from the last up: item 3's fails
  {
    ScopedService alloc(sys.GlobalAlloc, &FailOneAlloc);
    BuildRecentMenu(list.get(), menu.file(), 32774);
  }
  EXPECT_EQ(ReadMenu(menu.file()), FileMenuWith({"a", "b", "", "d"}));
}
