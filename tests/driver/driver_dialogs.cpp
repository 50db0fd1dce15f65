// The program's dialogs as the driver finds and answers them: message boxes, the Open and Save
// dialogs, the format chooser and property sheets.
#include "recorder_driver.h"

#include <commctrl.h>
#include <prsht.h>

#include "resources/resource.h"
#include "support/poll.h"
#include "window_access.h"

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

}  // namespace

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

}  // namespace recorder_driver
