#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "recorder_driver.h"
#include "running_app_test.h"
#include "resources/resource.h"
#include "support/test_support.h"
#include "support/wave_builder.h"

using recorder_driver::MenuItem;
using recorder_driver::MenuKind;
using recorder_driver::RecorderApp;

namespace {

constexpr int kButtons[] = {IDC_REWIND, IDC_FORWARD, IDC_PLAY, IDC_STOP, IDC_RECORD};

bool IsRecentItem(const MenuItem& item) {
  return item.id >= IDM_RECENT_BASE && item.id <= IDM_RECENT_BASE + 4;
}

class ShellE2E : public RunningAppTest {};

}  // namespace

TEST_F(ShellE2E, StartsIdleWithNothingLoaded) {
  EXPECT_EQ(app.Caption(), "Audio Recorder");
  EXPECT_EQ(app.ControlText(IDC_POSITION), "00:00.0");
  EXPECT_EQ(app.ControlText(IDC_DATASIZE), "0.0KB");
  EXPECT_EQ(app.ControlText(IDC_LENGTH), "00:00.0");
  for (int id : kButtons) {
    EXPECT_NE(app.Control(id), nullptr) << "button " << id;
    EXPECT_FALSE(app.IsControlEnabled(id)) << "button " << id;
  }
  auto slider = app.Slider();
  ASSERT_TRUE(slider.found);
  EXPECT_FALSE(slider.enabled);
  EXPECT_EQ(slider.pos, 0);

  // The File menu without the recent entries, which other runs in this prefix may have left.
  std::vector<MenuItem> file;
  for (const MenuItem& item : app.ReadMenu(MenuKind::File)) {
    if (!IsRecentItem(item)) file.push_back(item);
  }
  ASSERT_EQ(file.size(), 5u);
  EXPECT_EQ(file[0].id, static_cast<UINT>(IDM_NEW));
  EXPECT_EQ(file[0].text, "&New...");
  EXPECT_TRUE(file[0].enabled());
  EXPECT_EQ(file[1].id, static_cast<UINT>(IDM_OPEN));
  EXPECT_EQ(file[1].text, "&Open...");
  EXPECT_TRUE(file[1].enabled());
  EXPECT_EQ(file[2].id, static_cast<UINT>(IDM_PROPERTIES));
  EXPECT_EQ(file[2].text, "&Properties");
  EXPECT_TRUE(file[2].grayed());
  EXPECT_TRUE(file[3].separator());
  EXPECT_EQ(file[4].id, static_cast<UINT>(IDM_EXIT));
  EXPECT_EQ(file[4].text, "E&xit");
  EXPECT_TRUE(file[4].enabled());

  auto about = app.FindMenuItem(IDM_ABOUT, MenuKind::Help);
  ASSERT_TRUE(about);
  EXPECT_EQ(about->text, "&About");
  EXPECT_TRUE(about->enabled());

  // Neither maximizing nor sizing is offered.
  auto maximize = app.FindMenuItem(SC_MAXIMIZE, MenuKind::System);
  auto size = app.FindMenuItem(SC_SIZE, MenuKind::System);
  ASSERT_TRUE(maximize && size);
  EXPECT_TRUE(maximize->grayed());
  EXPECT_TRUE(size->grayed());
}

TEST(ShellExitE2E, FileExitTheCloseBoxWmCloseAndAltF4EndTheProgramWithCodeZero) {
  for (const char* way : {"File Exit", "close box", "WM_CLOSE", "Alt+F4"}) {
    SCOPED_TRACE(way);
    RecorderApp app;
    ASSERT_TRUE(app.Start()) << app.LastError();
    const std::string name = way;
    if (name == "File Exit") {
      ASSERT_TRUE(app.ChooseMenuItem(IDM_EXIT));
    } else if (name == "close box") {
      // The close box arrives as SC_CLOSE, which the dialog turns into WM_CLOSE.
      PostMessageA(app.mainWindow(), WM_SYSCOMMAND, SC_CLOSE, 0);
    } else if (name == "WM_CLOSE") {
      app.Close();
    } else {
      // Bit 29: the Alt key is down.
      PostMessageA(app.mainWindow(), WM_SYSKEYDOWN, VK_F4, 0x203E0001);
    }
    EXPECT_EQ(app.WaitForExit(), 0u);
  }
}

TEST_F(ShellE2E, EnterEscapeAndDoubleClicksDoNothing) {
  TempFolder folder;
  std::string path = folder.file("steady.wav");
  ASSERT_TRUE(WriteWholeFile(path, PcmWave(11025)));
  ASSERT_TRUE(app.OpenThroughDialog(path)) << "the Open dialog did not take the file";
  ASSERT_EQ(app.Caption(), "Audio Recorder - steady.wav");
  ASSERT_EQ(app.ControlText(IDC_LENGTH), "00:01.0");
  ASSERT_TRUE(app.IsControlEnabled(IDC_PLAY));
  ASSERT_TRUE(app.IsControlEnabled(IDC_RECORD));
  ASSERT_FALSE(app.IsControlEnabled(IDC_STOP));

  app.PostCommand(IDOK);
  app.PostCommand(IDCANCEL);
  for (int id : kButtons) app.PostCommand(static_cast<UINT>(id), BN_DOUBLECLICKED, app.Control(id));
  app.PostCommand(IDM_EXIT, BN_DOUBLECLICKED);
  app.PostCommand(IDM_OPEN, 2);
  // The keys themselves, through the dialog's own key handling.
  for (WPARAM key : {VK_RETURN, VK_ESCAPE}) {
    PostMessageA(app.mainWindow(), WM_KEYDOWN, key, 0);
    PostMessageA(app.mainWindow(), WM_KEYUP, key, 0xC0000001);
  }
  Sleep(300);
  ASSERT_TRUE(app.Sync());

  EXPECT_FALSE(app.HasExited());
  EXPECT_TRUE(app.NoMessageBoxWithin(0));
  EXPECT_TRUE(app.Dialogs().empty())
      << "a dialog opened: " << RecorderApp::WindowText(app.Dialogs().front());
  EXPECT_EQ(app.Caption(), "Audio Recorder - steady.wav");
  EXPECT_EQ(app.ControlText(IDC_POSITION), "00:00.0");
  EXPECT_EQ(app.Slider().pos, 0);
  EXPECT_FALSE(app.IsControlEnabled(IDC_STOP)) << "playback or recording started";
  EXPECT_TRUE(app.IsControlEnabled(IDC_PLAY));
  EXPECT_TRUE(app.IsControlEnabled(IDC_RECORD));

  // A single click of the same buttons does act.
  ASSERT_TRUE(app.ClickButton(IDC_FORWARD));
  EXPECT_EQ(app.ControlText(IDC_POSITION), "00:01.0");
  EXPECT_EQ(app.Slider().pos, app.Slider().max);
  EXPECT_EQ(app.Slider().max, 11025);

  ASSERT_TRUE(app.ChooseMenuItem(IDM_EXIT));
  EXPECT_EQ(app.WaitForExit(), 0u);
}
