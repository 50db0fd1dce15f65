// A fixture for tests of the running program: each test starts with it started, and what a
// test leaves running is closed afterwards the user's way.
#pragma once

#include <gtest/gtest.h>

#include "recorder_driver.h"

class RunningAppTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(app.Start()) << app.LastError(); }
  void TearDown() override {
    if (!app.HasExited()) {
      app.Close();
      app.WaitForExit();
    }
  }

  recorder_driver::RecorderApp app;
};
