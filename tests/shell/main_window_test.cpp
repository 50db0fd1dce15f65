// The real main dialog in this process: its controls, enabling rules, commands and slider.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>

#include "state/context.h"
#include "state/display.h"
#include "app/main_dialog.h"
#include "engine/engine_notify.h"
#include "recent/recent_list.h"
#include "resources/resource.h"
#include "shell_fixture.h"
#include "support/slider_probe.h"
#include "wave/format.h"

namespace {

void SeedRecentFiles(const char* first, const char* second) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, RecentFilesKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(key, "File1", 0, REG_SZ, reinterpret_cast<const BYTE*>(first), lstrlenA(first));
  RegSetValueExA(key, "File2", 0, REG_SZ, reinterpret_cast<const BYTE*>(second), lstrlenA(second));
  RegCloseKey(key);
}

HWND Button(UINT id) {
  return g_controls.buttons[id - IDC_REWIND];
}

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(registry.ok());
    SeedRecentFiles("C:\\sounds\\first.wav", "C:\\sounds\\second.wav");
    window = std::make_unique<MainWindow>();
    main = window->get();
    ASSERT_NE(main, nullptr);
    boxes.clear();
  }
  // A loaded file of 4-byte blocks at 44,100 bytes a second, the slider spanning its data.
  void LoadFourByteBlocks(DWORD dataSize) {
    CurrentFormat->nBlockAlign = 4;
    CurrentFormat->nAvgBytesPerSec = 44100;
    g_context.fileLoaded = true;
    g_context.dataSize = dataSize;
    SliderMessage(TBM_SETRANGEMIN, 0);
    SliderMessage(TBM_SETRANGEMAX, dataSize / 4);
    UpdateControlStates(main);
  }
  std::string Position() const { return DialogText(main, IDC_POSITION); }

  PrivateUserRegistry registry;
  ScopedService<decltype(PlatformServices::waveInGetNumDevs)> devices{sys.waveInGetNumDevs,
                                                                      OneCaptureDevice};
  MessageBoxCapture boxes;
  std::unique_ptr<MainWindow> window;
  HWND main = nullptr;
};

}  // namespace

TEST_F(MainWindowTest, StartUpMakesTheTransportControlsAndLocksTheSize) {
  EXPECT_EQ(g_context.mainWindow, main);
  const char* texts[5] = {"Rewind", "Forward", "Play", "Stop", "Record"};
  for (int i = 0; i < 5; ++i) {
    HWND button = GetDlgItem(main, IDC_REWIND + i);
    ASSERT_EQ(button, g_controls.buttons[i]);
    EXPECT_EQ(WindowCaption(button), texts[i]);
    EXPECT_EQ(GetWindowLongA(button, GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
    EXPECT_FALSE(GetWindowLongA(button, GWL_STYLE) & WS_TABSTOP);
    RECT r;
    GetWindowRect(button, &r);
    MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, 9 + 52 * i);
    EXPECT_EQ(r.top, 76);
    EXPECT_EQ(r.right - r.left, 45);
    EXPECT_EQ(r.bottom - r.top, 22);
  }
  char cls[64] = "";
  GetClassNameA(g_controls.slider, cls, sizeof cls);
  EXPECT_STREQ(cls, "msctls_trackbar32");
  EXPECT_TRUE(GetWindowLongA(g_controls.slider, GWL_STYLE) & TBS_NOTICKS);
  EXPECT_EQ(SliderMessage(TBM_GETPOS, 0), 0);
  EXPECT_EQ(Position(), "00:00.0");
  EXPECT_EQ(DialogText(main, IDC_LENGTH), "00:00.0");
  char about[32] = "";
  GetMenuStringA(GetMenu(main), IDM_ABOUT, about, sizeof about, MF_BYCOMMAND);
  EXPECT_STREQ(about, "&About");

  HMENU systemMenu = GetSystemMenu(main, FALSE);
  EXPECT_TRUE(GetMenuState(systemMenu, SC_MAXIMIZE, MF_BYCOMMAND) & MF_GRAYED);
  EXPECT_TRUE(GetMenuState(systemMenu, SC_SIZE, MF_BYCOMMAND) & MF_GRAYED);
  EXPECT_NE(GetClassLongPtrA(main, GCLP_HICON), 0u);

  // The recent files from the registry stand before Exit.
  ASSERT_NE(g_recentList, nullptr);
  EXPECT_EQ(MenuItemEnabled(main, IDM_RECENT_BASE + 1), 1);
  EXPECT_EQ(MenuItemEnabled(main, IDM_RECENT_BASE + 2), 1);
  EXPECT_EQ(MenuItemEnabled(main, IDM_RECENT_BASE + 3), -1);
  EXPECT_TRUE(boxes.boxes().empty());
}

TEST_F(MainWindowTest, EnablingFollowsTheFiveSituations) {
  struct Situation {
    const char* name;
    RecorderState state;
    bool loaded;
    DWORD size;
    // Rewind, Forward, Play, Stop, Record, slider, Properties, Open/New/recent
    bool rewind, forward, play, stop, record, slider, properties, idleCommands;
  };
  using S = RecorderState;
  const Situation situations[] = {
      {"no file", S::Idle, false, 0, 0, 0, 0, 0, 0, 0, 0, 1},
      {"new file", S::Idle, true, 0, 0, 0, 0, 0, 1, 1, 1, 1},
      {"file with data", S::Idle, true, 5000, 1, 1, 1, 0, 1, 1, 1, 1},
      {"recording", S::Recording, true, 5000, 0, 0, 0, 1, 0, 0, 0, 0},
      {"playing", S::Playing, true, 5000, 0, 0, 0, 1, 0, 1, 0, 0},
      // And back: every item grayed before is enabled again.
      {"file with data again", S::Idle, true, 5000, 1, 1, 1, 0, 1, 1, 1, 1},
      {"no file again", S::Idle, false, 0, 0, 0, 0, 0, 0, 0, 0, 1},
  };
  for (const Situation& s : situations) {
    // The first situation is the state right after start-up.
    if (&s != &situations[0]) {
      g_context.state = s.state;
      g_context.fileLoaded = s.loaded;
      g_context.dataSize = s.size;
      UpdateControlStates(main);
    }
    SCOPED_TRACE(s.name);
    EXPECT_EQ(!!IsWindowEnabled(Button(IDC_REWIND)), s.rewind);
    EXPECT_EQ(!!IsWindowEnabled(Button(IDC_FORWARD)), s.forward);
    EXPECT_EQ(!!IsWindowEnabled(Button(IDC_PLAY)), s.play);
    EXPECT_EQ(!!IsWindowEnabled(Button(IDC_STOP)), s.stop);
    EXPECT_EQ(!!IsWindowEnabled(Button(IDC_RECORD)), s.record);
    EXPECT_EQ(!!IsWindowEnabled(g_controls.slider), s.slider);
    EXPECT_EQ(MenuItemEnabled(main, IDM_PROPERTIES), s.properties);
    for (UINT id : {IDM_OPEN, IDM_NEW, IDM_RECENT_BASE + 1, IDM_RECENT_BASE + 2})
      EXPECT_EQ(MenuItemEnabled(main, id), s.idleCommands) << id;
    EXPECT_EQ(MenuItemEnabled(main, IDM_EXIT), 1);
    EXPECT_EQ(MenuItemEnabled(main, IDM_ABOUT), 1);
    EXPECT_EQ(MenuItemEnabled(main, IDM_RECENT_BASE + 3), -1);
  }
  g_context.state = RecorderState::Idle;
}

TEST_F(MainWindowTest, RewindAndForwardMoveSliderAndPositionText) {
  NoteSliderSetPos(g_controls.slider);
  LoadFourByteBlocks(10002);
  SliderMessage(TBM_SETPOS, 700);
  SendMessageA(main, WM_COMMAND, IDC_FORWARD, 0);
  EXPECT_EQ(SliderMessage(TBM_GETPOS, 0), 2500);
  EXPECT_EQ(g_lastSetPos, 2500);  // the block position of the end, not the byte count
  EXPECT_EQ(Position(), ShownTime(10002));
  EXPECT_EQ(Position(), "00:00.2");

  SendMessageA(main, WM_COMMAND, IDC_REWIND, 0);
  EXPECT_EQ(SliderMessage(TBM_GETPOS, 0), 0);
  EXPECT_EQ(Position(), "00:00.0");

  // A data size past 2 GB still lands at the end, not at the start.
  LoadFourByteBlocks(0x90000000u);
  SendMessageA(main, WM_COMMAND, IDC_FORWARD, 0);
  EXPECT_EQ(SliderMessage(TBM_GETPOS, 0), 0x90000000 / 4);
}

TEST_F(MainWindowTest, SliderShowsItsPlaceWhenIdleAndHoldsPlaybackWhileDragged) {
  LoadFourByteBlocks(441000);
  // Idle: every notification refreshes the text, either scroll message alike.
  SliderMessage(TBM_SETPOS, 11025);
  SendMessageA(main, WM_HSCROLL, TB_THUMBTRACK, reinterpret_cast<LPARAM>(g_controls.slider));
  EXPECT_EQ(Position(), "00:01.0");
  SliderMessage(TBM_SETPOS, 22050);
  SendMessageA(main, WM_VSCROLL, TB_ENDTRACK, reinterpret_cast<LPARAM>(g_controls.slider));
  EXPECT_EQ(Position(), "00:02.0");
  EXPECT_FALSE(g_context.sliderDragging);

  // Playing: the drag freezes the display, the end of tracking releases it.
  g_context.state = RecorderState::Playing;
  SliderMessage(TBM_SETPOS, 33075);
  SendMessageA(main, WM_HSCROLL, TB_THUMBTRACK, reinterpret_cast<LPARAM>(g_controls.slider));
  EXPECT_TRUE(g_context.sliderDragging);
  EXPECT_EQ(Position(), "00:02.0");
  SendMessageA(main, WM_HSCROLL, TB_ENDTRACK, reinterpret_cast<LPARAM>(g_controls.slider));
  EXPECT_FALSE(g_context.sliderDragging);

  // A playback that ends under a held slider does not freeze the next one.
  g_context.state = RecorderState::Playing;
  SendMessageA(main, WM_HSCROLL, TB_THUMBTRACK, reinterpret_cast<LPARAM>(g_controls.slider));
  ASSERT_TRUE(g_context.sliderDragging);
  g_context.state = RecorderState::Idle;
  SendMessageA(main, WM_ENGINE_NOTIFY, 0, 0);
  EXPECT_FALSE(g_context.sliderDragging);
}

TEST_F(MainWindowTest, DestroyingTheWindowRunsTheShutdown) {
  window->Destroy();
  EXPECT_EQ(CurrentFormat, nullptr);
  EXPECT_EQ(g_recentList, nullptr);
  ExpectShutdownWroteTheRegistry();
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, RecentFilesKey, 0, KEY_READ, &key), ERROR_SUCCESS);
  DWORD type = 0, size = 0;
  char path[256] = "";
  size = sizeof path;
  EXPECT_EQ(RegQueryValueExA(key, "File1", nullptr, &type, reinterpret_cast<BYTE*>(path), &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(path, "C:\\sounds\\first.wav");
  RegCloseKey(key);
}
