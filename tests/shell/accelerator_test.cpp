// The keys act exactly when a click on their item could; the transport buttons carry their
// names, a tooltip naming their key, and a key that does what their click does.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "state/context.h"
#include "state/display.h"
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

struct TooltipSearch {
  HWND owner;
  HWND found;
};
BOOL CALLBACK MatchTooltip(HWND candidate, LPARAM data) {
  auto* search = reinterpret_cast<TooltipSearch*>(data);
  char name[64] = "";
  GetClassNameA(candidate, name, sizeof name);
  if (GetWindow(candidate, GW_OWNER) != search->owner || lstrcmpiA(name, TOOLTIPS_CLASSA) != 0)
    return TRUE;
  search->found = candidate;
  return FALSE;
}

// The standard tooltip control that the main window owns, if any.
HWND TooltipOf(HWND main) {
  TooltipSearch search{main, nullptr};
  EnumThreadWindows(GetCurrentThreadId(), MatchTooltip, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// What the tooltip would show for a button now; empty means it shows nothing.
std::string TipText(HWND main, HWND button) {
  const HWND tips = TooltipOf(main);
  if (!tips) return "(no tooltip control)";
  char text[128] = "";
  TTTOOLINFOA tool{};
  tool.cbSize = TTTOOLINFOA_V2_SIZE;
  tool.hwnd = main;
  tool.uId = reinterpret_cast<UINT_PTR>(button);
  tool.lpszText = text;
  SendMessageA(tips, TTM_GETTEXTA, sizeof text, reinterpret_cast<LPARAM>(&tool));
  return text;
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

TEST_F(AcceleratorTest, EachTransportButtonIsNamedAndItsKeyDoesWhatItsClickDoes) {
  struct Case {
    UINT id;
    const char* text;
    const char* tip;
    UINT key;
    RecorderState enabledWhile;
  };
  const Case cases[] = {
      {IDC_REWIND, "Rewind", "Rewind (Ctrl+B)", 'B', RecorderState::Idle},
      {IDC_FORWARD, "Forward", "Forward (Ctrl+F)", 'F', RecorderState::Idle},
      {IDC_PLAY, "Play", "Play (Ctrl+P)", 'P', RecorderState::Idle},
      {IDC_STOP, "Stop", "Stop (Ctrl+S)", 'S', RecorderState::Playing},
      {IDC_RECORD, "Record", "Record (Ctrl+R)", 'R', RecorderState::Idle},
  };
  CurrentFormat->nBlockAlign = 1;
  // Everything a transport command can change, from a set point: the slider in the middle.
  const auto prepare = [&](const Case& c) {
    Situation(c.enabledWhile, true, 5000);
    SliderMessage(TBM_SETRANGEMAX, 5000);
    SliderMessage(TBM_SETPOS, 2000);
    SetDlgItemTextA(main, IDC_POSITION, "set");
    g_playOpens = g_recordOpens = 0;
    boxes.clear();
  };
  const auto outcome = [&] {
    return "slider " + std::to_string(SliderMessage(TBM_GETPOS, 0)) + ", position " +
           DialogText(main, IDC_POSITION) + ", state " +
           std::to_string(static_cast<int>(g_context.state.load())) + ", play opens " +
           std::to_string(g_playOpens) + ", record opens " + std::to_string(g_recordOpens) +
           ", boxes " + std::to_string(boxes.boxes().size());
  };

  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const HWND button = GetDlgItem(main, static_cast<int>(c.id));
    EXPECT_EQ(WindowCaption(button), c.text);

    prepare(c);
    const std::string untouched = outcome();
    SendMessageA(main, WM_COMMAND, MAKEWPARAM(c.id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    const std::string clicked = outcome();
    EXPECT_NE(clicked, untouched);

    prepare(c);
    ASSERT_TRUE(IsWindowEnabled(button));
    EXPECT_EQ(TipText(main, button), c.tip);
    Type(c.key);
    EXPECT_EQ(outcome(), clicked);

    // Disabled at the moment of the key: no tip, and the key does nothing.
    prepare(c);
    EnableWindow(button, FALSE);
    EXPECT_EQ(TipText(main, button), "");
    Type(c.key);
    EXPECT_EQ(outcome(), untouched);
  }
  Situation(RecorderState::Idle, true, 5000);
}

TEST_F(AcceleratorTest, AShownTipGoesWhenItsButtonIsDisabledOrABoxIsComing) {
  Situation(RecorderState::Idle, true, 5000);
  const HWND tips = TooltipOf(main);
  ASSERT_NE(tips, nullptr);
  SendMessageA(tips, TTM_SETDELAYTIME, TTDT_INITIAL, 10);
  // Tips show only over the active window; other tests' windows may come and go meanwhile.
  SetWindowPos(main, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  // Set once: every cursor move restarts the tip's delay.
  const auto hover = [&](UINT id) {
    RECT r;
    GetWindowRect(GetDlgItem(main, static_cast<int>(id)), &r);
    SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    for (const DWORD start = GetTickCount(); GetTickCount() - start < 10000; Sleep(10)) {
      if (GetForegroundWindow() != main) SetForegroundWindow(main);
      PumpMessages(main);
      if (IsWindowVisible(tips)) return WindowCaption(tips);
    }
    return std::string("(no tip shown)");
  };

  EXPECT_EQ(hover(IDC_RECORD), "Record (Ctrl+R)");
  Situation(RecorderState::Recording, true, 5000);
  EXPECT_FALSE(IsWindowVisible(tips));

  EXPECT_EQ(hover(IDC_STOP), "Stop (Ctrl+S)");
  // What a message box does to the window that owns it, before it shows.
  EnableWindow(main, FALSE);
  EXPECT_FALSE(IsWindowVisible(tips));
  EnableWindow(main, TRUE);
  Situation(RecorderState::Idle, true, 5000);
}
