// The real program across runs: where its window reopens, what it stores, the About box in
// every state, and the buttons as they show on screen. These tests change the program's registry
// key that every run in the prefix shares, so they run beside no other test.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "glyph_model.h"
#include "recorder_driver.h"
#include "running_app_test.h"
#include "resources/resource.h"
#include "support/poll.h"
#include "support/test_support.h"
#include "support/wave_builder.h"

using recorder_driver::kDefaultTimeoutMs;
using recorder_driver::RecorderApp;

namespace {

constexpr char kKey[] = "Software\\Velmora\\Quenby Pro Recorder";

void DeleteProgramKey() {
  RegDeleteTreeA(HKEY_CURRENT_USER, kKey);
}

struct StoredValue {
  bool found = false;
  DWORD type = 0;
  std::vector<BYTE> bytes;
  std::string keyClass;
};

StoredValue ReadPlacementValue() {
  StoredValue v;
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return v;
  char keyClass[64] = {};
  DWORD classLength = sizeof keyClass;
  RegQueryInfoKeyA(key, keyClass, &classLength, nullptr, nullptr, nullptr, nullptr, nullptr,
                   nullptr, nullptr, nullptr, nullptr);
  v.keyClass = keyClass;
  BYTE bytes[256];
  DWORD size = sizeof bytes;
  if (RegQueryValueExA(key, "Placement", nullptr, &v.type, bytes, &size) == ERROR_SUCCESS) {
    v.found = true;
    v.bytes.assign(bytes, bytes + size);
  }
  RegCloseKey(key);
  return v;
}

void WritePlacementValue(DWORD type, const void* bytes, DWORD size) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(key, "Placement", 0, type, static_cast<const BYTE*>(bytes), size);
  RegCloseKey(key);
}

// Runs the program once, lets `during` act on it, then closes it the user's way.
template <typename Fn>
void RunOnce(Fn during) {
  RecorderApp app;
  ASSERT_TRUE(app.Start()) << app.LastError();
  during(app);
  app.Close();
  ASSERT_EQ(app.WaitForExit(), 0u);
}

void ExpectTemplatePosition(const RecorderApp& app, const char* what) {
  EXPECT_FALSE(app.IsMinimized()) << what;
  const RECT r = app.WindowRect();
  EXPECT_EQ(r.left, 0) << what;
  EXPECT_EQ(r.top, 0) << what;
}

TEST(PlacementE2E, FirstRunOpensAtTheTemplateAndStoresThePlacement) {
  DeleteProgramKey();
  WINDOWPLACEMENT shown{};
  shown.length = sizeof shown;
  RunOnce([&](RecorderApp& app) {
    ExpectTemplatePosition(app, "first run");
    GetWindowPlacement(app.mainWindow(), &shown);
  });
  const StoredValue stored = ReadPlacementValue();
  ASSERT_TRUE(stored.found);
  EXPECT_EQ(stored.type, static_cast<DWORD>(REG_BINARY));
  ASSERT_EQ(stored.bytes.size(), 44u);
  EXPECT_EQ(stored.bytes[0], 44);
  EXPECT_EQ(std::memcmp(stored.bytes.data(), &shown, 44), 0) << "not the window's placement";
  // The program's recent-files save re-creates the same key without a class right after, and
  // Wine (unlike Windows) then clears the class; the in-process test checks the class itself.
  if (!stored.keyClass.empty()) {
    EXPECT_EQ(stored.keyClass, "QNBREC32");
  }
}

TEST(PlacementE2E, MovedWindowReopensAtTheSamePlace) {
  DeleteProgramKey();
  RECT moved{};
  RunOnce([&](RecorderApp& app) {
    SetWindowPos(app.mainWindow(), nullptr, 210, 140, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ASSERT_TRUE(app.Sync());
    moved = app.WindowRect();
    ASSERT_EQ(moved.left, 210);
  });
  RunOnce([&](RecorderApp& app) {
    const RECT r = app.WindowRect();
    EXPECT_EQ(r.left, moved.left);
    EXPECT_EQ(r.top, moved.top);
    EXPECT_EQ(r.right, moved.right);
    EXPECT_EQ(r.bottom, moved.bottom);
    EXPECT_FALSE(app.IsMinimized());
  });
}

TEST(PlacementE2E, MinimizedAtExitReopensMinimized) {
  DeleteProgramKey();
  RunOnce([](RecorderApp& app) {
    SetWindowPos(app.mainWindow(), nullptr, 90, 60, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    app.PostToMain(WM_SYSCOMMAND, SC_MINIMIZE, 0);
    ASSERT_TRUE(app.IsMinimized());
  });
  const StoredValue stored = ReadPlacementValue();
  ASSERT_EQ(stored.bytes.size(), 44u);
  EXPECT_EQ(stored.bytes[8], SW_SHOWMINIMIZED) << "stored show state";
  RunOnce([](RecorderApp& app) {
    EXPECT_TRUE(app.IsMinimized());
    // It still works minimized, and restores to where it was.
    app.PostToMain(WM_SYSCOMMAND, SC_RESTORE, 0);
    EXPECT_FALSE(app.IsMinimized());
    EXPECT_EQ(app.WindowRect().left, 90);
    EXPECT_EQ(app.WindowRect().top, 60);
  });
}

TEST(PlacementE2E, MalformedStoredValuesAreIgnored) {
  // Complete, this record would reopen the window minimized at (300, 200).
  WINDOWPLACEMENT away{};
  away.length = sizeof away;
  away.showCmd = SW_SHOWMINIMIZED;
  away.ptMinPosition = away.ptMaxPosition = {-1, -1};
  away.rcNormalPosition = {300, 200, 300 + 370, 200 + 160};
  BYTE longer[45] = {};
  std::memcpy(longer, &away, 44);
  WINDOWPLACEMENT wrongLength = away;
  wrongLength.length = 40;
  WINDOWPLACEMENT hidden = away;
  hidden.showCmd = SW_HIDE;
  const std::vector<BYTE> huge(200, 44);
  struct Case {
    const char* what;
    DWORD type;
    const void* bytes;
    DWORD size;
  } cases[] = {
      {"43 bytes", REG_BINARY, &away, 43},
      {"45 bytes", REG_BINARY, longer, 45},
      {"more than the reading room", REG_BINARY, huge.data(), 200},
      {"string type", REG_SZ, &away, 44},
      {"dword type", REG_DWORD, &away, 4},
      {"length field not 44", REG_BINARY, &wrongLength, 44},
      {"hidden show state", REG_BINARY, &hidden, 44},
      {"empty", REG_BINARY, &away, 0},
  };
  for (const Case& c : cases) {
    DeleteProgramKey();
    WritePlacementValue(c.type, c.bytes, c.size);
    RunOnce([&](RecorderApp& app) { ExpectTemplatePosition(app, c.what); });
    // The run stores a proper record again.
    EXPECT_EQ(ReadPlacementValue().bytes.size(), 44u) << c.what;
  }
  // The same record, well formed, is applied: the cases above failed only for their flaw.
  DeleteProgramKey();
  WritePlacementValue(REG_BINARY, &away, 44);
  RunOnce([](RecorderApp& app) {
    EXPECT_TRUE(app.IsMinimized());
    app.PostToMain(WM_SYSCOMMAND, SC_RESTORE, 0);
    EXPECT_EQ(app.WindowRect().left, 300);
  });
}

class AboutE2E : public RunningAppTest {
 protected:
  // Opens Help About and checks what it shows; the box, or null.
  HWND OpenAbout(const char* state) {
    app.PostCommand(IDM_ABOUT, 0, nullptr, false);
    HWND box = app.WaitForDialog("About Audio Recorder");
    EXPECT_TRUE(box) << state;
    std::vector<std::string> statics;
    for (HWND child = GetWindow(box, GW_CHILD); box && child;
         child = GetWindow(child, GW_HWNDNEXT)) {
      char windowClass[16] = {};
      GetClassNameA(child, windowClass, sizeof windowClass);
      if (lstrcmpiA(windowClass, "Static") == 0) statics.push_back(RecorderApp::WindowText(child));
    }
    EXPECT_EQ(statics.size(), 3u) << state;
    if (statics.size() != 3) return box;
    EXPECT_EQ(statics[0], "Quenby Pro Audio Recorder") << state;
    EXPECT_EQ(statics[1], "Version 1.0") << state;
    EXPECT_FALSE(statics[2].empty()) << state;
    return box;
  }
  // The box goes, and the program is back in its own window.
  void ExpectClosed(HWND box, const char* way) {
    EXPECT_TRUE(RecorderApp::WaitForWindowGone(box)) << way;
    EXPECT_TRUE(PollUntil(kDefaultTimeoutMs, [&] { return IsWindowEnabled(app.mainWindow()); }))
        << way;
    EXPECT_TRUE(app.Dialogs().empty()) << way;
    EXPECT_FALSE(app.HasExited()) << way;
  }
  void ExpectAboutWorks(const char* state) {
    HWND box = OpenAbout(state);
    ASSERT_TRUE(box);
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
    ExpectClosed(box, state);
  }
  TempFolder folder;
};

TEST_F(AboutE2E, OnlyOkEnterTheCloseBoxAndAltF4CloseIt) {
  HWND box = OpenAbout("first");
  ASSERT_TRUE(box);
  // Escape as a command and as the key, other commands, minimizing and WM_CLOSE: it stays.
  PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
  PostMessageA(GetDlgItem(box, IDOK), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
  PostMessageA(box, WM_COMMAND, 1234, 0);
  PostMessageA(box, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  PostMessageA(box, WM_CLOSE, 0, 0);
  ASSERT_TRUE(app.Sync());
  Sleep(200);  // nothing to wait for: the check is that the box stays
  EXPECT_TRUE(IsWindow(box));
  PostMessageA(box, WM_SYSCOMMAND, SC_CLOSE, 0);
  ExpectClosed(box, "close box");

  box = OpenAbout("for Enter");
  ASSERT_TRUE(box);
  PostMessageA(GetDlgItem(box, IDOK), WM_KEYDOWN, VK_RETURN, 0x001C0001);
  ExpectClosed(box, "Enter");

  box = OpenAbout("for Alt+F4");
  ASSERT_TRUE(box);
  // Bit 29: the Alt key is down.
  PostMessageA(GetDlgItem(box, IDOK), WM_SYSKEYDOWN, VK_F4, 0x203E0001);
  ExpectClosed(box, "Alt+F4");

  ExpectAboutWorks("OK");
}

TEST_F(AboutE2E, OpensInEveryState) {
  ExpectAboutWorks("nothing loaded");

  app.PostCommand(IDM_NEW);
  ASSERT_TRUE(app.AnswerFileDialog(folder.file("about.wav")));
  ASSERT_TRUE(app.AnswerFormatChooser());
  ASSERT_TRUE(app.Sync());
  ExpectAboutWorks("new file");

  ASSERT_TRUE(app.ClickButton(IDC_RECORD));
  // The box is modal, yet the recording goes on and its timer keeps the texts moving.
  HWND box = OpenAbout("recording");
  ASSERT_TRUE(box);
  const std::string sizeBefore = app.ControlText(IDC_DATASIZE);
  EXPECT_TRUE(PollUntil(20000, [&] { return app.ControlText(IDC_DATASIZE) != sizeBefore; }))
      << "recording goes on under the box";
  EXPECT_TRUE(RecorderApp::PressDialogButton(box, IDOK));
  ASSERT_TRUE(app.ClickButton(IDC_STOP));

  ASSERT_TRUE(app.ClickButton(IDC_PLAY));
  ExpectAboutWorks("playing");
  app.PostCommand(IDC_STOP);
  ExpectAboutWorks("stopped");
}

// Reads a button's pixels from the screen.
glyph_test::Image ScreenButton(HWND button) {
  RECT r{};
  GetWindowRect(button, &r);
  return glyph_test::ReadArea(nullptr, r.left, r.top, glyph_test::kButtonW, glyph_test::kButtonH);
}

TEST(ButtonsE2E, ButtonsOnScreenShowTheirGlyphsEnabledAndDisabled) {
  DeleteProgramKey();
  RecorderApp app;
  ASSERT_TRUE(app.Start()) << app.LastError();
  // The program reads the same system colours as this process.
  const glyph_test::Colors c{GetSysColor(COLOR_BTNTEXT), GetSysColor(COLOR_BTNSHADOW),
                             GetSysColor(COLOR_BTNFACE), GetSysColor(COLOR_BTNHIGHLIGHT),
                             GetSysColor(COLOR_WINDOWFRAME)};
  // The first paint may still be on its way.
  PollUntil(
      10000,
      [&] {
        for (int index = 0; index < 5; ++index)
          if (glyph_test::Differences(ScreenButton(app.Control(IDC_REWIND + index)),
                                      glyph_test::EmbossedButton(index, c)) != "")
            return false;
        return true;
      },
      50);
  for (int index = 0; index < 5; ++index) {
    EXPECT_EQ(glyph_test::Differences(ScreenButton(app.Control(IDC_REWIND + index)),
                                      glyph_test::EmbossedButton(index, c)),
              "")
        << "disabled button " << index;
  }

  TempFolder folder;
  const std::string path = folder.file("shown.wav");
  ASSERT_TRUE(WriteWholeFile(path, PcmWave(22050)));
  ASSERT_TRUE(app.OpenThroughDialog(path));
  // The buttons repaint after the load: wait until the screen shows what it should.
  auto wanted = [&](int index) {
    const HWND button = app.Control(IDC_REWIND + index);
    return IsWindowEnabled(button) ? glyph_test::ColourButton(index, c, false)
                                   : glyph_test::EmbossedButton(index, c);
  };
  PollUntil(
      10000,
      [&] {
        for (int index = 0; index < 5; ++index)
          if (glyph_test::Differences(ScreenButton(app.Control(IDC_REWIND + index)),
                                      wanted(index)) != "")
            return false;
        return true;
      },
      50);
  for (int index = 0; index < 5; ++index) {
    const HWND button = app.Control(IDC_REWIND + index);
    const glyph_test::Image want = IsWindowEnabled(button)
                                       ? glyph_test::ColourButton(index, c, false)
                                       : glyph_test::EmbossedButton(index, c);
    EXPECT_EQ(glyph_test::Differences(ScreenButton(button), want), "") << "button " << index;
  }
  // The README's picture of the window, when asked for.
  if (const char* shot = std::getenv("RECORDER_BUTTONS_SCREENSHOT")) {
    EXPECT_TRUE(app.Screenshot(shot));
  }
  app.Close();
  EXPECT_EQ(app.WaitForExit(), 0u);
}

}  // namespace
