// The driver against the real program: dialogs it answers, windows it reads, pictures it takes.
#include <gtest/gtest.h>

#include "recorder_driver.h"
#include "resources/resource.h"
#include "support/test_support.h"

using recorder_driver::MenuKind;
using recorder_driver::RecorderApp;

TEST(Driver, ReadsTheMenuBarAndTakesAScreenshot) {
  RecorderApp app;
  ASSERT_TRUE(app.Start()) << app.LastError();
  auto bar = app.ReadMenu(MenuKind::Bar);
  ASSERT_EQ(bar.size(), 2u);
  EXPECT_EQ(bar[0].text, "&File");
  EXPECT_TRUE(bar[0].popup);
  EXPECT_EQ(bar[1].text, "&Help");

  TempFolder folder;
  std::string picture = folder.file("main.bmp");
  ASSERT_TRUE(app.Screenshot(picture));
  auto bytes = ReadWholeFile(picture);
  RECT rect = app.WindowRect();
  ASSERT_GT(bytes.size(), 54u);
  EXPECT_EQ(bytes[0], 'B');
  EXPECT_EQ(bytes[1], 'M');
  std::size_t stride = (static_cast<std::size_t>(rect.right - rect.left) * 3 + 3) & ~std::size_t{3};
  EXPECT_EQ(bytes.size(), 54 + stride * static_cast<std::size_t>(rect.bottom - rect.top));
  app.Close();
  EXPECT_EQ(app.WaitForExit(), 0u);
}

TEST(Driver, EndsAProgramLeftRunning) {
  DWORD id = 0;
  HANDLE process = nullptr;
  {
    RecorderApp app;
    ASSERT_TRUE(app.Start()) << app.LastError();
    id = app.processId();
    process = OpenProcess(SYNCHRONIZE, FALSE, id);
    ASSERT_NE(process, nullptr);
  }
  EXPECT_EQ(WaitForSingleObject(process, 5000), WAIT_OBJECT_0);
  CloseHandle(process);
}
