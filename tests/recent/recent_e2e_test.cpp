// The recent files in the real program: the File menu after opening files, across a
// restart, and after a file vanished. That the items are greyed while recording or playing is
// checked with the enabling rules on the real window (shell/main_window_test.cpp).
//
// Every program of the test run shares the prefix's registry and saves its own list when it
// ends: these tests run alone (SERIAL).
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "recent_fixture.h"
#include "recent/recent_list.h"
#include "recorder_driver.h"
#include "resources/resource.h"
#include "support/test_support.h"
#include "support/wave_builder.h"

using recorder_driver::MenuKind;
using recorder_driver::RecorderApp;

namespace {

std::vector<MenuItem> ReadFileMenu(RecorderApp& app) {
  std::vector<MenuItem> items;
  for (const auto& item : app.ReadMenu(MenuKind::File))
    items.push_back({item.separator() ? (item.id == IDM_RECENT_BASE ? item.id : 0u) : item.id,
                     item.separator(), item.separator() ? "" : item.text});
  return items;
}

std::vector<std::string> StoredRecentValues() {
  std::vector<std::string> values;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, RecentFilesKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
    return values;
  for (int i = 1; i <= 4; ++i) {
    char text[300] = {};
    DWORD size = sizeof text - 1;
    const std::string name = "File" + std::to_string(i);
    if (RegQueryValueExA(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(text),
                         &size) != ERROR_SUCCESS)
      break;
    values.emplace_back(text);
  }
  RegCloseKey(key);
  return values;
}

class RecentE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"a.wav", "b.wav", "c.wav", "d.wav", "e.wav"}) {
      paths_[name[0] - 'a'] = folder_.file(name);
      ASSERT_TRUE(WriteWholeFile(path(name[0]), PcmWave(2205)));
    }
    app_ = std::make_unique<RecorderApp>();
    ASSERT_TRUE(app_->Start()) << app_->LastError();
  }
  void TearDown() override { Quit(*app_); }

  static void Quit(RecorderApp& app) {
    if (!app.HasExited()) {
      app.Close();
      app.WaitForExit();
    }
  }

  const std::string& path(char letter) const { return paths_[letter - 'a']; }

  void Open(const std::string& file) {
    ASSERT_TRUE(app_->OpenThroughDialog(file)) << file;
    ASSERT_EQ(app_->Caption(), "Audio Recorder - " + file.substr(file.rfind('\\') + 1));
  }

  void OpenAllFive() {
    for (char letter : {'a', 'b', 'c', 'd', 'e'}) ASSERT_NO_FATAL_FAILURE(Open(path(letter)));
  }

  TempFolder folder_;
  std::string paths_[5];
  std::unique_ptr<RecorderApp> app_;
};

}  // namespace

TEST_F(RecentE2E, LastFourOpenedFilesAreListedAndKeptAcrossARestart) {
  OpenAllFive();
  const std::vector<std::string> expected{path('e'), path('d'), path('c'), path('b')};
  EXPECT_EQ(ReadFileMenu(*app_), FileMenuWith(expected));

  // Opening a listed file again moves it to the front.
  ASSERT_NO_FATAL_FAILURE(Open(path('c')));
  const std::vector<std::string> reordered{path('c'), path('e'), path('d'), path('b')};
  EXPECT_EQ(ReadFileMenu(*app_), FileMenuWith(reordered));

  app_->Close();
  ASSERT_EQ(app_->WaitForExit(), 0u);
  EXPECT_EQ(StoredRecentValues(), reordered);

  app_ = std::make_unique<RecorderApp>();
  ASSERT_TRUE(app_->Start()) << app_->LastError();
  EXPECT_EQ(ReadFileMenu(*app_), FileMenuWith(reordered));
}

TEST_F(RecentE2E, VanishedFileIsReportedAndLeavesTheMenu) {
  OpenAllFive();
  ASSERT_TRUE(DeleteFileA(path('d').c_str()));

  ASSERT_TRUE(app_->ChooseMenuItem(IDM_RECENT_BASE + 2));
  auto box = app_->AcknowledgeMessageBox("Open");
  ASSERT_TRUE(box);
  EXPECT_EQ(box->text, "d.wav \nThis file cannot be found.");
  ASSERT_TRUE(app_->Sync());
  EXPECT_EQ(ReadFileMenu(*app_), FileMenuWith({path('e'), path('c'), path('b')}));
  // The sound loaded before is still the current one.
  EXPECT_EQ(app_->Caption(), "Audio Recorder - e.wav");
  EXPECT_TRUE(app_->IsControlEnabled(IDC_PLAY));

  // A file that is there opens from the menu and moves to the front.
  ASSERT_TRUE(app_->ChooseMenuItem(IDM_RECENT_BASE + 3));
  ASSERT_TRUE(app_->Sync());
  EXPECT_TRUE(app_->NoMessageBoxWithin(200));
  EXPECT_EQ(app_->Caption(), "Audio Recorder - b.wav");
  EXPECT_EQ(app_->ControlText(IDC_LENGTH), "00:00.2");
  EXPECT_EQ(ReadFileMenu(*app_), FileMenuWith({path('b'), path('e'), path('c')}));
}
