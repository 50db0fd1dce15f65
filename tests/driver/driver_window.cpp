// The driver's work on the main window: commands, menu choices and keys as the user gives them,
// its texts and controls, the slider, and a picture of it as it shows on screen.
#include "recorder_driver.h"

#include <commctrl.h>

#include <fstream>

#include "support/poll.h"
#include "window_access.h"

namespace recorder_driver {

namespace {

bool WriteBmp(const std::string& path, int width, int height, const std::vector<BYTE>& pixels) {
  BITMAPFILEHEADER file{};
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  info.biSizeImage = static_cast<DWORD>(pixels.size());
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + info.biSizeImage;
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&info), sizeof info);
  out.write(reinterpret_cast<const char*>(pixels.data()),
            static_cast<std::streamsize>(pixels.size()));
  return static_cast<bool>(out);
}

}  // namespace

bool RecorderApp::ClickButton(int id) {
  HWND button = Control(id);
  if (!button || !IsWindowEnabled(button) || !IsWindowVisible(button)) return false;
  PostCommand(static_cast<UINT>(id), BN_CLICKED, button, true);
  return true;
}

void RecorderApp::PostCommand(UINT id, WORD notification, HWND control, bool sync) {
  PostMessageA(mainWindow_, WM_COMMAND, MAKEWPARAM(id, notification),
               reinterpret_cast<LPARAM>(control));
  if (sync) Sync();
}

bool RecorderApp::ChooseMenuItem(UINT id, MenuKind menu) {
  auto item = FindMenuItem(id, menu);
  if (!item || !item->enabled()) return false;
  PostCommand(id, 0, nullptr, true);
  return true;
}

void RecorderApp::PostToMain(UINT message, WPARAM wParam, LPARAM lParam) {
  PostMessageA(mainWindow_, message, wParam, lParam);
  Sync();
}

bool RecorderApp::PressKey(WORD virtualKey, bool control) {
  // Hardware input goes to the focus of the foreground window.
  SetForegroundWindow(mainWindow_);
  if (!PollUntil(kDefaultTimeoutMs, [&] { return GetForegroundWindow() == mainWindow_; })) {
    lastError_ = "the main window did not come to the front";
    return false;
  }
  INPUT inputs[4] = {};
  UINT count = 0;
  const auto add = [&](WORD key, bool up) {
    INPUT& input = inputs[count++];
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyA(key, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  };
  if (control) add(VK_CONTROL, false);
  add(virtualKey, false);
  add(virtualKey, true);
  if (control) add(VK_CONTROL, true);
  if (SendInput(count, inputs, sizeof(INPUT)) != count) {
    lastError_ = "SendInput failed";
    return false;
  }
  return Sync();
}

std::string RecorderApp::WindowText(HWND window) {
  wchar_t text[1024] = {};
  GetWindowTextW(window, text, 1024);
  return Narrow(text);
}

std::string RecorderApp::Caption() const {
  return WindowText(mainWindow_);
}

std::string RecorderApp::DialogItemText(HWND dialog, int id) {
  wchar_t text[1024] = {};
  GetDlgItemTextW(dialog, id, text, 1024);
  return Narrow(text);
}

std::string RecorderApp::ControlText(int id) const {
  return DialogItemText(mainWindow_, id);
}

HWND RecorderApp::Control(int id) const {
  return mainWindow_ ? GetDlgItem(mainWindow_, id) : nullptr;
}

bool RecorderApp::IsControlEnabled(int id) const {
  HWND control = Control(id);
  return control && IsWindowEnabled(control);
}

bool RecorderApp::IsMinimized() const {
  return mainWindow_ && IsIconic(mainWindow_);
}

RECT RecorderApp::WindowRect() const {
  RECT rect{};
  if (mainWindow_) GetWindowRect(mainWindow_, &rect);
  return rect;
}

HWND RecorderApp::SliderWindow() const {
  if (!mainWindow_) return nullptr;
  for (HWND child = GetWindow(mainWindow_, GW_CHILD); child;
       child = GetWindow(child, GW_HWNDNEXT)) {
    if (lstrcmpiA(ClassName(child).c_str(), TRACKBAR_CLASSA) == 0) return child;
  }
  return nullptr;
}

SliderInfo RecorderApp::Slider() const {
  SliderInfo info;
  HWND slider = SliderWindow();
  if (!slider) return info;
  info.found = true;
  info.min = static_cast<int>(SendWithTimeoutA(slider, TBM_GETRANGEMIN, 0, 0));
  info.max = static_cast<int>(SendWithTimeoutA(slider, TBM_GETRANGEMAX, 0, 0));
  info.pos = static_cast<int>(SendWithTimeoutA(slider, TBM_GETPOS, 0, 0));
  info.enabled = IsWindowEnabled(slider) != FALSE;
  return info;
}

bool RecorderApp::MoveSlider(int position) {
  HWND slider = SliderWindow();
  if (!slider || !IsWindowEnabled(slider)) return false;
  SendWithTimeoutA(slider, TBM_SETPOS, TRUE, position);
  int clamped = static_cast<int>(SendWithTimeoutA(slider, TBM_GETPOS, 0, 0));
  auto handle = reinterpret_cast<LPARAM>(slider);
  PostMessageA(mainWindow_, WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, clamped), handle);
  PostMessageA(mainWindow_, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, clamped), handle);
  PostMessageA(mainWindow_, WM_HSCROLL, TB_ENDTRACK, handle);
  return Sync();
}

bool RecorderApp::Screenshot(const std::string& bmpPath, HWND window) const {
  if (!window) window = mainWindow_;
  if (!window) return false;
  RECT rect{};
  GetWindowRect(window, &rect);
  int width = rect.right - rect.left;
  int height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return false;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = false;
  if (bitmap && bits) {
    HGDIOBJ previous = SelectObject(memory, bitmap);
    ok = BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY) != FALSE;
    GdiFlush();
    SelectObject(memory, previous);
    std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    std::vector<BYTE> pixels(
        static_cast<const BYTE*>(bits),
        static_cast<const BYTE*>(bits) + stride * static_cast<std::size_t>(height));
    ok = ok && WriteBmp(bmpPath, width, height, pixels);
  }
  if (bitmap) DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return ok;
}

}  // namespace recorder_driver
