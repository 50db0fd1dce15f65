// Runs on the window's thread only: the engine's callbacks post to the window instead of
// calling here, so SetWindowTextA and EnableWindow never wait on another thread.
#include "state/display.h"

#include <commctrl.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "resources/resource.h"
#include "state/context.h"
#include "state/current_format.h"

namespace {

constexpr char AppTitle[] = "Audio Recorder";
constexpr UINT MenuEnabled = MF_BYCOMMAND | MF_ENABLED;
constexpr UINT MenuDisabled = MF_BYCOMMAND | MF_GRAYED | MF_DISABLED;

void EnableButton(UINT id, bool enabled) {
  EnableWindow(g_controls.buttons[id - IDC_REWIND], enabled);
}

// The three status texts change on every tick of a recording or playback. Under Wine each
// lookup of a control by its id and each text set is a round trip to the server, and a set
// also repaints the control: the control is looked up once per window, and a text is set only
// when the control does not already show it (read back from the control itself, so a text put
// there by anyone else is still replaced).
struct StatusText {
  int id;
  HWND window = nullptr;
  HWND control = nullptr;
};
StatusText g_statusTexts[] = {{IDC_POSITION}, {IDC_LENGTH}, {IDC_DATASIZE}};

void SetStatusText(HWND window, StatusText& status, const char* text) {
  if (status.window != window || !IsWindow(status.control))
    status = {status.id, window, GetDlgItem(window, status.id)};
  char shown[32];
  if (GetWindowTextA(status.control, shown, sizeof shown) > 0 && std::strcmp(shown, text) == 0)
    return;
  SetWindowTextA(status.control, text);
}

void EnableCommand(HMENU menu, UINT id, bool enabled) {
  // Recent-file ids not in the menu make EnableMenuItem fail harmlessly.
  if (menu) EnableMenuItem(menu, id, enabled ? MenuEnabled : MenuDisabled);
}

}  // namespace

void UpdateControlStates(HWND window) {
  const RecorderState state = g_context.state;
  const bool idle = state == RecorderState::Idle;
  const bool hasData = g_context.dataSize != 0;
  const bool loaded = g_context.fileLoaded;

  EnableButton(IDC_STOP, !idle);
  EnableButton(IDC_REWIND, idle && hasData);
  EnableButton(IDC_FORWARD, idle && hasData);
  EnableButton(IDC_RECORD, idle && loaded);
  EnableButton(IDC_PLAY, hasData && idle);
  EnableWindow(g_controls.slider, state != RecorderState::Recording && loaded);
  if (g_afterControlStates) g_afterControlStates();

  const HMENU menu = GetMenu(window);
  EnableCommand(menu, IDM_PROPERTIES, loaded && idle);
  EnableCommand(menu, IDM_OPEN, idle);
  EnableCommand(menu, IDM_NEW, idle);
  for (int i = 1; i <= IDM_RECENT_COUNT; ++i) EnableCommand(menu, IDM_RECENT_BASE + i, idle);
}

int BytesToTenths(DWORD bytes) {
  const DWORD rate = CurrentFormat ? CurrentFormat->nAvgBytesPerSec : 0;
  if (rate == 0) return 0;
  // volatile forces each step to be rounded to double, as the x87 unit would otherwise
  // keep extra precision and change results at exact tenth boundaries.
  volatile double seconds = static_cast<double>(bytes) / static_cast<double>(rate);
  volatile double tenths = seconds * 10.0;
  const auto whole = static_cast<int64_t>(tenths);
  return static_cast<int>(static_cast<uint32_t>(whole));
}

void FormatTime(int tenths, char* text) {
  const int seconds = tenths / 10;
  const int withinHour = seconds % 3600;
  wsprintfA(text, "%02d:%02d.%d", withinHour / 60, withinHour % 60, tenths % 10);
}

DWORD SliderBytePosition() {
  return static_cast<DWORD>(SliderMessage(TBM_GETPOS, 0)) * CurrentBlockAlign();
}

void ShowPosition(HWND window, DWORD byteOffset) {
  char text[16];
  FormatTime(BytesToTenths(byteOffset), text);
  SetStatusText(window, g_statusTexts[0], text);
}

void ShowLength(HWND window, DWORD byteCount) {
  char text[16];
  FormatTime(BytesToTenths(byteCount), text);
  SetStatusText(window, g_statusTexts[1], text);
}

void FormatDataSize(DWORD byteCount, char* text, size_t size) {
  // Kilobytes with one decimal, rounded half up on the exact value; done in integers
  // because printf rounds binary halves (0.25) to even.
  const uint64_t tenthsOfKb = (static_cast<uint64_t>(byteCount) * 10 + 512) / 1024;
  char number[24];
  std::snprintf(number, sizeof number, "%llu.%llu",
                static_cast<unsigned long long>(tenthsOfKb / 10),
                static_cast<unsigned long long>(tenthsOfKb % 10));
  std::snprintf(text, size, "%7s KB", number);
}

void ShowDataSize(HWND window, DWORD byteCount) {
  char text[32];
  FormatDataSize(byteCount, text, sizeof text);
  SetStatusText(window, g_statusTexts[2], text);
}

void ShowFileTitle(HWND window) {
  // Large enough for the longest title, so a long name is never cut.
  char caption[sizeof AppTitle + 3 + sizeof g_context.fileTitle];
  std::snprintf(caption, sizeof caption, "%s - %s", AppTitle, g_context.fileTitle);
  SetWindowTextA(window, caption);
}

void ShowNoFileTitle(HWND window) {
  SetWindowTextA(window, AppTitle);
}
