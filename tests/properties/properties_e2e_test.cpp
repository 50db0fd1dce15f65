// File Properties in the real program.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "recent/pcm_wave.h"
#include "recorder_driver.h"
#include "resources/resource.h"
#include "support/test_support.h"

using recorder_driver::RecorderApp;

namespace {

struct PageTexts {
  std::string name, length, size, format, details;
};

PageTexts ReadPage(HWND sheet) {
  HWND page = RecorderApp::PropertySheetPage(sheet);
  return {RecorderApp::DialogItemText(page, IDC_PROP_NAME),
          RecorderApp::DialogItemText(page, IDC_PROP_LENGTH),
          RecorderApp::DialogItemText(page, IDC_PROP_SIZE),
          RecorderApp::DialogItemText(page, IDC_PROP_FORMAT),
          RecorderApp::DialogItemText(page, IDC_PROP_ATTRIBUTES)};
}

class PropertiesE2E : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(app.Start()) << app.LastError(); }
  void TearDown() override {
    if (!app.HasExited()) {
      app.Close();
      app.WaitForExit();
    }
  }
  RecorderApp app;
  TempFolder folder;
};

}  // namespace

TEST_F(PropertiesE2E, SheetDescribesTheLoadedFileAndOkCloses) {
  const std::string path = folder.file("two seconds.wav");
  ASSERT_TRUE(WriteWholeFile(path, PcmWave(22050)));
  app.PostCommand(IDM_OPEN, 0, nullptr, false);
  ASSERT_TRUE(app.AnswerFileDialog(path));
  ASSERT_TRUE(app.Sync());

  ASSERT_TRUE(app.ChooseMenuItem(IDM_PROPERTIES));
  HWND sheet = app.WaitForDialog("Properties for two seconds.wav");
  ASSERT_TRUE(sheet);
  EXPECT_FALSE(IsWindowEnabled(app.mainWindow()));
  const PageTexts page = ReadPage(sheet);
  EXPECT_EQ(page.name, "two seconds.wav");
  EXPECT_EQ(page.length, "00:02.0");
  EXPECT_EQ(page.size, "22050 bytes");
  EXPECT_EQ(page.format, "PCM");
  EXPECT_EQ(page.details, "11025 Hz; 8 bits; Mono");
  HWND apply = GetDlgItem(sheet, 0x3021);
  EXPECT_TRUE(!apply || !IsWindowVisible(apply));

  EXPECT_TRUE(RecorderApp::PressDialogButton(sheet, IDOK));
  ASSERT_TRUE(app.Sync());
  EXPECT_TRUE(IsWindowEnabled(app.mainWindow()));
  EXPECT_EQ(app.Caption(), "Audio Recorder - two seconds.wav");
}

TEST_F(PropertiesE2E, UntitledSoundAndCancelCloses) {
  // The command itself tests no state: posted before any file, it describes "Sound".
  app.PostCommand(IDM_PROPERTIES, 0, nullptr, false);
  HWND sheet = app.WaitForDialog("Properties for Sound");
  ASSERT_TRUE(sheet);
  EXPECT_EQ(ReadPage(sheet).name, "Sound");
  EXPECT_TRUE(RecorderApp::PressDialogButton(sheet, IDCANCEL));
  ASSERT_TRUE(app.Sync());
  EXPECT_TRUE(app.Dialogs().empty());
}
