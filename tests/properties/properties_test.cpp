// The real properties sheet: shown modally over a window of this thread, read and closed
// from a second thread while ShowProperties runs its modal loop.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "app/context.h"
#include "resources/resource.h"
#include "ui/properties.h"
#include "wave/format.h"

namespace {

constexpr int kApplyButtonId = 0x3021;
constexpr int kTabControlId = 0x3020;

struct SheetSeen {
  bool found = false;
  bool ownerDisabled = false;
  HWND owner = nullptr;
  std::string caption;
  std::string tab;
  int tabs = 0;
  bool applyShown = false;
  std::string name, length, size, format, details;
  bool closed = false;
};

std::string Text(HWND window) {
  char text[512] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

std::string ItemText(HWND dialog, int id) {
  char text[512] = {};
  GetDlgItemTextA(dialog, id, text, sizeof text);
  return text;
}

struct FindSheet {
  DWORD thread;
  HWND sheet = nullptr;
};

BOOL CALLBACK FindSheetWindow(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<FindSheet*>(param);
  char className[32] = {};
  GetClassNameA(window, className, sizeof className);
  if (GetWindowThreadProcessId(window, nullptr) == search->thread &&
      std::string(className) == "#32770" && IsWindowVisible(window)) {
    search->sheet = window;
    return FALSE;
  }
  return TRUE;
}

bool WaitFor(auto condition, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    if (condition()) return true;
    Sleep(10);
  }
  return condition();
}

class PropertiesSheetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    format_ = {WAVE_FORMAT_PCM, 1, 11025, 11025, 1, 8, 0};
    savedFormat_ = CurrentFormat;
    CurrentFormat = &format_;
    strcpy(FormatTagName, "PCM");
    strcpy(FormatDetailsText, "11025 Hz; 8 bits; Mono");
    g_context.dataSize = 22050;
    g_context.fileLoaded = true;
    strcpy(g_context.fileTitle, "take.wav");
    owner_ = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200,
                             nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_TRUE(owner_);
  }
  void TearDown() override {
    CurrentFormat = savedFormat_;
    g_context.fileTitle[0] = 0;
    g_context.dataSize = 0;
    g_context.fileLoaded = false;
    if (owner_) DestroyWindow(owner_);
  }

  // Shows the sheet, reads it, then closes it with the button `closeWith` (IDOK/IDCANCEL).
  SheetSeen ShowAndClose(int closeWith) {
    SheetSeen seen;
    std::atomic<bool> returned{false};
    const DWORD thread = GetCurrentThreadId();
    std::thread watcher([&] {
      FindSheet search{thread};
      if (!WaitFor(
              [&] {
                search.sheet = nullptr;
                EnumWindows(FindSheetWindow, reinterpret_cast<LPARAM>(&search));
                return search.sheet != nullptr || returned.load();
              },
              std::chrono::seconds(10)) ||
          !search.sheet) {
        return;
      }
      HWND sheet = search.sheet;
      seen.found = true;
      seen.owner = GetWindow(sheet, GW_OWNER);
      seen.ownerDisabled = !IsWindowEnabled(owner_);
      seen.caption = Text(sheet);
      HWND tabs = GetDlgItem(sheet, kTabControlId);
      seen.tabs = static_cast<int>(SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0));
      char tab[64] = {};
      TCITEMA item{};
      item.mask = TCIF_TEXT;
      item.pszText = tab;
      item.cchTextMax = sizeof tab;
      SendMessageA(tabs, TCM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
      seen.tab = tab;
      HWND apply = GetDlgItem(sheet, kApplyButtonId);
      seen.applyShown = apply && IsWindowVisible(apply);
      auto page = reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
      seen.name = ItemText(page, IDC_PROP_NAME);
      seen.length = ItemText(page, IDC_PROP_LENGTH);
      seen.size = ItemText(page, IDC_PROP_SIZE);
      seen.format = ItemText(page, IDC_PROP_FORMAT);
      seen.details = ItemText(page, IDC_PROP_ATTRIBUTES);

      PostMessageA(GetDlgItem(sheet, closeWith), BM_CLICK, 0, 0);
      seen.closed = WaitFor([&] { return returned.load(); }, std::chrono::seconds(5));
      if (!seen.closed) PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    });
    ShowProperties(owner_);
    returned = true;
    watcher.join();
    return seen;
  }

  WAVEFORMATEX format_{};
  WAVEFORMATEX* savedFormat_ = nullptr;
  HWND owner_ = nullptr;
};

}  // namespace

TEST_F(PropertiesSheetTest, DescribesTheCurrentSoundAndClosesWithOk) {
  SheetSeen seen = ShowAndClose(IDOK);
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.owner, owner_);
  EXPECT_TRUE(seen.ownerDisabled);
  EXPECT_EQ(seen.caption, "Properties for take.wav");
  EXPECT_EQ(seen.tabs, 1);
  EXPECT_EQ(seen.tab, "Details");
  EXPECT_FALSE(seen.applyShown);
  EXPECT_EQ(seen.name, "take.wav");
  EXPECT_EQ(seen.length, "00:02.0");
  EXPECT_EQ(seen.size, "22050 bytes");
  EXPECT_EQ(seen.format, "PCM");
  EXPECT_EQ(seen.details, "11025 Hz; 8 bits; Mono");
  EXPECT_TRUE(seen.closed);
  EXPECT_TRUE(IsWindowEnabled(owner_));
}

TEST_F(PropertiesSheetTest, UntitledSoundIsCalledSoundAndClosesWithCancel) {
  g_context.fileTitle[0] = 0;
  SheetSeen seen = ShowAndClose(IDCANCEL);
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.caption, "Properties for Sound");
  EXPECT_EQ(seen.name, "Sound");
  EXPECT_TRUE(seen.closed);
}

TEST_F(PropertiesSheetTest, LongTitleShowsWhole) {
  const std::string title = "a rather long recording name of the evening session.wav";
  strcpy(g_context.fileTitle, title.c_str());
  SheetSeen seen = ShowAndClose(IDOK);
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.caption, "Properties for " + title);
  EXPECT_EQ(seen.name, title);
}

TEST_F(PropertiesSheetTest, SizesAboveTwoGibibytesAreNotNegative) {
  g_context.dataSize = 3000000000u;
  SheetSeen seen = ShowAndClose(IDOK);
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.size, "3000000000 bytes");
}
