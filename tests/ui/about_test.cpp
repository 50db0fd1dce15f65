// The real About box, run on its own thread as the program runs it, driven with messages.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "app/context.h"
#include "app/placement.h"
#include "support/poll.h"

namespace {

BOOL CALLBACK MatchAboutBox(HWND w, LPARAM found) {
  DWORD process = 0;
  GetWindowThreadProcessId(w, &process);
  char caption[64] = {}, windowClass[16] = {};
  GetWindowTextA(w, caption, sizeof caption);
  GetClassNameA(w, windowClass, sizeof windowClass);
  if (process == GetCurrentProcessId() && std::string(windowClass) == "#32770" &&
      std::string(caption) == "About Audio Recorder") {
    *reinterpret_cast<HWND*>(found) = w;
    return FALSE;
  }
  return TRUE;
}

HWND FindAboutBox() {
  HWND found = nullptr;
  EnumWindows(MatchAboutBox, reinterpret_cast<LPARAM>(&found));
  return found;
}

std::vector<std::string> StaticTexts(HWND box) {
  std::vector<std::string> texts;
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    char windowClass[16] = {}, text[128] = {};
    GetClassNameA(child, windowClass, sizeof windowClass);
    GetWindowTextA(child, text, sizeof text);
    if (lstrcmpiA(windowClass, "Static") == 0) texts.emplace_back(text);
  }
  return texts;
}

// ShowAbout running on a thread of its own; the test thread plays the user.
class AboutBoxRun {
 public:
  AboutBoxRun()
      : thread_([this] {
          ShowAbout(nullptr);
          returned_ = true;
        }) {
    for (int i = 0; i < 500 && !box_; ++i) {
      box_ = FindAboutBox();
      if (!box_) Sleep(10);
    }
  }
  ~AboutBoxRun() {
    if (IsWindow(box_)) PostMessageA(box_, WM_COMMAND, IDOK, 0);
    thread_.join();
  }
  HWND box() const { return box_; }
  // True when the box goes and ShowAbout returns (bounded generously: a busy Wine is slow).
  bool ClosesSoon() const {
    return PollUntil(10000, [&] { return !IsWindow(box_) && returned_; });
  }
  // True when the box is still up after a settled message queue. Nothing can be waited for
  // here: the check is that nothing happens.
  bool StaysOpen() const {
    Sleep(300);
    return IsWindow(box_) && !returned_;
  }

 private:
  std::atomic<bool> returned_{false};
  HWND box_ = nullptr;
  std::thread thread_;
};

class AboutBox : public ::testing::Test {
 protected:
  void SetUp() override { g_instance = GetModuleHandleA(nullptr); }
};

TEST_F(AboutBox, ShowsProductAndVersionAndClosesWithOk) {
  AboutBoxRun run;
  ASSERT_TRUE(run.box());
  const auto texts = StaticTexts(run.box());
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_EQ(texts[0], "Quenby Pro Audio Recorder");
  EXPECT_EQ(texts[1], "Version 1.0");
  EXPECT_FALSE(texts[2].empty());
  PostMessageA(run.box(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(run.box(), IDOK)));
  EXPECT_TRUE(run.ClosesSoon());
}

TEST_F(AboutBox, EscapeLeavesItOpen) {
  AboutBoxRun run;
  ASSERT_TRUE(run.box());
  PostMessageA(run.box(), WM_COMMAND, IDCANCEL, 0);
  EXPECT_TRUE(run.StaysOpen());
  // The key itself, through the dialog's own keyboard handling.
  PostMessageA(GetDlgItem(run.box(), IDOK), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
  EXPECT_TRUE(run.StaysOpen());
  PostMessageA(run.box(), WM_COMMAND, IDOK, 0);
  EXPECT_TRUE(run.ClosesSoon());
}

TEST_F(AboutBox, EnterClosesIt) {
  AboutBoxRun run;
  ASSERT_TRUE(run.box());
  PostMessageA(GetDlgItem(run.box(), IDOK), WM_KEYDOWN, VK_RETURN, 0x001C0001);
  EXPECT_TRUE(run.ClosesSoon());
}

TEST_F(AboutBox, CloseBoxClosesIt) {
  AboutBoxRun run;
  ASSERT_TRUE(run.box());
  PostMessageA(run.box(), WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_TRUE(run.ClosesSoon());
}

TEST_F(AboutBox, AltF4ClosesIt) {
  AboutBoxRun run;
  ASSERT_TRUE(run.box());
  // Bit 29: the Alt key is down.
  PostMessageA(GetDlgItem(run.box(), IDOK), WM_SYSKEYDOWN, VK_F4, 0x203E0001);
  EXPECT_TRUE(run.ClosesSoon());
}

TEST_F(AboutBox, OtherCommandsAndMessagesAreLeftAlone) {
  AboutBoxRun run;
  ASSERT_TRUE(run.box());
  PostMessageA(run.box(), WM_COMMAND, 1234, 0);
  PostMessageA(run.box(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
  PostMessageA(run.box(), WM_CLOSE, 0, 0);
  EXPECT_TRUE(run.StaysOpen());
}

}  // namespace
