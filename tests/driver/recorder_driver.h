// End-to-end driver: starts the real AudioRecorder.exe and works its window from outside, the
// way a user would, for tests that link the static library `recorder_driver`:
//
//   target_link_libraries(<your test exe> PRIVATE recorder_driver)
//
//   RecorderApp app;
//   ASSERT_TRUE(app.Start()) << app.LastError();
//   EXPECT_EQ(app.ControlText(IDC_POSITION), "00:00.0");
//   app.PostCommand(IDM_NEW);                    // commands that open dialogs are posted
//   ASSERT_TRUE(app.AnswerFileDialog(folder.file("take.wav")));
//   ASSERT_TRUE(app.AnswerFormatChooser());      // "Sound Selection", default format
//   ASSERT_TRUE(app.ClickButton(IDC_RECORD));
//   ...
//   app.Close();
//   EXPECT_EQ(app.WaitForExit(), 0u);
//
// Every wait is bounded (the timeouts below, in milliseconds); a failed expectation returns
// false, an empty optional or an empty value instead of hanging. A RecorderApp that is destroyed
// while its program still runs ends the program (TerminateProcess), so a failing test never
// leaves a process behind.
//
// Texts (captions, control texts, menu texts, paths) are UTF-8 strings, whatever this test
// program's own code page: the program runs with UTF-8 as its code page.
//
// Threading: use a RecorderApp from one thread. Menus are read inside the program through a
// WH_GETMESSAGE hook DLL (recorder_menu_hook.dll, built beside the program): Wine does not let
// one process read another's menus.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace recorder_driver {

inline constexpr DWORD kDefaultTimeoutMs = 10000;

// The program inherits the test's Unix environment, which is what ALSA reads: its devices are
// those of the test executable's profile (recorder_add_test ... PROFILE nocapture|fast|file|
// paced16|paced8) and its playback goes to the test executable's RECORDER_PLAYBACK_FILE
// (support/playback_file.h). Under Wine a child's environment block reaches only its Windows
// side, so these cannot be chosen per start: put tests that need other devices into another
// test executable.
struct LaunchOptions {
  // Further environment variables for the program's Windows side (added or replaced).
  std::vector<std::pair<std::string, std::string>> environment;
  // The program; empty means the AudioRecorder.exe of this build.
  std::string exePath;
  // Working folder of the program; empty: the test's.
  std::string workingDirectory;
  // How long to wait for the main window.
  DWORD startTimeoutMs = 20000;
};

struct MenuItem {
  UINT id = 0;     // command id (0 for popups without an id)
  UINT type = 0;   // MFT_* flags (MFT_SEPARATOR, MFT_STRING, ...)
  UINT state = 0;  // MFS_* flags (MFS_GRAYED, MFS_DISABLED, MFS_CHECKED, ...)
  bool popup = false;
  std::string text;
  bool separator() const { return (type & MFT_SEPARATOR) != 0; }
  bool grayed() const { return (state & MFS_GRAYED) == MFS_GRAYED; }
  bool disabled() const { return (state & (MFS_GRAYED | MFS_DISABLED)) != 0; }
  bool enabled() const { return !disabled(); }
};

struct MessageBoxInfo {
  HWND window = nullptr;
  std::string caption;
  std::string text;  // the static 0xFFFF
};

struct FormatChooserInfo {
  HWND window = nullptr;
  std::string name;        // combo 100
  std::string tag;         // combo 101, current selection
  std::string attributes;  // combo 102, current selection
  std::vector<std::string> tags;
  std::vector<std::string> attributeChoices;
};

struct SliderInfo {
  bool found = false;
  int min = 0;
  int max = 0;
  int pos = 0;
  bool enabled = false;
};

// Menus that ReadMenu can return.
enum class MenuKind {
  File,    // first submenu of the menu bar
  Help,    // second submenu
  Bar,     // the menu bar's own items
  System,  // the window's system menu
};

class RecorderApp {
 public:
  RecorderApp() = default;
  ~RecorderApp();
  RecorderApp(const RecorderApp&) = delete;
  RecorderApp& operator=(const RecorderApp&) = delete;

  // Starts the program and waits for its main window ("Audio Recorder...", class #32770) and
  // until it is idle. False (with the reason in LastError()) when it did not come up.
  bool Start(const LaunchOptions& options = {});
  // Starts the program without waiting for a window (for starts that are expected to fail).
  bool StartOnly(const LaunchOptions& options = {});
  // Waits for the main window of a program started with StartOnly.
  bool WaitForMainWindow(DWORD timeoutMs = kDefaultTimeoutMs);

  DWORD processId() const { return processInformation_.dwProcessId; }
  HANDLE process() const { return processInformation_.hProcess; }
  HWND mainWindow() const { return mainWindow_; }
  const std::string& LastError() const { return lastError_; }

  // True once every message posted to the program before this call has been handled (it works
  // through the hook, so it also passes while a modal dialog of the program runs).
  bool Sync(DWORD timeoutMs = kDefaultTimeoutMs);

  // ---- Commands -------------------------------------------------------------------------
  // A click on a transport button (800-804) as the user makes it: only when the button exists
  // and is enabled; posts WM_COMMAND/BN_CLICKED and syncs. False when it could not click.
  bool ClickButton(int id);
  // Posts WM_COMMAND with the id and notification code, whatever the control states, and
  // syncs unless `sync` is false (pass false for commands that open a modal dialog when you
  // want to go on at once; Sync also passes while the dialog runs, so true is fine as well).
  void PostCommand(UINT id, WORD notification = 0, HWND control = nullptr, bool sync = true);
  // A menu choice as the user makes it: only when the item is in the menu and enabled.
  bool ChooseMenuItem(UINT id, MenuKind menu = MenuKind::File);
  // Posts a message to the main window and syncs.
  void PostToMain(UINT message, WPARAM wParam, LPARAM lParam);
  // Types a key as the user does (SendInput, with Ctrl held when `control`) into the main
  // window, brought to the front first; syncs. False when the input could not be sent.
  bool PressKey(WORD virtualKey, bool control = true);

  // ---- Reading the window ---------------------------------------------------------------
  std::string Caption() const;
  std::string ControlText(int id) const;  // GetDlgItemTextW, as UTF-8
  HWND Control(int id) const;
  bool IsControlEnabled(int id) const;  // false also when the control does not exist
  bool IsMinimized() const;
  RECT WindowRect() const;

  // The slider: the one child of class msctls_trackbar32.
  HWND SliderWindow() const;
  SliderInfo Slider() const;
  // Moves the slider as a drag would: TBM_SETPOS, then WM_HSCROLL TB_THUMBTRACK and
  // TB_ENDTRACK to the main window; syncs.
  bool MoveSlider(int position);

  // Menu items read inside the program. Empty when the menu could not be read.
  std::vector<MenuItem> ReadMenu(MenuKind menu = MenuKind::File, DWORD timeoutMs = 5000);
  std::optional<MenuItem> FindMenuItem(UINT id, MenuKind menu = MenuKind::File);

  // ---- Dialogs of the program (top-level #32770 windows of its process) ------------------
  // The first visible dialog of the program other than the main window, or the first with
  // exactly this caption.
  HWND WaitForDialog(const std::string& caption = {}, DWORD timeoutMs = kDefaultTimeoutMs) const;
  // The dialogs of the program other than the main window, now.
  std::vector<HWND> Dialogs() const;
  static std::string WindowText(HWND window);
  static std::string DialogItemText(HWND dialog, int id);
  static bool WaitForWindowGone(HWND window, DWORD timeoutMs = kDefaultTimeoutMs);
  // Posts a button click (WM_COMMAND id/BN_CLICKED) to a dialog and waits until it closes.
  static bool PressDialogButton(HWND dialog, int id, DWORD timeoutMs = kDefaultTimeoutMs);

  // Message boxes: a dialog with the text static 0xFFFF and the icon static. Empty caption:
  // any caption.
  std::optional<MessageBoxInfo> WaitForMessageBox(const std::string& caption = {},
                                                  DWORD timeoutMs = kDefaultTimeoutMs) const;
  // Presses OK (id 1) and waits until the box is gone.
  static bool PressOk(HWND box, DWORD timeoutMs = kDefaultTimeoutMs);
  // Waits for a message box, presses OK and returns what it showed.
  std::optional<MessageBoxInfo> AcknowledgeMessageBox(const std::string& caption = {},
                                                      DWORD timeoutMs = kDefaultTimeoutMs);
  // True when no message box of the program shows within `waitMs`.
  bool NoMessageBoxWithin(DWORD waitMs) const;

  // Open and Save dialogs (they have the file-name control 0x47C).
  HWND WaitForFileDialog(DWORD timeoutMs = kDefaultTimeoutMs) const;
  // Types the path into the file-name field, presses OK and waits until the dialog is gone
  // (false when it stays, for example because the dialog shows its own warning).
  bool AnswerFileDialog(const std::string& path, DWORD timeoutMs = kDefaultTimeoutMs);
  bool CancelFileDialog(DWORD timeoutMs = kDefaultTimeoutMs);
  // File Open as the user does it: the command, the path typed into its dialog, then a round
  // trip so the program has finished opening (a message box it shows is left for the caller).
  bool OpenThroughDialog(const std::string& path, DWORD timeoutMs = kDefaultTimeoutMs);

  // The format chooser (Wine's caption is "Sound Selection").
  HWND WaitForFormatChooser(DWORD timeoutMs = kDefaultTimeoutMs) const;
  std::optional<FormatChooserInfo> ReadFormatChooser(DWORD timeoutMs = kDefaultTimeoutMs) const;
  // Optionally picks a format tag by its text and an attribute line by index (-1: leave), then
  // presses OK; returns what was selected at that moment, empty on failure.
  std::optional<FormatChooserInfo> AnswerFormatChooser(const std::string& tag = {},
                                                       int attributeIndex = -1,
                                                       DWORD timeoutMs = kDefaultTimeoutMs);
  // Picks the (last) attribute line that starts with `attributes` instead of an index (Wine's
  // lines go on with the byte rate).
  std::optional<FormatChooserInfo> AnswerFormatChooserByText(const std::string& tag,
                                                             const std::string& attributes,
                                                             DWORD timeoutMs = kDefaultTimeoutMs);
  bool CancelFormatChooser(DWORD timeoutMs = kDefaultTimeoutMs);

  // A property sheet's current page (PSM_GETCURRENTPAGEHWND) and closing with OK.
  static HWND PropertySheetPage(HWND sheet);
  static bool PressPropertySheetOk(HWND sheet, DWORD timeoutMs = kDefaultTimeoutMs);

  // ---- Ending ---------------------------------------------------------------------------
  // Posts WM_CLOSE (the close box).
  void Close();
  // Waits for the program to end; its exit code, or empty on timeout.
  std::optional<DWORD> WaitForExit(DWORD timeoutMs = kDefaultTimeoutMs);
  bool HasExited() const;
  // Ends the program at once (no clean shutdown).
  void Kill();

  // Takes the menu hook out of the program, so that what is measured meanwhile is the program's
  // own cost, and puts it back; Sync and the menu and dialog queries need it in.
  void RemoveHook();
  bool RestoreHook();

  // Saves the main window (or `window`) as it shows on screen, as a 24-bit BMP file.
  bool Screenshot(const std::string& bmpPath, HWND window = nullptr) const;

 private:
  bool Query(int kind, int index, DWORD timeoutMs, std::vector<MenuItem>* items);
  bool InstallHook();
  void Release();
  HWND FindMainWindow() const;

  PROCESS_INFORMATION processInformation_{};
  HWND mainWindow_ = nullptr;
  HHOOK hook_ = nullptr;
  HMODULE hookModule_ = nullptr;
  HANDLE replyMapping_ = nullptr;
  void* replyView_ = nullptr;
  HANDLE replyEvent_ = nullptr;
  DWORD sequence_ = 0;
  std::string lastError_;
};

// The AudioRecorder.exe of this build, as a Windows path.
std::string RecorderExePath();
// Converts between Windows paths and the Unix paths that ALSA profiles and scripts use.
std::string UnixPath(const std::string& windowsPath);
std::string WindowsPath(const std::string& unixOrWindowsPath);

}  // namespace recorder_driver
