// The window placement against the real registry. Each test process maps HKEY_CURRENT_USER
// onto a private key, so tests running side by side never see each other's values.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/context.h"
#include "app/placement.h"
#include "resources/resource.h"
#include "support/test_support.h"

namespace {

INT_PTR CALLBACK PlainDialogProc(HWND, UINT, WPARAM, LPARAM) {
  return 0;
}

// Restores while the dialog starts, as the program does.
INT_PTR CALLBACK RestoringDialogProc(HWND window, UINT message, WPARAM, LPARAM) {
  if (message == WM_INITDIALOG) {
    RestorePlacement(window);
    return 1;
  }
  return 0;
}

// Runs the main dialog modally, restoring during its start, and notes what the window looks
// like once the dialog loop has settled, and after the user restores it.
struct ModalObservation {
  bool iconicWhenSettled = false;
  bool iconicAfterUserRestore = true;
};
ModalObservation g_observed;

INT_PTR CALLBACK ObservingModalProc(HWND window, UINT message, WPARAM, LPARAM) {
  if (message == WM_INITDIALOG) {
    RestorePlacement(window);
    SetTimer(window, 1, 300, nullptr);
    return 1;
  }
  if (message == WM_TIMER) {
    KillTimer(window, 1);
    g_observed.iconicWhenSettled = IsIconic(window);
    SendMessageA(window, WM_SYSCOMMAND, SC_RESTORE, 0);
    g_observed.iconicAfterUserRestore = IsIconic(window);
    EndDialog(window, 0);
    return 1;
  }
  return 0;
}

class Placement : public ::testing::Test {
 protected:
  void SetUp() override {
    g_instance = GetModuleHandleA(nullptr);
    ASSERT_TRUE(registry_.ok());
  }
  void TearDown() override {
    for (HWND w : windows_) DestroyWindow(w);
  }

  // A window made from the main dialog's template, so at the template's position.
  HWND NewMainWindow() {
    HWND w =
        CreateDialogParamA(g_instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, PlainDialogProc, 0);
    if (w) windows_.push_back(w);
    return w;
  }

  static RECT WindowRect(HWND w) {
    WINDOWPLACEMENT p{};
    p.length = sizeof p;
    GetWindowPlacement(w, &p);
    return p.rcNormalPosition;
  }

  static void WriteValue(DWORD type, const void* bytes, DWORD size) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, PlacementKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, "Placement", 0, type, static_cast<const BYTE*>(bytes), size);
    RegCloseKey(key);
  }

  // A complete record that would put the window minimized somewhere else entirely.
  static WINDOWPLACEMENT FarAwayMinimized() {
    WINDOWPLACEMENT p{};
    p.length = sizeof p;
    p.showCmd = SW_SHOWMINIMIZED;
    p.ptMinPosition = {-1, -1};
    p.ptMaxPosition = {-1, -1};
    p.rcNormalPosition = {300, 200, 300 + 370, 200 + 160};
    return p;
  }

  void ExpectTemplatePlacement(HWND w, const char* what) {
    const RECT r = WindowRect(w);
    EXPECT_EQ(r.left, 0) << what;
    EXPECT_EQ(r.top, 0) << what;
    EXPECT_FALSE(IsIconic(w)) << what;
    EXPECT_TRUE(IsWindowVisible(w)) << what;
  }

 private:
  PrivateUserRegistry registry_;
  std::vector<HWND> windows_;
};

TEST_F(Placement, FirstRunKeepsTemplatePositionAndSaveCreatesTheKey) {
  HWND w = NewMainWindow();
  ASSERT_TRUE(w);
  RestorePlacement(w);
  ExpectTemplatePlacement(w, "no key");

  SavePlacement(w);
  HKEY key;
  ASSERT_EQ(
      RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Velmora\\Quenby Pro Recorder", 0, KEY_READ, &key),
      ERROR_SUCCESS);
  char keyClass[64] = {};
  DWORD classLength = sizeof keyClass;
  EXPECT_EQ(RegQueryInfoKeyA(key, keyClass, &classLength, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_STREQ(keyClass, "QNBREC32");

  BYTE stored[64] = {};
  DWORD type = 0, size = sizeof stored;
  EXPECT_EQ(RegQueryValueExA(key, "Placement", nullptr, &type, stored, &size), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  ASSERT_EQ(size, 44u);
  WINDOWPLACEMENT now{};
  now.length = sizeof now;
  GetWindowPlacement(w, &now);
  EXPECT_EQ(std::memcmp(stored, &now, 44), 0);
  EXPECT_EQ(stored[0], 44);
}

TEST_F(Placement, MovedWindowReopensAtTheSamePlace) {
  HWND first = NewMainWindow();
  ASSERT_TRUE(first);
  SetWindowPos(first, nullptr, 123, 77, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  const RECT moved = WindowRect(first);
  ASSERT_EQ(moved.left, 123);
  SavePlacement(first);

  HWND second = NewMainWindow();
  ExpectTemplatePlacement(second, "before restoring");
  RestorePlacement(second);
  const RECT restored = WindowRect(second);
  EXPECT_EQ(restored.left, 123);
  EXPECT_EQ(restored.top, 77);
  EXPECT_EQ(restored.right, moved.right);
  EXPECT_EQ(restored.bottom, moved.bottom);
  EXPECT_FALSE(IsIconic(second));
}

TEST_F(Placement, MinimizedWindowReopensMinimized) {
  HWND first = NewMainWindow();
  ASSERT_TRUE(first);
  SetWindowPos(first, nullptr, 40, 50, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  ShowWindow(first, SW_MINIMIZE);
  ASSERT_TRUE(IsIconic(first));
  SavePlacement(first);

  HWND second = NewMainWindow();
  RestorePlacement(second);
  EXPECT_TRUE(IsIconic(second));
  HWND starting =
      CreateDialogParamA(g_instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, RestoringDialogProc, 0);
  EXPECT_TRUE(IsIconic(starting)) << "restored while the dialog starts";
  DestroyWindow(starting);
  // The stored normal position shows once the user restores the window (the system command:
  // a bare restore at start-up is the one the program refuses).
  ASSERT_TRUE(IsIconic(second));
  SendMessageA(second, WM_SYSCOMMAND, SC_RESTORE, 0);
  ASSERT_FALSE(IsIconic(second));
  const RECT restored = WindowRect(second);
  EXPECT_EQ(restored.left, 40);
  EXPECT_EQ(restored.top, 50);
}

TEST_F(Placement, MinimizedPlacementOutlastsTheStartOfTheModalLoop) {
  const WINDOWPLACEMENT minimized = FarAwayMinimized();
  WriteValue(REG_BINARY, &minimized, 44);
  DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, ObservingModalProc, 0);
  EXPECT_TRUE(g_observed.iconicWhenSettled);
  EXPECT_FALSE(g_observed.iconicAfterUserRestore);
}

TEST_F(Placement, MalformedValuesAreIgnored) {
  const WINDOWPLACEMENT good = FarAwayMinimized();
  BYTE longer[45] = {};
  std::memcpy(longer, &good, 44);
  WINDOWPLACEMENT wrongLength = good;
  wrongLength.length = 40;
  WINDOWPLACEMENT hidden = good;
  hidden.showCmd = SW_HIDE;
  const std::vector<BYTE> huge(200, 44);
  struct Case {
    const char* what;
    DWORD type;
    const void* bytes;
    DWORD size;
  } cases[] = {
      {"43 bytes", REG_BINARY, &good, 43},
      {"45 bytes", REG_BINARY, longer, 45},
      {"more than the reading room", REG_BINARY, huge.data(), 200},
      {"string type", REG_SZ, &good, 44},
      {"dword type", REG_DWORD, &good, 4},
      {"length field not 44", REG_BINARY, &wrongLength, 44},
      {"hidden show state", REG_BINARY, &hidden, 44},
      {"empty", REG_BINARY, &good, 0},
  };
  for (const Case& c : cases) {
    WriteValue(c.type, c.bytes, c.size);
    HWND w = NewMainWindow();
    ASSERT_TRUE(w);
    RestorePlacement(w);
    ExpectTemplatePlacement(w, c.what);
  }

  // The same record, well formed, is applied: the cases above failed only for their flaw.
  WriteValue(REG_BINARY, &good, 44);
  HWND w = NewMainWindow();
  RestorePlacement(w);
  EXPECT_TRUE(IsIconic(w));
  EXPECT_EQ(WindowRect(w).left, 300);
}

TEST_F(Placement, SavingLeavesTheRecentFilesBesideIt) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Velmora\\Quenby Pro Recorder", 0, nullptr,
                            0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const char path[] = "C:\\sounds\\a.wav";
  RegSetValueExA(key, "File1", 0, REG_SZ, reinterpret_cast<const BYTE*>(path), sizeof path);
  RegCloseKey(key);

  HWND w = NewMainWindow();
  SavePlacement(w);
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, PlacementKey, 0, KEY_READ, &key), ERROR_SUCCESS);
  char text[64] = {};
  DWORD size = sizeof text;
  EXPECT_EQ(RegQueryValueExA(key, "File1", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size),
            ERROR_SUCCESS);
  size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "Placement", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_STREQ(text, path);
  EXPECT_EQ(size, 44u);
}

}  // namespace
