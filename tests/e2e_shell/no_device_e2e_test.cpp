// The program on a machine with a playback device but no recording device (profile nocapture).
#include <gtest/gtest.h>

#include "recorder_driver.h"

using recorder_driver::RecorderApp;

TEST(ShellE2ENoDevice, ReportsMissingRecordingDeviceAndEndsWithCodeZero) {
  RecorderApp app;
  ASSERT_TRUE(app.StartOnly()) << app.LastError();
  auto box = app.WaitForMessageBox();
  ASSERT_TRUE(box) << "no message box appeared";
  EXPECT_EQ(box->caption, "Error");
  EXPECT_EQ(box->text, "No wave audio recording devices found.");
  HWND owner = GetWindow(box->window, GW_OWNER);
  ASSERT_NE(owner, nullptr) << "the box has no owner";
  EXPECT_EQ(RecorderApp::WindowText(owner), "Audio Recorder");
  ASSERT_TRUE(RecorderApp::PressOk(box->window));
  EXPECT_EQ(app.WaitForExit(), 0u);
}
