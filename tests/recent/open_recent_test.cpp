// Choosing a recent file: a missing one is reported and leaves the list, a present one
// becomes the current path and moves to the front.
#include <gtest/gtest.h>

#include <string>

#include "app/open_recent.h"
#include "state/context.h"
#include "recent_fixture.h"
#include "support/test_support.h"
#include "wave/wave_file.h"

using Texts = std::vector<std::string>;

namespace {

class OpenRecentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadedMainMenu menu;
    window_ = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                              menu.bar(), GetModuleHandleA(nullptr), nullptr);
    ASSERT_TRUE(window_);
    menu.release();
    list_ = MakeProgramList();
    g_recentList = list_.get();
    for (const char* name : {"four.wav", "three.wav", "TAKE2.WAV", "one.wav"}) {
      const std::string path = folder_.file(name);
      ASSERT_TRUE(WriteWholeFile(path, {'n', 'o', 't', ' ', 'w', 'a', 'v', 'e'}));
      AddRecentFile(list_.get(), path.c_str());
    }
    BuildRecentMenu(list_.get(), FileMenu(), 32774);
    strcpy(g_context.filePath, "C:\\loaded\\current.wav");
    strcpy(g_context.fileTitle, "current.wav");
    g_context.fileLoaded = true;
    g_context.dataSize = 4000;
  }
  void TearDown() override {
    g_recentList = nullptr;
    if (window_) DestroyWindow(window_);
    OpenDialogRecord = OPENFILENAMEA{};
    g_context.fileLoaded = false;
    g_context.dataSize = 0;
  }

  HMENU FileMenu() const { return GetSubMenu(GetMenu(window_), 0); }

  std::vector<MenuItem> ExpectedMenu(const Texts& names) const {
    Texts paths;
    for (const std::string& name : names) paths.push_back(folder_.file(name));
    return FileMenuWith(paths);
  }

  TempFolder folder_;
  HWND window_ = nullptr;
  OwnedRecentList list_;
  MessageBoxCapture boxes_;
};

}  // namespace

TEST_F(OpenRecentTest, MissingFileIsReportedByNameAndLeavesTheList) {
  ASSERT_TRUE(DeleteFileA(folder_.file("TAKE2.WAV").c_str()));

  EXPECT_EQ(OpenRecentFile(window_, 8002), 0);

  ASSERT_EQ(boxes_.boxes().size(), 1u);
  const CapturedMessageBox& box = boxes_.boxes()[0];
  EXPECT_EQ(box.caption, "Open");
  EXPECT_EQ(box.text, "TAKE2.WAV \nThis file cannot be found.");
  EXPECT_EQ(box.type, static_cast<UINT>(MB_OK | MB_ICONWARNING));
  EXPECT_EQ(box.owner, window_);

  EXPECT_EQ(Entries(list_.get()),
            (Texts{folder_.file("one.wav"), folder_.file("three.wav"), folder_.file("four.wav")}));
  EXPECT_EQ(ReadMenu(FileMenu()), ExpectedMenu({"one.wav", "three.wav", "four.wav"}));

  // The sound loaded before stays the current one, name and all, so Play and Record still
  // find its file.
  EXPECT_STREQ(g_context.filePath, "C:\\loaded\\current.wav");
  EXPECT_STREQ(g_context.fileTitle, "current.wav");
  EXPECT_TRUE(g_context.fileLoaded);
  EXPECT_EQ(g_context.dataSize, 4000u);
}

// The listed files hold "not wave": the command finds the file, names it current, moves it to
// the front and reports why it cannot be read, while the sound loaded before stays loaded.
TEST_F(OpenRecentTest, PresentButUnreadableFileIsReportedAndMovesToTheFront) {
  const std::string path = folder_.file("three.wav");

  EXPECT_EQ(OpenRecentFile(window_, 8003), 1);

  ASSERT_EQ(boxes_.boxes().size(), 1u);
  EXPECT_EQ(boxes_.boxes()[0].caption, "Error");
  EXPECT_EQ(boxes_.boxes()[0].text, "Wave format not found in file.");
  EXPECT_TRUE(g_context.fileLoaded);
  EXPECT_EQ(g_context.dataSize, 4000u);

  EXPECT_STREQ(g_context.filePath, path.c_str());
  EXPECT_STREQ(g_context.fileTitle, "three.wav");
  EXPECT_EQ(OpenDialogRecord.lpstrFile, g_context.filePath);
  EXPECT_EQ(OpenDialogRecord.nMaxFile, sizeof g_context.filePath);
  EXPECT_EQ(OpenDialogRecord.lStructSize, static_cast<DWORD>(OPENFILENAME_SIZE_VERSION_400));

  EXPECT_EQ(Entries(list_.get()), (Texts{path, folder_.file("one.wav"), folder_.file("TAKE2.WAV"),
                                         folder_.file("four.wav")}));
  EXPECT_EQ(ReadMenu(FileMenu()), ExpectedMenu({"three.wav", "one.wav", "TAKE2.WAV", "four.wav"}));
}

TEST_F(OpenRecentTest, CommandBeyondTheListDoesNothing) {
  RemoveRecentFile(list_.get(), 3, 0);
  BuildRecentMenu(list_.get(), FileMenu(), 32774);

  EXPECT_EQ(OpenRecentFile(window_, 8004), 0);
  EXPECT_TRUE(boxes_.boxes().empty());
  EXPECT_EQ(list_->count, 3);
  EXPECT_STREQ(g_context.filePath, "C:\\loaded\\current.wav");
}
