// The whole program run modally in this process: a start without a capture device, and its
// modal loop taking the keyboard shortcuts.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "state/context.h"
#include "app/main_dialog.h"
#include "recent/recent_list.h"
#include "resources/resource.h"
#include "shell_fixture.h"
#include "wave/format.h"

TEST(RunRecorder, WithoutACaptureDeviceSaysSoAndEndsThroughTheShutdown) {
  PrivateUserRegistry registry;
  ASSERT_TRUE(registry.ok());
  ScopedService<decltype(PlatformServices::waveInGetNumDevs)> devices(sys.waveInGetNumDevs,
                                                                      NoCaptureDevice);
  MessageBoxCapture boxes;

  EXPECT_EQ(RunRecorder(TestModule()), 0);

  ASSERT_EQ(boxes.boxes().size(), 1u);
  EXPECT_EQ(boxes.boxes()[0].text, "No wave audio recording devices found.");
  EXPECT_EQ(boxes.boxes()[0].caption, "Error");
  EXPECT_EQ(boxes.boxes()[0].type, static_cast<UINT>(MB_OK));
  EXPECT_EQ(boxes.boxes()[0].owner, g_context.mainWindow);
  EXPECT_FALSE(IsWindow(g_context.mainWindow));
  EXPECT_EQ(CurrentFormat, nullptr);
  EXPECT_EQ(g_recentList, nullptr);
  ExpectShutdownWroteTheRegistry();
}

namespace {
int g_openDialogs = 0;
BOOL WINAPI CancelOpen(LPOPENFILENAMEA) {
  ++g_openDialogs;
  return FALSE;
}
}  // namespace

TEST(RunRecorder, TheModalLoopHonoursCtrlO) {
  PrivateUserRegistry registry;
  ScopedService<decltype(PlatformServices::waveInGetNumDevs)> devices(sys.waveInGetNumDevs,
                                                                      OneCaptureDevice);
  ScopedService<decltype(PlatformServices::GetOpenFileNameA)> open(sys.GetOpenFileNameA,
                                                                   CancelOpen);
  MessageBoxCapture boxes;
  // Ctrl is held for the dialog's thread (this one) for the whole run.
  BYTE keys[256];
  GetKeyboardState(keys);
  keys[VK_CONTROL] = keys[VK_LCONTROL] = 0x80;
  SetKeyboardState(keys);
  g_context.mainWindow = nullptr;
  std::thread typist([] {
    for (int i = 0; i < 1000; ++i) {
      const HWND main = g_context.mainWindow;
      // Posted messages are handled in order, so Exit comes after the keys.
      if (main && IsWindowVisible(main)) {
        PostMessageA(main, WM_KEYDOWN, 'O', 1);
        PostMessageA(main, WM_KEYUP, 'O', 0xC0000001);
        PostMessageA(main, WM_COMMAND, IDM_EXIT, 0);
        return;
      }
      Sleep(10);
    }
  });
  EXPECT_EQ(RunRecorder(TestModule()), 0);
  typist.join();
  keys[VK_CONTROL] = keys[VK_LCONTROL] = 0;
  SetKeyboardState(keys);
  EXPECT_EQ(g_openDialogs, 1);
  EXPECT_TRUE(boxes.boxes().empty());
  PumpMessages(nullptr);
}
