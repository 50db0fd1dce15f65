// Ctrl+N, Ctrl+O, Ctrl+P and Ctrl+R act exactly when a click on their item could.
#include <gtest/gtest.h>

#include "app/context.h"
#include "app/display.h"
#include "resources/resource.h"
#include "shell_fixture.h"
#include "wave/format.h"

namespace {

int g_openDialogs, g_saveDialogs, g_playOpens, g_recordOpens;

BOOL WINAPI CancelOpen(LPOPENFILENAMEA) {
  ++g_openDialogs;
  return FALSE;
}
BOOL WINAPI CancelSave(LPOPENFILENAMEA) {
  ++g_saveDialogs;
  return FALSE;
}
MMRESULT WINAPI RefusePlay(LPHWAVEOUT, UINT, LPCWAVEFORMATEX, DWORD_PTR, DWORD_PTR, DWORD) {
  ++g_playOpens;
  return MMSYSERR_NODRIVER;
}
MMRESULT WINAPI RefuseRecord(LPHWAVEIN, UINT, LPCWAVEFORMATEX, DWORD_PTR, DWORD_PTR, DWORD) {
  ++g_recordOpens;
  return MMSYSERR_NODRIVER;
}

void SetControlKey(bool down) {
  BYTE keys[256];
  GetKeyboardState(keys);
  keys[VK_CONTROL] = keys[VK_LCONTROL] = down ? 0x80 : 0;
  SetKeyboardState(keys);
}

class AcceleratorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(main, nullptr);
    g_openDialogs = g_saveDialogs = g_playOpens = g_recordOpens = 0;
  }
  void TearDown() override { SetControlKey(false); }

  // A key typed into `target` while the dialog loop runs; Ctrl held or not.
  void Type(UINT key, bool control = true, HWND target = nullptr) {
    SetControlKey(control);
    const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyA(key, 0)) << 16;
    PostMessageA(target ? target : main, WM_KEYDOWN, key, scan | 1);
    PostMessageA(target ? target : main, WM_KEYUP, key, scan | 0xC0000001);
    PumpMessages(main);
    SetControlKey(false);
  }
  void Situation(RecorderState state, bool loaded, DWORD size) {
    g_context.state = state;
    g_context.fileLoaded = loaded;
    g_context.dataSize = size;
    UpdateControlStates(main);
  }
  int Acted() const { return g_openDialogs + g_saveDialogs + g_playOpens + g_recordOpens; }

  PrivateUserRegistry registry;
  ScopedService<decltype(PlatformServices::waveInGetNumDevs)> devices{sys.waveInGetNumDevs,
                                                                      OneCaptureDevice};
  ScopedService<decltype(PlatformServices::GetOpenFileNameA)> open{sys.GetOpenFileNameA,
                                                                   CancelOpen};
  ScopedService<decltype(PlatformServices::GetSaveFileNameA)> save{sys.GetSaveFileNameA,
                                                                   CancelSave};
  ScopedService<decltype(PlatformServices::waveOutOpen)> play{sys.waveOutOpen, RefusePlay};
  ScopedService<decltype(PlatformServices::waveInOpen)> record{sys.waveInOpen, RefuseRecord};
  MessageBoxCapture boxes;
  MainWindow window;
  HWND main = window.get();
};

}  // namespace

TEST_F(AcceleratorTest, FileCommandsActWhileIdle) {
  Type('O');
  EXPECT_EQ(g_openDialogs, 1);
  Type('N');
  EXPECT_EQ(g_saveDialogs, 1);
  // Typed into a control of the window, too.
  Type('O', true, g_controls.slider);
  EXPECT_EQ(g_openDialogs, 2);
  EXPECT_EQ(g_playOpens + g_recordOpens, 0);
}

TEST_F(AcceleratorTest, TransportKeysNeedTheirButtonEnabled) {
  // No file: Play and Record are grayed, so their keys do nothing.
  Type('P');
  Type('R');
  EXPECT_EQ(Acted(), 0);

  Situation(RecorderState::Idle, true, 5000);
  Type('P');
  EXPECT_EQ(g_playOpens, 1);
  Type('R');
  EXPECT_EQ(g_recordOpens, 1);
  // The refused devices were reported, by the engine, each once.
  EXPECT_EQ(boxes.boxes().size(), 2u);
}

TEST_F(AcceleratorTest, NothingActsWhileBusy) {
  for (RecorderState busy : {RecorderState::Recording, RecorderState::Playing}) {
    Situation(busy, true, 5000);
    for (UINT key : {'N', 'O', 'P', 'R'}) Type(key);
  }
  EXPECT_EQ(Acted(), 0);
  Situation(RecorderState::Idle, true, 5000);
}

TEST_F(AcceleratorTest, PlainKeysAndOtherWindowsAreLeftAlone) {
  Situation(RecorderState::Idle, true, 5000);
  for (UINT key : {'N', 'O', 'P', 'R'}) Type(key, false);
  EXPECT_EQ(Acted(), 0);

  // A key meant for another window of the thread (another dialog, say) is not the main
  // window's accelerator.
  HWND other = CreateWindowExA(0, "STATIC", "other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr,
                               nullptr, TestModule(), nullptr);
  ASSERT_NE(other, nullptr);
  Type('O', true, other);
  EXPECT_EQ(g_openDialogs, 0);
  DestroyWindow(other);

  // While a modal box owns the thread the main window is disabled, and keys wait.
  EnableWindow(main, FALSE);
  Type('O');
  EXPECT_EQ(g_openDialogs, 0);
  EnableWindow(main, TRUE);
}
