// File New and File Open in the real program, worked from outside through its dialogs.
#include <gtest/gtest.h>

#include <windows.h>

#include "recorder_driver.h"
#include "running_app_test.h"
#include "resources/resource.h"
#include "support/test_support.h"
#include "support/wave_builder.h"

using recorder_driver::MenuItem;
using recorder_driver::MenuKind;
using recorder_driver::RecorderApp;

namespace {

class WaveE2E : public RunningAppTest {
 protected:
  bool RecentMenuNames(const std::string& path) {
    for (const MenuItem& item : app.ReadMenu(MenuKind::File))
      if (item.id > IDM_RECENT_BASE && item.id <= IDM_RECENT_BASE + 4 &&
          item.text.find(path.substr(path.rfind('\\') + 1)) != std::string::npos)
        return true;
    return false;
  }

  TempFolder folder;
};

TEST_F(WaveE2E, NewCreatesTheFileAndReadiesRecording) {
  const std::string path = folder.file("take.wav");
  app.PostCommand(IDM_NEW, 0, nullptr, false);
  ASSERT_TRUE(app.AnswerFileDialog(path));
  auto chooser = app.ReadFormatChooser();
  ASSERT_TRUE(chooser);
  EXPECT_EQ(RecorderApp::WindowText(chooser->window), "Sound Selection");
  EXPECT_EQ(chooser->tag, "PCM");
  EXPECT_FALSE(chooser->tags.empty());
  EXPECT_FALSE(chooser->attributeChoices.empty());
  ASSERT_TRUE(app.AnswerFormatChooser());
  ASSERT_TRUE(app.Sync());

  const Bytes file = ReadWholeFile(path);
  ASSERT_EQ(file.size(), 90u);
  EXPECT_EQ(FourCC(file, 0), "RIFF");
  EXPECT_EQ(Le32(file, 4), 82u);
  EXPECT_EQ(FourCC(file, 82), "data");
  EXPECT_EQ(Le32(file, 86), 0u);

  EXPECT_EQ(app.Caption(), "Audio Recorder - take.wav");
  EXPECT_EQ(app.ControlText(IDC_POSITION), "00:00.0");
  EXPECT_EQ(app.ControlText(IDC_LENGTH), "00:00.0");
  EXPECT_NE(app.ControlText(IDC_DATASIZE).find("0.0"), std::string::npos);
  EXPECT_TRUE(app.IsControlEnabled(IDC_RECORD));
  for (int id : {IDC_PLAY, IDC_REWIND, IDC_FORWARD, IDC_STOP})
    EXPECT_FALSE(app.IsControlEnabled(id)) << "button " << id;
  const auto slider = app.Slider();
  EXPECT_TRUE(slider.enabled);
  EXPECT_EQ(slider.max, 0);
  EXPECT_TRUE(RecentMenuNames(path));
  EXPECT_TRUE(app.FindMenuItem(IDM_PROPERTIES)->enabled());
  EXPECT_TRUE(app.NoMessageBoxWithin(200));
}

TEST_F(WaveE2E, NamingAnExistingFileAsksBeforeReplacingIt) {
  const std::string path = folder.file("existing.wav");
  ASSERT_TRUE(WriteWholeFile(path, Bytes(3000, 0x5A)));
  app.PostCommand(IDM_NEW, 0, nullptr, false);
  // The dialog stays open while it asks (so the answer's wait for it to close runs out).
  ASSERT_NE(app.WaitForFileDialog(), nullptr);
  EXPECT_FALSE(app.AnswerFileDialog(path, 1500));
  const auto question = app.WaitForMessageBox();
  ASSERT_TRUE(question.has_value());
  EXPECT_NE(question->text.find("replace"), std::string::npos) << question->text;
  // Before the answer nothing was touched.
  EXPECT_EQ(ReadWholeFile(path).size(), 3000u);
  ASSERT_TRUE(RecorderApp::PressDialogButton(question->window, IDYES));
  const HWND dialog = app.WaitForFileDialog(2000);
  if (dialog) {
    ASSERT_TRUE(RecorderApp::WaitForWindowGone(dialog));
  }
  ASSERT_TRUE(app.AnswerFormatChooser());
  ASSERT_TRUE(app.Sync());
  EXPECT_EQ(ReadWholeFile(path).size(), 90u);
  EXPECT_EQ(app.Caption(), "Audio Recorder - existing.wav");
}

TEST_F(WaveE2E, CancelledDialogsChangeNothingButPlayAndThePositionText) {
  // No file at all: Play becomes available even so.
  ASSERT_FALSE(app.IsControlEnabled(IDC_PLAY));
  app.PostCommand(IDM_OPEN, 0, nullptr, false);
  ASSERT_TRUE(app.CancelFileDialog());
  ASSERT_TRUE(app.Sync());
  EXPECT_TRUE(app.IsControlEnabled(IDC_PLAY));
  EXPECT_EQ(app.ControlText(IDC_POSITION), "00:00.0");
  app.PostCommand(IDM_NEW, 0, nullptr, false);
  ASSERT_TRUE(app.CancelFileDialog());
  ASSERT_TRUE(app.Sync());
  EXPECT_EQ(app.Caption(), "Audio Recorder");
  EXPECT_TRUE(app.Dialogs().empty());
  EXPECT_TRUE(app.NoMessageBoxWithin(200));

  // With a file, the position text shows the slider's place again.
  const std::string path = folder.file("placed.wav");
  ASSERT_TRUE(WriteWholeFile(path, PcmWave(11025)));
  ASSERT_TRUE(app.OpenThroughDialog(path));
  ASSERT_TRUE(app.MoveSlider(5513));
  SendMessageA(app.Control(IDC_POSITION), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("--"));
  ASSERT_EQ(app.ControlText(IDC_POSITION), "--");
  app.PostCommand(IDM_OPEN, 0, nullptr, false);
  ASSERT_TRUE(app.CancelFileDialog());
  ASSERT_TRUE(app.Sync());
  EXPECT_EQ(app.ControlText(IDC_POSITION), "00:00.5");
  EXPECT_EQ(app.Caption(), "Audio Recorder - placed.wav");
  EXPECT_TRUE(app.IsControlEnabled(IDC_PLAY));
  EXPECT_TRUE(app.NoMessageBoxWithin(200));
}

}  // namespace
