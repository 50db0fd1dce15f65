// The real program started and worked from outside: the ways out, and what Enter, Escape and
// stray notifications leave alone. What it shows at start-up is checked on the real window in
// process (shell/main_window_test.cpp).
#include <gtest/gtest.h>

#include <string>

#include "recorder_driver.h"
#include "running_app_test.h"
#include "resources/resource.h"
#include "support/test_support.h"
#include "support/wave_builder.h"

using recorder_driver::RecorderApp;

namespace {

constexpr int kButtons[] = {IDC_REWIND, IDC_FORWARD, IDC_PLAY, IDC_STOP, IDC_RECORD};

class ShellE2E : public RunningAppTest {};

}  // namespace

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
  Sleep(300);  // nothing to wait for: the check is that nothing opens or starts
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
