// The real program at several display scales (the prefix's LogPixels, read by every program
// started while it is set): the window, its controls, its texts and its glyphs grow with the
// DPI. The value changes what every run in the prefix reads, so these run beside no other test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "recorder_driver.h"
#include "resources/resource.h"
#include "glyph_model.h"
#include "support/poll.h"
#include "support/test_support.h"
#include "support/wave_builder.h"

using recorder_driver::RecorderApp;
using namespace glyph_test;

namespace {

constexpr char kProgramKey[] = "Software\\Velmora\\Quenby Pro Recorder";
constexpr char kDesktopKey[] = "Control Panel\\Desktop";

// Sets the DPI that programs started from now on are given, and removes it at scope end.
class LogPixelsScope {
 public:
  LogPixelsScope() = default;
  LogPixelsScope(const LogPixelsScope&) = delete;
  LogPixelsScope& operator=(const LogPixelsScope&) = delete;
  ~LogPixelsScope() { RegDeleteKeyValueA(HKEY_CURRENT_USER, kDesktopKey, "LogPixels"); }
  bool Set(DWORD dpi) {
    return RegSetKeyValueA(HKEY_CURRENT_USER, kDesktopKey, "LogPixels", REG_DWORD, &dpi,
                           sizeof dpi) == ERROR_SUCCESS;
  }
};

// This process reads the program's windows in real pixels whatever its DPI.
void MeasureInRealPixels() {
  using SetContext = BOOL(WINAPI*)(HANDLE);
  const auto set = reinterpret_cast<SetContext>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("user32.dll"), "SetProcessDpiAwarenessContext")));
  // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2
  if (!set || !set(reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-4)))) SetProcessDPIAware();
}

// A placement stored by a run at another scale: its place is kept, its size is not.
void StorePlacementFromAnotherScale() {
  WINDOWPLACEMENT stored{};
  stored.length = sizeof stored;
  stored.showCmd = SW_SHOWNORMAL;
  stored.ptMinPosition = stored.ptMaxPosition = {-1, -1};
  stored.rcNormalPosition = {40, 30, 40 + 900, 30 + 700};
  RegSetKeyValueA(HKEY_CURRENT_USER, kProgramKey, "Placement", REG_BINARY, &stored, sizeof stored);
}

struct Child {
  std::string windowClass;
  std::string text;
  int id = 0;
  RECT rect{};  // in the main window's client coordinates
};

struct Layout {
  RECT client{};
  POINT origin{};  // the client area's top left on the screen
  std::vector<Child> children;
};

Layout ReadLayout(HWND main) {
  Layout layout;
  GetClientRect(main, &layout.client);
  ClientToScreen(main, &layout.origin);
  for (HWND child = GetWindow(main, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    Child c;
    char name[64] = {};
    GetClassNameA(child, name, sizeof name);
    c.windowClass = name;
    c.text = RecorderApp::WindowText(child);
    c.id = GetDlgCtrlID(child);
    GetWindowRect(child, &c.rect);
    MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&c.rect), 2);
    layout.children.push_back(c);
  }
  return layout;
}

// `got` is `base` grown by dpi / 96, within 5 % (and the pixel that rounding may take).
void ExpectGrown(int got, int base, UINT dpi, const std::string& what) {
  const double want = base * dpi / 96.0;
  const double slack = want * 0.05 > 2.0 ? want * 0.05 : 2.0;
  EXPECT_NEAR(got, want, slack) << what << " (" << base << " at 96 DPI)";
}

void ExpectRectGrown(const RECT& got, const RECT& base, UINT dpi, const std::string& what) {
  ExpectGrown(got.left, base.left, dpi, what + " left");
  ExpectGrown(got.top, base.top, dpi, what + " top");
  ExpectGrown(got.right - got.left, base.right - base.left, dpi, what + " width");
  ExpectGrown(got.bottom - got.top, base.bottom - base.top, dpi, what + " height");
}

// The dialog font as the platform makes it for a template's "MS Sans Serif" 8 at this DPI.
SIZE TextExtent(const std::string& text, UINT dpi) {
  HDC screen = GetDC(nullptr);
  HFONT font =
      CreateFontA(-MulDiv(8, static_cast<int>(dpi), 72), 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE,
                  DEFAULT_CHARSET, 0, 0, PROOF_QUALITY, FF_DONTCARE, "MS Sans Serif");
  HGDIOBJ previous = SelectObject(screen, font);
  SIZE extent{};
  GetTextExtentPoint32A(screen, text.data(), static_cast<int>(text.size()), &extent);
  SelectObject(screen, previous);
  DeleteObject(font);
  ReleaseDC(nullptr, screen);
  return extent;
}

// Left, right, top and bottom of the pixels inside the frame that are not the face colour.
RECT GlyphBounds(const Image& button, COLORREF face) {
  RECT b{button.w, button.h, -1, -1};
  for (int y = 3; y < button.h - 3; ++y)
    for (int x = 3; x < button.w - 3; ++x)
      if (button.at(x, y) != face) {
        b.left = std::min<LONG>(b.left, x);
        b.top = std::min<LONG>(b.top, y);
        b.right = std::max<LONG>(b.right, x + 1);
        b.bottom = std::max<LONG>(b.bottom, y + 1);
      }
  return b;
}

Image ScreenArea(const Layout& layout, const RECT& r) {
  return ReadArea(nullptr, layout.origin.x + r.left, layout.origin.y + r.top, r.right - r.left,
                  r.bottom - r.top);
}

struct TextSearch {
  UINT dpi;
  const std::string* where;
};

BOOL CALLBACK ExpectTextFits(HWND child, LPARAM data) {
  const auto& search = *reinterpret_cast<const TextSearch*>(data);
  char name[32] = {};
  GetClassNameA(child, name, sizeof name);
  const LONG style = GetWindowLongA(child, GWL_STYLE);
  const std::string text = RecorderApp::WindowText(child);
  if (lstrcmpiA(name, "Static") != 0 || text.empty() || (style & SS_TYPEMASK) == SS_ICON)
    return TRUE;
  RECT r{};
  GetClientRect(child, &r);
  const SIZE extent = TextExtent(text, search.dpi);
  EXPECT_LE(extent.cx, r.right) << *search.where << " '" << text << "'";
  EXPECT_LE(extent.cy, r.bottom) << *search.where << " '" << text << "'";
  return TRUE;
}

// Every text of the window and its descendants fits its control, in the template's font at
// this DPI.
void ExpectTextsFit(HWND parent, UINT dpi, const std::string& where) {
  TextSearch search{dpi, &where};
  EnumChildWindows(parent, ExpectTextFits, reinterpret_cast<LPARAM>(&search));
}

// A dialog of the program, opened by `command` and closed by `close`: its texts fit, and its
// client size. The dialog manager scales it by its font, whose letters grow in whole pixels.
template <typename Close>
SIZE CheckDialog(RecorderApp& app, UINT command, const char* caption, UINT dpi, Close close) {
  app.PostCommand(command, 0, nullptr, false);
  const HWND dialog = app.WaitForDialog(caption);
  EXPECT_TRUE(dialog) << caption;
  if (!dialog) return {};
  ExpectTextsFit(dialog, dpi, caption);
  RECT r{};
  GetClientRect(dialog, &r);
  close(dialog);
  return {r.right, r.bottom};
}

// It grows by at least half the DPI's growth (under Wine its letters are 8 pixels wide at 120 DPI
// where they are 7 at 96).
void ExpectDialogGrown(SIZE got, SIZE base, UINT dpi, const char* what) {
  const double least = 1.0 + 0.5 * (dpi - 96.0) / 96.0;
  EXPECT_GE(got.cx, base.cx * least) << what;
  EXPECT_GE(got.cy, base.cy * least) << what;
}

// The window moved to a monitor of 144 DPI, as the system tells it: it takes the suggested
// place, its client area the 96-DPI one grown by half, and its buttons, slider and glyphs are
// those of a start at 144 DPI.
void ExpectDpiChangeRelaysTheWindow(RecorderApp& app, const Colors& colors, const RECT& client96) {
  const RECT before = app.WindowRect();
  const RECT suggested{before.left + 10, before.top + 10,
                       before.left + 10 + (before.right - before.left) * 3 / 2,
                       before.top + 10 + (before.bottom - before.top) * 3 / 2};
  // The rectangle is passed by address: it is put into the program's memory.
  void* remote = VirtualAllocEx(app.process(), nullptr, sizeof suggested, MEM_COMMIT | MEM_RESERVE,
                                PAGE_READWRITE);
  ASSERT_TRUE(remote);
  ASSERT_TRUE(WriteProcessMemory(app.process(), remote, &suggested, sizeof suggested, nullptr));
  DWORD_PTR answer = 0;
  ASSERT_TRUE(SendMessageTimeoutA(app.mainWindow(), 0x02E0 /* WM_DPICHANGED */,
                                  MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(remote),
                                  SMTO_NORMAL, 10000, &answer));
  ASSERT_TRUE(app.Sync());
  VirtualFreeEx(app.process(), remote, 0, MEM_RELEASE);

  const RECT after = app.WindowRect();
  EXPECT_EQ(after.left, suggested.left);
  EXPECT_EQ(after.top, suggested.top);
  const Layout layout = ReadLayout(app.mainWindow());
  EXPECT_EQ(layout.client.right, AtDpi(client96.right, 144));
  EXPECT_EQ(layout.client.bottom, AtDpi(client96.bottom, 144));
  ExpectTextsFit(app.mainWindow(), 144, "after the change");
  const Sizes sizes = SizesAt(144);
  constexpr int kButtonX[5] = {9, 61, 113, 165, 217};
  for (const Child& c : layout.children) {
    if (c.id >= IDC_REWIND && c.id <= IDC_RECORD) {
      const int index = c.id - IDC_REWIND;
      EXPECT_EQ(c.rect.left, AtDpi(kButtonX[index], 144)) << index;
      EXPECT_EQ(c.rect.top, AtDpi(76, 144)) << index;
      EXPECT_EQ(c.rect.right - c.rect.left, sizes.buttonW) << index;
      EXPECT_EQ(c.rect.bottom - c.rect.top, sizes.buttonH) << index;
      const Image want = IsWindowEnabled(app.Control(c.id))
                             ? ColourButton(index, colors, false, 144)
                             : EmbossedButton(index, colors, 144);
      EXPECT_TRUE(PollUntil(
          10000, [&] { return Differences(ScreenArea(layout, c.rect), want).empty(); }, 50));
      EXPECT_EQ(Differences(ScreenArea(layout, c.rect), want), "") << "button " << index;
    } else if (c.windowClass == "msctls_trackbar32") {
      EXPECT_EQ(c.rect.left, AtDpi(10, 144));
      EXPECT_EQ(c.rect.top, AtDpi(53, 144));
      EXPECT_EQ(c.rect.right - c.rect.left, AtDpi(250, 144));
      EXPECT_EQ(c.rect.bottom - c.rect.top, AtDpi(20, 144));
    }
  }
}

TEST(DisplayScaleE2E, WindowControlsTextsGlyphsAndDialogsGrowWithTheDpi) {
  MeasureInRealPixels();
  LogPixelsScope logPixels;
  TempFolder folder;
  const std::string path = folder.file("scaled.wav");
  ASSERT_TRUE(WriteWholeFile(path, PcmWave(22050)));

  Layout base;
  SIZE baseAbout{}, baseProperties{};
  std::vector<RECT> baseGlyphs(5);
  for (const UINT dpi : {96u, 120u, 144u, 192u}) {
    SCOPED_TRACE(::testing::Message() << dpi << " DPI");
    ASSERT_TRUE(logPixels.Set(dpi));
    StorePlacementFromAnotherScale();
    RecorderApp app;
    ASSERT_TRUE(app.Start()) << app.LastError();
    // Loaded, so the buttons show both looks: Stop disabled, the others enabled.
    ASSERT_TRUE(app.OpenThroughDialog(path));
    const Layout layout = ReadLayout(app.mainWindow());
    const RECT frame = app.WindowRect();
    EXPECT_EQ(frame.left, 40);
    EXPECT_EQ(frame.top, 30);

    // The client area ends a little after the controls: a stored size is not applied.
    LONG right = 0, bottom = 0;
    for (const Child& c : layout.children) {
      right = std::max(right, c.rect.right);
      bottom = std::max(bottom, c.rect.bottom);
    }
    EXPECT_LE(layout.client.right - right, AtDpi(16, dpi));
    EXPECT_LE(layout.client.bottom - bottom, AtDpi(16, dpi));

    // The window and every control, against the same run at 96 DPI.
    if (dpi == 96) base = layout;
    ExpectGrown(layout.client.right, base.client.right, dpi, "client width");
    ExpectGrown(layout.client.bottom, base.client.bottom, dpi, "client height");
    ASSERT_EQ(layout.children.size(), base.children.size());
    for (size_t i = 0; i < layout.children.size(); ++i) {
      const Child& c = layout.children[i];
      const std::string what = c.windowClass + " " + std::to_string(c.id) + " '" + c.text + "'";
      ExpectRectGrown(c.rect, base.children[i].rect, dpi, what);
      // Inside the window, and a text fits its control.
      EXPECT_GE(c.rect.left, 0) << what;
      EXPECT_GE(c.rect.top, 0) << what;
      EXPECT_LE(c.rect.right, layout.client.right) << what;
      EXPECT_LE(c.rect.bottom, layout.client.bottom) << what;
    }

    ExpectTextsFit(app.mainWindow(), dpi, "main window");

    // The glyphs: their pixels, and their share of the button.
    const Colors colors{GetSysColor(COLOR_BTNTEXT), GetSysColor(COLOR_BTNSHADOW),
                        GetSysColor(COLOR_BTNFACE), GetSysColor(COLOR_BTNHIGHLIGHT),
                        GetSysColor(COLOR_WINDOWFRAME)};
    auto wanted = [&](int index) {
      return IsWindowEnabled(app.Control(IDC_REWIND + index))
                 ? ColourButton(index, colors, false, dpi)
                 : EmbossedButton(index, colors, dpi);
    };
    auto shown = [&](int index) {
      for (const Child& c : layout.children)
        if (c.id == IDC_REWIND + index) return ScreenArea(layout, c.rect);
      return Image{};
    };
    // The buttons repaint after the load: wait until the screen shows what it should.
    PollUntil(
        10000,
        [&] {
          for (int index = 0; index < 5; ++index)
            if (Differences(shown(index), wanted(index)) != "") return false;
          return true;
        },
        50);
    for (int index = 0; index < 5; ++index) {
      const Image button = shown(index);
      EXPECT_EQ(Differences(button, wanted(index)), "") << "button " << index;
      const RECT glyph = GlyphBounds(button, colors.face);
      if (dpi == 96) baseGlyphs[index] = glyph;
      const double share = double(glyph.right - glyph.left) / button.w;
      const double baseShare = double(baseGlyphs[index].right - baseGlyphs[index].left) / 45;
      EXPECT_NEAR(share, baseShare, baseShare * 0.1) << "glyph width share, button " << index;
      const double tall = double(glyph.bottom - glyph.top) / button.h;
      const double baseTall = double(baseGlyphs[index].bottom - baseGlyphs[index].top) / 22;
      EXPECT_NEAR(tall, baseTall, baseTall * 0.1) << "glyph height share, button " << index;
    }
    if (const char* shots = std::getenv("RECORDER_DPI_SCREENSHOTS")) {
      EXPECT_TRUE(app.Screenshot(std::string(shots) + "-" + std::to_string(dpi) + ".bmp"));
    }

    // The About box and the Properties sheet are templates, scaled as dialogs are.
    const SIZE about = CheckDialog(app, IDM_ABOUT, "About Audio Recorder", dpi, [](HWND box) {
      EXPECT_TRUE(RecorderApp::PressDialogButton(box, IDOK));
    });
    const SIZE properties =
        CheckDialog(app, IDM_PROPERTIES, "Properties for scaled.wav", dpi,
                    [](HWND sheet) { EXPECT_TRUE(RecorderApp::PressPropertySheetOk(sheet)); });
    if (dpi == 96) {
      baseAbout = about;
      baseProperties = properties;
    }
    ExpectDialogGrown(about, baseAbout, dpi, "About");
    ExpectDialogGrown(properties, baseProperties, dpi, "Properties");

    if (dpi == 96) ExpectDpiChangeRelaysTheWindow(app, colors, layout.client);
    app.Close();
    EXPECT_EQ(app.WaitForExit(), 0u);
  }
  // Later runs in the prefix open where they would have without this test.
  RegDeleteKeyValueA(HKEY_CURRENT_USER, kProgramKey, "Placement");
}

}  // namespace
