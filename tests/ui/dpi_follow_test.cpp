// The real main window in this process, moved between monitors of 96 and 144 DPI as the system
// announces it (WM_DPICHANGED with a suggested rectangle): its icons come from the program's
// sizes, and its size, controls, fonts and slider thumb follow the DPI without drifting.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "app/main_dialog.h"
#include "resources/resource.h"
#include "shell_fixture.h"
#include "state/context.h"

namespace {

// The sizes in the built program's icon group, largest last; a 0 in the directory means 256.
std::vector<int> ProgramIconSizes() {
  std::vector<int> sizes;
  const HMODULE program = LoadLibraryExA(RECORDER_EXE_PATH, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  const HRSRC found = program ? FindResourceA(program, "RECICON", RT_GROUP_ICON) : nullptr;
  const auto* group =
      found ? static_cast<const BYTE*>(LockResource(LoadResource(program, found))) : nullptr;
  // GRPICONDIR: three WORDs, then 14-byte entries that start with the width.
  const DWORD size = found ? SizeofResource(program, found) : 0;
  for (int i = 0; group && size >= 6 && i < reinterpret_cast<const WORD*>(group)[2]; ++i)
    if (6u + 14u * (i + 1) <= size) sizes.push_back(group[6 + 14 * i] ? group[6 + 14 * i] : 256);
  if (program) FreeLibrary(program);
  std::sort(sizes.begin(), sizes.end());
  return sizes;
}

int IconWidth(HWND window, WPARAM which) {
  const auto icon = reinterpret_cast<HICON>(SendMessageA(window, WM_GETICON, which, 0));
  ICONINFO info{};
  if (!icon || !GetIconInfo(icon, &info)) return 0;
  BITMAP bitmap{};
  GetObjectA(info.hbmMask, sizeof bitmap, &bitmap);
  DeleteObject(info.hbmMask);
  if (info.hbmColor) DeleteObject(info.hbmColor);
  return bitmap.bmWidth;
}

LONG FontHeight(HWND control) {
  LOGFONTA font{};
  GetObjectA(reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)), sizeof font, &font);
  return font.lfHeight;
}

HWND TipsOf(HWND window) {
  HWND tips = nullptr;
  while ((tips = FindWindowExA(nullptr, tips, TOOLTIPS_CLASSA, nullptr)))
    if (GetWindow(tips, GW_OWNER) == window) return tips;
  return nullptr;
}

// Everything a move may change: the frame, the client area, every control's rectangle, the
// slider's thumb, the texts' and the tips' font heights and the icons' widths.
std::vector<LONG> Shape(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  std::vector<LONG> shape{r.left, r.top, r.right, r.bottom};
  GetClientRect(window, &r);
  shape.insert(shape.end(), {r.right, r.bottom});
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
    shape.insert(shape.end(), {r.left, r.top, r.right, r.bottom});
  }
  shape.insert(shape.end(),
               {static_cast<LONG>(SendMessageA(g_controls.slider, TBM_GETTHUMBLENGTH, 0, 0)),
                FontHeight(GetDlgItem(window, IDC_POSITION)), FontHeight(TipsOf(window)),
                IconWidth(window, ICON_BIG), IconWidth(window, ICON_SMALL)});
  return shape;
}

// What the system sends when the window lands on a monitor of `dpi`: the frame scaled from
// the DPI it had, at a place on that monitor.
void MoveToDpi(HWND window, UINT from, UINT dpi) {
  RECT frame{};
  GetWindowRect(window, &frame);
  const int left = dpi == 144 ? 1300 : 100;
  RECT suggested{left, 60, left + MulDiv(frame.right - frame.left, dpi, from),
                 60 + MulDiv(frame.bottom - frame.top, dpi, from)};
  SendMessageA(window, 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(dpi, dpi),
               reinterpret_cast<LPARAM>(&suggested));
  PumpMessages(window);
}

class DpiFollow : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(registry.ok());
    ASSERT_TRUE(main);
    ASSERT_EQ(g_controls.dpi, 96u);
  }
  PrivateUserRegistry registry;
  ScopedService<decltype(PlatformServices::waveInGetNumDevs)> devices{sys.waveInGetNumDevs,
                                                                      OneCaptureDevice};
  MainWindow window;
  HWND main = window.get();
};

TEST_F(DpiFollow, TheWindowTakesTheProgramsIconsAtTheSizesOfItsDpi) {
  EXPECT_EQ(ProgramIconSizes(), (std::vector<int>{16, 20, 24, 32, 40, 48, 64, 256}));
  EXPECT_EQ(IconWidth(main, ICON_BIG), 32);
  EXPECT_EQ(IconWidth(main, ICON_SMALL), 16);
  MoveToDpi(main, 96, 144);
  EXPECT_EQ(IconWidth(main, ICON_BIG), 48);
  EXPECT_EQ(IconWidth(main, ICON_SMALL), 24);
}

TEST_F(DpiFollow, MovesBetweenMonitorsLeaveTheWindowAsTheFirstMoveToEachDpiDid) {
  const std::vector<LONG> start = Shape(main);
  std::vector<LONG> first[2];
  UINT dpi = 96;
  for (int move = 0; move < 5; ++move) {
    const UINT to = dpi == 96 ? 144 : 96;
    MoveToDpi(main, dpi, to);
    dpi = to;
    const std::vector<LONG> shape = Shape(main);
    std::vector<LONG>& want = first[dpi == 144];
    if (want.empty()) want = shape;
    EXPECT_EQ(shape, want) << "move " << move + 1 << " to " << dpi;
  }
  // Back at 96 DPI everything but the place is as it started; at 144 the slider's thumb and
  // the fonts have grown with it.
  EXPECT_TRUE(std::equal(start.begin() + 4, start.end(), first[0].begin() + 4));
  const LONG* at96 = &start[start.size() - 5];
  const LONG* at144 = &first[1][start.size() - 5];
  EXPECT_EQ(at144[0], MulDiv(at96[0], 3, 2)) << "thumb";
  EXPECT_NEAR(at144[1], at96[1] * 1.5, 1.0) << "texts' font";
  EXPECT_NEAR(at144[2], at96[2] * 1.5, 1.0) << "tips' font";
}

}  // namespace
