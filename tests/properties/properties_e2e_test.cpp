// File Properties in the real program.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "recorder_driver.h"
#include "running_app_test.h"
#include "resources/resource.h"
#include "support/test_support.h"
#include "support/wave_builder.h"

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

class PropertiesE2E : public RunningAppTest {
 protected:
  TempFolder folder;
};

}  // namespace

TEST_F(PropertiesE2E, SheetDescribesTheLoadedFileAndOkCloses) {
  const std::string path = folder.file("two seconds.wav");
  ASSERT_TRUE(WriteWholeFile(path, PcmWave(22050)));
  ASSERT_TRUE(app.OpenThroughDialog(path));

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
  EXPECT_EQ(SendMessageA(GetDlgItem(sheet, 0x3020), TCM_GETITEMCOUNT, 0, 0), 1);
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

TEST_F(PropertiesE2E, LongNameShowsWholeAndHugeSizeIsNotNegative) {
  // The data chunk's header claims about 2.8 GiB; the size shown is what the file holds.
  const std::string name = "an evening session recorded in the big hall.wav";
  std::vector<unsigned char> file = PcmWave(16);
  const std::uint32_t claimed = 3000000000u;
  for (int i = 0; i < 4; ++i) file[40 + i] = static_cast<unsigned char>(claimed >> (8 * i));
  ASSERT_TRUE(WriteWholeFile(folder.file(name), file));
  ASSERT_TRUE(app.OpenThroughDialog(folder.file(name)));

  ASSERT_TRUE(app.ChooseMenuItem(IDM_PROPERTIES));
  HWND sheet = app.WaitForDialog("Properties for " + name);
  ASSERT_TRUE(sheet) << "dialogs: " << app.Dialogs().size();
  const PageTexts page = ReadPage(sheet);
  EXPECT_EQ(page.name, name);
  EXPECT_EQ(page.size, "16 bytes");
  EXPECT_TRUE(RecorderApp::PressPropertySheetOk(sheet));
}

TEST_F(PropertiesE2E, AfterAFailedOpenTheSheetStillDescribesTheLoadedFile) {
  const std::string good = folder.file("two seconds.wav");
  ASSERT_TRUE(WriteWholeFile(good, PcmWave(22050)));
  ASSERT_TRUE(app.OpenThroughDialog(good));
  // A stereo file whose data chunk is empty: Open fails after reading its format.
  std::vector<unsigned char> bad = PcmWave(0);
  bad[22] = 2;  // channels
  bad[28] = 0x22;
  bad[29] = 0x56;  // byte rate 22050
  bad[32] = 2;     // block align
  ASSERT_TRUE(WriteWholeFile(folder.file("empty stereo.wav"), bad));
  app.PostCommand(IDM_OPEN, 0, nullptr, false);
  ASSERT_TRUE(app.AnswerFileDialog(folder.file("empty stereo.wav")));
  const auto box = app.AcknowledgeMessageBox("Error");
  ASSERT_TRUE(box);
  EXPECT_EQ(box->text, "The data chunk contains no data.");

  ASSERT_TRUE(app.ChooseMenuItem(IDM_PROPERTIES));
  HWND sheet = app.WaitForDialog("Properties for two seconds.wav");
  ASSERT_TRUE(sheet) << "dialogs: " << app.Dialogs().size();
  const PageTexts page = ReadPage(sheet);
  EXPECT_EQ(page.name, "two seconds.wav");
  EXPECT_EQ(page.length, "00:02.0");
  EXPECT_EQ(page.details, "11025 Hz; 8 bits; Mono");
  EXPECT_TRUE(RecorderApp::PressPropertySheetOk(sheet));
}
