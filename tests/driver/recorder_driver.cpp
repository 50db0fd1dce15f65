#include "recorder_driver.h"

#include <commctrl.h>
#include <prsht.h>

#include <cstring>
#include <fstream>

#include "menu_hook_protocol.h"
#include "resources/resource.h"
#include "support/playback_file.h"
#include "support/poll.h"

namespace recorder_driver {

namespace {

constexpr int kMessageTextId = 0xFFFF;
constexpr int kWineMessageIconId = 1088;
constexpr int kWindowsMessageIconId = 20;
constexpr int kFileNameControlId = 0x47C;
constexpr int kChooserNameId = 100;
constexpr int kChooserTagId = 101;
constexpr int kChooserAttributesId = 102;

// The first dialog of the program that `matches`, polled for until one shows, the program
// ends or the time is up; nullptr unless one showed.
template <typename Match>
HWND WaitForDialogThat(const RecorderApp& app, DWORD timeoutMs, Match matches) {
  HWND found = nullptr;
  PollUntil(timeoutMs, [&] {
    for (HWND dialog : app.Dialogs()) {
      if (matches(dialog)) {
        found = dialog;
        return true;
      }
    }
    return app.HasExited();
  });
  return found;
}

std::string ClassName(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

bool IsDialogOf(HWND window, DWORD processId) {
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  return owner == processId && ClassName(window) == "#32770";
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return TRUE;
}

std::vector<HWND> TopLevelWindows() {
  std::vector<HWND> windows;
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

std::vector<HWND> Descendants(HWND parent) {
  std::vector<HWND> windows;
  EnumChildWindows(parent, CollectWindow, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

LRESULT SendWithTimeoutA(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                         DWORD timeoutMs = 5000) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG, timeoutMs, &result)) {
    return 0;
  }
  return static_cast<LRESULT>(result);
}

LRESULT SendWithTimeoutW(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                         DWORD timeoutMs = 5000) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, timeoutMs, &result)) {
    return 0;
  }
  return static_cast<LRESULT>(result);
}

// The driver's texts are UTF-8, as the program's own are: this test program runs in the
// system's ANSI code page, so texts cross to and from the program only in their wide form.
std::string Narrow(const std::wstring& wide) {
  if (wide.empty()) return {};
  int length = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return {};
  std::string text(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, text.data(), length, nullptr, nullptr);
  text.resize(static_cast<std::size_t>(length - 1));
  return text;
}

std::wstring Widen(const std::string& text) {
  int length = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(), length);
  wide.resize(static_cast<std::size_t>(length - 1));
  return wide;
}

// Texts of another process's combo boxes travel only as wide strings under Wine.
std::string ComboText(HWND combo) {
  wchar_t text[512] = {};
  SendWithTimeoutW(combo, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
  return Narrow(text);
}

std::vector<std::string> ComboItems(HWND combo) {
  std::vector<std::string> items;
  LRESULT count = SendWithTimeoutW(combo, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    LRESULT length = SendWithTimeoutW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
    if (length < 0 || length > 1000) {
      items.emplace_back();
      continue;
    }
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    SendWithTimeoutW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i),
                     reinterpret_cast<LPARAM>(text.data()));
    text.resize(wcslen(text.c_str()));
    items.push_back(Narrow(text));
  }
  return items;
}

std::string SelectedComboItem(HWND combo) {
  LRESULT selected = SendWithTimeoutW(combo, CB_GETCURSEL, 0, 0);
  auto items = ComboItems(combo);
  if (selected >= 0 && static_cast<std::size_t>(selected) < items.size()) {
    return items[static_cast<std::size_t>(selected)];
  }
  return ComboText(combo);
}

// Selects an item and tells the dialog, as a user's choice in the list would.
bool SelectComboItem(HWND dialog, int id, int index) {
  HWND combo = GetDlgItem(dialog, id);
  if (!combo) return false;
  LRESULT count = SendWithTimeoutW(combo, CB_GETCOUNT, 0, 0);
  if (index < 0 || index >= count) return false;
  if (SendWithTimeoutW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0) != index) return false;
  SendWithTimeoutW(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(combo));
  return true;
}

// Selects the item with this text (the last, should several have it) as a user would.
bool SelectComboText(HWND dialog, int id, const std::string& text) {
  const auto items = ComboItems(GetDlgItem(dialog, id));
  int index = -1;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i] == text) index = static_cast<int>(i);
  }
  return SelectComboItem(dialog, id, index);
}

std::string ToWindowsSlashes(std::string path) {
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

// Builds an environment block from ours with the given variables added or replaced.
std::string EnvironmentBlock(const std::vector<std::pair<std::string, std::string>>& changes) {
  std::vector<std::string> entries;
  if (char* block = GetEnvironmentStringsA()) {
    for (const char* p = block; *p; p += std::strlen(p) + 1) entries.emplace_back(p);
    FreeEnvironmentStringsA(block);
  }
  for (const auto& [name, value] : changes) {
    bool replaced = false;
    for (auto& entry : entries) {
      if (entry.size() > name.size() && entry[name.size()] == '=' &&
          CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, entry.c_str(),
                         static_cast<int>(name.size()), name.c_str(),
                         static_cast<int>(name.size())) == CSTR_EQUAL) {
        entry = name + "=" + value;
        replaced = true;
      }
    }
    if (!replaced) entries.push_back(name + "=" + value);
  }
  std::string result;
  for (const auto& entry : entries) {
    result += entry;
    result.push_back('\0');
  }
  result.push_back('\0');
  return result;
}

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

std::string WindowsPath(const std::string& path) {
  if (!path.empty() && path[0] == '/') return "Z:" + ToWindowsSlashes(path);
  return path;
}

std::string UnixPath(const std::string& windowsPath) {
  return UnixPathOf(windowsPath);
}

std::string RecorderExePath() {
  return WindowsPath(RECORDER_DRIVER_EXE);
}

RecorderApp::~RecorderApp() {
  Release();
}

void RecorderApp::Release() {
  if (hook_) UnhookWindowsHookEx(hook_);
  hook_ = nullptr;
  if (replyView_) UnmapViewOfFile(replyView_);
  replyView_ = nullptr;
  if (replyMapping_) CloseHandle(replyMapping_);
  replyMapping_ = nullptr;
  if (replyEvent_) CloseHandle(replyEvent_);
  replyEvent_ = nullptr;
  if (processInformation_.hProcess) {
    if (WaitForSingleObject(processInformation_.hProcess, 0) == WAIT_TIMEOUT) {
      TerminateProcess(processInformation_.hProcess, 99);
      WaitForSingleObject(processInformation_.hProcess, 5000);
    }
    CloseHandle(processInformation_.hProcess);
  }
  if (processInformation_.hThread) CloseHandle(processInformation_.hThread);
  processInformation_ = {};
  mainWindow_ = nullptr;
}

bool RecorderApp::StartOnly(const LaunchOptions& options) {
  Release();
  lastError_.clear();
  std::string exe = options.exePath.empty() ? RecorderExePath() : WindowsPath(options.exePath);
  std::vector<std::pair<std::string, std::string>> changes;
  for (const auto& change : options.environment) changes.push_back(change);
  std::string environment = EnvironmentBlock(changes);
  std::string commandLine = "\"" + exe + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  std::string folder = WindowsPath(options.workingDirectory);
  if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                      environment.data(), folder.empty() ? nullptr : folder.c_str(), &startup,
                      &processInformation_)) {
    lastError_ =
        "CreateProcess failed for " + exe + " (error " + std::to_string(GetLastError()) + ")";
    processInformation_ = {};
    return false;
  }
  return true;
}

bool RecorderApp::Start(const LaunchOptions& options) {
  return StartOnly(options) && WaitForMainWindow(options.startTimeoutMs);
}

HWND RecorderApp::FindMainWindow() const {
  for (HWND window : TopLevelWindows()) {
    if (IsDialogOf(window, processId()) && IsWindowVisible(window) &&
        GetWindow(window, GW_OWNER) == nullptr &&
        WindowText(window).rfind("Audio Recorder", 0) == 0) {
      return window;
    }
  }
  return nullptr;
}

bool RecorderApp::WaitForMainWindow(DWORD timeoutMs) {
  if (!processInformation_.hProcess) {
    lastError_ = "no program started";
    return false;
  }
  bool found = PollUntil(timeoutMs, [&] {
    mainWindow_ = FindMainWindow();
    return mainWindow_ != nullptr || HasExited();
  });
  if (!found || !mainWindow_) {
    lastError_ = HasExited() ? "the program ended before its window appeared"
                             : "the window \"Audio Recorder\" did not appear";
    return false;
  }
  WaitForInputIdle(processInformation_.hProcess, timeoutMs);
  if (!InstallHook()) return false;
  if (!Sync(timeoutMs)) {
    lastError_ = "the program does not answer";
    return false;
  }
  return true;
}

bool RecorderApp::InstallHook() {
  std::string hookPath = WindowsPath(RECORDER_DRIVER_HOOK);
  if (!hookModule_) hookModule_ = LoadLibraryA(hookPath.c_str());
  if (!hookModule_) {
    lastError_ = "cannot load " + hookPath;
    return false;
  }
  auto procedure = reinterpret_cast<HOOKPROC>(
      reinterpret_cast<void*>(GetProcAddress(hookModule_, "RecorderDriverGetMessageHook")));
  if (!procedure) {
    procedure = reinterpret_cast<HOOKPROC>(
        reinterpret_cast<void*>(GetProcAddress(hookModule_, "RecorderDriverGetMessageHook@12")));
  }
  if (!procedure) {
    lastError_ = "the hook DLL has no hook procedure";
    return false;
  }
  char name[64];
  menu_hook::MappingName(name, processId());
  if (!replyMapping_) {
    replyMapping_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                       sizeof(menu_hook::Reply), name);
    if (replyMapping_) replyView_ = MapViewOfFile(replyMapping_, FILE_MAP_ALL_ACCESS, 0, 0, 0);
  }
  menu_hook::EventName(name, processId());
  if (!replyEvent_) replyEvent_ = CreateEventA(nullptr, FALSE, FALSE, name);
  DWORD thread = GetWindowThreadProcessId(mainWindow_, nullptr);
  hook_ = SetWindowsHookExA(WH_GETMESSAGE, procedure, hookModule_, thread);
  if (!replyView_ || !replyEvent_ || !hook_) {
    lastError_ = "cannot install the menu hook";
    return false;
  }
  return true;
}

void RecorderApp::RemoveHook() {
  if (hook_) UnhookWindowsHookEx(hook_);
  hook_ = nullptr;
}

bool RecorderApp::RestoreHook() {
  return hook_ || InstallHook();
}

bool RecorderApp::Query(int kind, int index, DWORD timeoutMs, std::vector<MenuItem>* items) {
  if (!hook_ || !mainWindow_ || !replyView_) return false;
  static const UINT query = RegisterWindowMessageA(menu_hook::kQueryMessage);
  auto* reply = static_cast<menu_hook::Reply*>(replyView_);
  DWORD sequence = ++sequence_;
  ResetEvent(replyEvent_);
  if (!PostMessageA(mainWindow_, query, static_cast<WPARAM>(kind | (index << 8)), sequence)) {
    return false;
  }
  bool answered = false;
  DWORD start = GetTickCount();
  while (GetTickCount() - start < timeoutMs) {
    WaitForSingleObject(replyEvent_, 50);
    if (InterlockedCompareExchange(reinterpret_cast<volatile LONG*>(&reply->sequence), 0, 0) ==
        static_cast<LONG>(sequence)) {
      answered = true;
      break;
    }
    if (HasExited()) break;
  }
  if (!answered || !reply->found) return false;
  if (items) {
    items->clear();
    for (LONG i = 0; i < reply->count && i < menu_hook::kMaxItems; ++i) {
      const menu_hook::Item& item = reply->items[i];
      items->push_back({item.id, item.type, item.state, item.popup != 0,
                        std::string(item.text, strnlen(item.text, menu_hook::kMaxText))});
    }
  }
  return true;
}

bool RecorderApp::Sync(DWORD timeoutMs) {
  return Query(menu_hook::kSync, 0, timeoutMs, nullptr);
}

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

std::vector<MenuItem> RecorderApp::ReadMenu(MenuKind menu, DWORD timeoutMs) {
  std::vector<MenuItem> items;
  bool ok = false;
  switch (menu) {
    case MenuKind::File:
      ok = Query(menu_hook::kSubmenu, 0, timeoutMs, &items);
      break;
    case MenuKind::Help:
      ok = Query(menu_hook::kSubmenu, 1, timeoutMs, &items);
      break;
    case MenuKind::Bar:
      ok = Query(menu_hook::kMenuBar, 0, timeoutMs, &items);
      break;
    case MenuKind::System:
      ok = Query(menu_hook::kSystem, 0, timeoutMs, &items);
      break;
  }
  if (!ok) items.clear();
  return items;
}

std::optional<MenuItem> RecorderApp::FindMenuItem(UINT id, MenuKind menu) {
  for (const MenuItem& item : ReadMenu(menu)) {
    if (item.id == id && !item.separator()) return item;
  }
  return std::nullopt;
}

std::vector<HWND> RecorderApp::Dialogs() const {
  std::vector<HWND> dialogs;
  if (!processInformation_.hProcess) return dialogs;
  for (HWND window : TopLevelWindows()) {
    if (window != mainWindow_ && IsDialogOf(window, processId()) && IsWindowVisible(window)) {
      dialogs.push_back(window);
    }
  }
  return dialogs;
}

HWND RecorderApp::WaitForDialog(const std::string& caption, DWORD timeoutMs) const {
  return WaitForDialogThat(*this, timeoutMs, [&](HWND dialog) {
    return caption.empty() || WindowText(dialog) == caption;
  });
}

bool RecorderApp::WaitForWindowGone(HWND window, DWORD timeoutMs) {
  return PollUntil(timeoutMs, [&] { return !IsWindow(window) || !IsWindowVisible(window); });
}

bool RecorderApp::PressDialogButton(HWND dialog, int id, DWORD timeoutMs) {
  if (!dialog || !IsWindow(dialog)) return false;
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
  return WaitForWindowGone(dialog, timeoutMs);
}

namespace {
// A message box: a dialog with the text static 0xFFFF and the icon static (1088 under Wine,
// 20 under Windows). Other dialogs' unnamed statics have the id 0xFFFF too, the main window's
// and the About box's among them.
bool IsMessageBox(HWND dialog) {
  return GetDlgItem(dialog, kMessageTextId) != nullptr &&
         (GetDlgItem(dialog, kWineMessageIconId) != nullptr ||
          GetDlgItem(dialog, kWindowsMessageIconId) != nullptr) &&
         GetDlgItem(dialog, kFileNameControlId) == nullptr;
}
}  // namespace

std::optional<MessageBoxInfo> RecorderApp::WaitForMessageBox(const std::string& caption,
                                                             DWORD timeoutMs) const {
  std::optional<MessageBoxInfo> found;
  PollUntil(timeoutMs, [&] {
    for (HWND dialog : Dialogs()) {
      if (!IsMessageBox(dialog)) continue;
      std::string title = WindowText(dialog);
      if (!caption.empty() && title != caption) continue;
      found = MessageBoxInfo{dialog, title, DialogItemText(dialog, kMessageTextId)};
      return true;
    }
    return HasExited();
  });
  return found;
}

bool RecorderApp::PressOk(HWND box, DWORD timeoutMs) {
  return PressDialogButton(box, IDOK, timeoutMs);
}

std::optional<MessageBoxInfo> RecorderApp::AcknowledgeMessageBox(const std::string& caption,
                                                                 DWORD timeoutMs) {
  auto box = WaitForMessageBox(caption, timeoutMs);
  if (!box || !PressOk(box->window, timeoutMs)) return std::nullopt;
  return box;
}

bool RecorderApp::NoMessageBoxWithin(DWORD waitMs) const {
  return !WaitForMessageBox({}, waitMs).has_value();
}

HWND RecorderApp::WaitForFileDialog(DWORD timeoutMs) const {
  return WaitForDialogThat(*this, timeoutMs, [](HWND dialog) {
    return GetDlgItem(dialog, kFileNameControlId) != nullptr;
  });
}

namespace {
HWND FileNameEdit(HWND dialog) {
  HWND field = GetDlgItem(dialog, kFileNameControlId);
  if (!field) return nullptr;
  if (lstrcmpiA(ClassName(field).c_str(), "Edit") == 0) return field;
  for (HWND child : Descendants(field)) {
    if (lstrcmpiA(ClassName(child).c_str(), "Edit") == 0) return child;
  }
  return field;
}
}  // namespace

bool RecorderApp::OpenThroughDialog(const std::string& path, DWORD timeoutMs) {
  PostCommand(IDM_OPEN, 0, nullptr, false);
  return AnswerFileDialog(path, timeoutMs) && Sync(timeoutMs);
}

bool RecorderApp::AnswerFileDialog(const std::string& path, DWORD timeoutMs) {
  HWND dialog = WaitForFileDialog(timeoutMs);
  if (!dialog) return false;
  HWND edit = FileNameEdit(dialog);
  if (!edit) return false;
  const std::wstring text = Widen(path);
  SendWithTimeoutW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  return PressDialogButton(dialog, IDOK, timeoutMs);
}

bool RecorderApp::CancelFileDialog(DWORD timeoutMs) {
  HWND dialog = WaitForFileDialog(timeoutMs);
  return dialog && PressDialogButton(dialog, IDCANCEL, timeoutMs);
}

HWND RecorderApp::WaitForFormatChooser(DWORD timeoutMs) const {
  return WaitForDialogThat(*this, timeoutMs, [](HWND dialog) {
    return GetDlgItem(dialog, kChooserTagId) && GetDlgItem(dialog, kChooserAttributesId);
  });
}

namespace {
FormatChooserInfo DescribeChooser(HWND dialog) {
  FormatChooserInfo info;
  info.window = dialog;
  info.name = ComboText(GetDlgItem(dialog, kChooserNameId));
  HWND tags = GetDlgItem(dialog, kChooserTagId);
  HWND attributes = GetDlgItem(dialog, kChooserAttributesId);
  info.tag = SelectedComboItem(tags);
  info.attributes = SelectedComboItem(attributes);
  info.tags = ComboItems(tags);
  info.attributeChoices = ComboItems(attributes);
  return info;
}
}  // namespace

std::optional<FormatChooserInfo> RecorderApp::ReadFormatChooser(DWORD timeoutMs) const {
  HWND dialog = WaitForFormatChooser(timeoutMs);
  if (!dialog) return std::nullopt;
  return DescribeChooser(dialog);
}

std::optional<FormatChooserInfo> RecorderApp::AnswerFormatChooser(const std::string& tag,
                                                                  int attributeIndex,
                                                                  DWORD timeoutMs) {
  HWND dialog = WaitForFormatChooser(timeoutMs);
  if (!dialog) return std::nullopt;
  if (!tag.empty() && !SelectComboText(dialog, kChooserTagId, tag)) return std::nullopt;
  if (attributeIndex >= 0 && !SelectComboItem(dialog, kChooserAttributesId, attributeIndex)) {
    return std::nullopt;
  }
  FormatChooserInfo chosen = DescribeChooser(dialog);
  if (!PressDialogButton(dialog, IDOK, timeoutMs)) return std::nullopt;
  return chosen;
}

std::optional<FormatChooserInfo> RecorderApp::AnswerFormatChooserByText(
    const std::string& tag, const std::string& attributes, DWORD timeoutMs) {
  HWND dialog = WaitForFormatChooser(timeoutMs);
  if (!dialog) return std::nullopt;
  if (!tag.empty() && !SelectComboText(dialog, kChooserTagId, tag)) return std::nullopt;
  auto choices = ComboItems(GetDlgItem(dialog, kChooserAttributesId));
  for (std::size_t i = choices.size(); i-- > 0;) {
    if (choices[i].rfind(attributes, 0) == 0)
      return AnswerFormatChooser({}, static_cast<int>(i), timeoutMs);
  }
  return std::nullopt;
}

bool RecorderApp::CancelFormatChooser(DWORD timeoutMs) {
  HWND dialog = WaitForFormatChooser(timeoutMs);
  return dialog && PressDialogButton(dialog, IDCANCEL, timeoutMs);
}

HWND RecorderApp::PropertySheetPage(HWND sheet) {
  return reinterpret_cast<HWND>(SendWithTimeoutA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
}

bool RecorderApp::PressPropertySheetOk(HWND sheet, DWORD timeoutMs) {
  if (!sheet || !IsWindow(sheet)) return false;
  PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
  return WaitForWindowGone(sheet, timeoutMs);
}

void RecorderApp::Close() {
  if (mainWindow_) PostMessageA(mainWindow_, WM_CLOSE, 0, 0);
}

std::optional<DWORD> RecorderApp::WaitForExit(DWORD timeoutMs) {
  if (!processInformation_.hProcess) return std::nullopt;
  if (WaitForSingleObject(processInformation_.hProcess, timeoutMs) != WAIT_OBJECT_0) {
    return std::nullopt;
  }
  DWORD code = 0;
  if (!GetExitCodeProcess(processInformation_.hProcess, &code)) return std::nullopt;
  return code;
}

bool RecorderApp::HasExited() const {
  return processInformation_.hProcess &&
         WaitForSingleObject(processInformation_.hProcess, 0) == WAIT_OBJECT_0;
}

void RecorderApp::Kill() {
  if (processInformation_.hProcess && !HasExited()) {
    TerminateProcess(processInformation_.hProcess, 99);
    WaitForSingleObject(processInformation_.hProcess, 5000);
  }
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
