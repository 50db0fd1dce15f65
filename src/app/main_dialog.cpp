// Everything here runs on the dialog's thread; the device callbacks reach the window only
// through posted WM_ENGINE_NOTIFY messages.
#include "app/main_dialog.h"

#include <commctrl.h>

#include <climits>

#include "app/accelerators.h"
#include "state/context.h"
#include "state/display.h"
#include "app/main_layout.h"
#include "app/open_recent.h"
#include "app/placement.h"
#include "state/report.h"
#include "app/transport_tips.h"
#include "engine/buffer_pool.h"
#include "engine/engine_notify.h"
#include "engine/player.h"
#include "engine/recorder.h"
#include "platform/services.h"
#include "recent/recent_list.h"
#include "resources/resource.h"
#include "ui/glyph_buttons.h"
#include "ui/properties.h"
#include "wave/format.h"
#include "wave/wave_file.h"

namespace {

// Each entry holds any path the file dialogs return.
constexpr WORD RecentEntrySize = static_cast<WORD>(PathTextSize);
constexpr UINT RecentFirstCommand = IDM_RECENT_BASE + 1;
constexpr UINT RecentLastCommand = IDM_RECENT_BASE + RecentListSize;

// An accelerator's WM_COMMAND carries notification code 1 and no control.
constexpr WORD AcceleratorNotification = 1;

// The audio part of start-up; 0 when every step succeeded.
int StartAudio(HWND window) {
  if (InitFormat(window) != 0) return -1;
  if (sys.waveInGetNumDevs() == 0)
    return ReportError(window, "No wave audio recording devices found.", -2);
  if (AllocAudioBuffers(window) != 0) return -3;
  return 0;
}

void ReleaseAudioMemory() {
  FreeFormat();
  FreeAudioBuffers();
}

}  // namespace

int RunRecorder(HINSTANCE instance) {
  g_instance = instance;
  InitButtonDrawing();
  InitCommonControls();
  DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDialogProc, 0);
  return 0;
}

INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return InitMainDialog(window);
    case WM_COMMAND:
      // File Exit is the close box's twin, busy or not: both only ask the message loop to end.
      // A box or dialog running meanwhile hands that request outwards as it closes, so the
      // work under way finishes first and the shutdown (which finishes a recording) follows.
      if (wParam == IDM_EXIT) {
        PostQuitMessage(0);
        return 1;
      }
      // A start or stop, Open or New show message boxes and dialogs (some without an owner,
      // so the window stays enabled): nothing may run inside them, least of all Open or New,
      // nor anything on a file that is only half made current.
      if (EngineBusy() || FileOperationBusy()) return 1;
      if (HIWORD(wParam) == AcceleratorNotification && lParam == 0)
        HandleAcceleratorCommand(window, LOWORD(wParam));
      else
        DispatchCommand(window, wParam);
      return 1;
    case WM_TIMER:
      HandleTimer(window, wParam);
      return 0;
    case WM_HSCROLL:
    case WM_VSCROLL:
      HandleSliderScroll(window, wParam);
      return 1;
    case WM_DRAWITEM:
      DrawGlyphButton(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      return 0;
    case WM_NOTIFY:
      AnswerTipTextRequest(window, reinterpret_cast<NMHDR*>(lParam));
      return 0;
    case WM_ACTIVATE:
      // A message box, a dialog or another program comes to the front.
      if (LOWORD(wParam) == WA_INACTIVE) HideTransportTip();
      return 0;
    case WM_ENABLE:
      // A modal box that this window owns is about to show.
      if (!wParam) HideTransportTip();
      return 0;
    case WM_CLOSE:
      PostQuitMessage(0);
      return 1;
    case WM_DESTROY:
      ShutdownMainDialog(window);
      return 0;
    case DpiChangedMessage:
      ApplyDpiChange(window, HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
      return 1;
    case WM_ENGINE_NOTIFY:
      HandleEngineNotify(window, wParam, lParam);
      // A playback that ended while the slider was held would otherwise leave the next
      // playback's display frozen.
      if (g_context.state != RecorderState::Playing) ClearSliderDragging();
      return 0;
  }
  return 0;
}

BOOL InitMainDialog(HWND window) {
  g_context.mainWindow = window;

  // The class's icon is what windows of the class fall back to; the main window shows its own
  // at its DPI (StartMainLayout).
  const auto module = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE));
  if (const HICON icon = LoadIconA(module, "RECICON"))
    SetClassLongPtrA(window, GCLP_HICON, reinterpret_cast<LONG_PTR>(icon));

  if (const HMENU systemMenu = GetSystemMenu(window, FALSE)) {
    EnableMenuItem(systemMenu, SC_MAXIMIZE, MF_BYCOMMAND | MF_GRAYED | MF_DISABLED);
    EnableMenuItem(systemMenu, SC_SIZE, MF_BYCOMMAND | MF_GRAYED | MF_DISABLED);
  }

  StartMainLayout(window);
  CreateControls(g_instance, window);
  LayOutMainWindow(window);
  // Placed once its size is known: only the stored place is used. That place may be on a
  // monitor of another DPI, and the window is not shown yet, so no change of DPI is announced.
  RestorePlacement(window);
  CreateTransportTips(window);
  FollowMonitorDpi(window);
  UpdateControlStates(window);

  // Without a list (memory short) the program simply runs without recent files.
  g_recentList = CreateRecentList(RecentListSize, RecentListSize, RecentEntrySize, IDM_RECENT_BASE);
  if (g_recentList) {
    LoadRecentList(g_recentList, RecentFilesKey);
    BuildRecentMenu(g_recentList, GetSubMenu(GetMenu(window), 0), IDM_EXIT);
  }

  if (StartAudio(window) == 0) {
    InstallAcceleratorHook(window);
    return 1;
  }
  ReleaseAudioMemory();
  PostQuitMessage(0);
  return 0;
}

void CreateControls(HINSTANCE instance, HWND window) {
  const UINT dpi = g_controls.dpi;
  for (int i = 0; i < 5; ++i) {
    const RECT r = ButtonRect(i, dpi);
    g_controls.buttons[i] = CreateWindowExA(
        0, "button", TransportCommands[i].name, WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, r.left, r.top,
        r.right - r.left, r.bottom - r.top, window,
        reinterpret_cast<HMENU>(static_cast<UINT_PTR>(TransportCommands[i].id)), instance, nullptr);
  }
  const RECT r = SliderRect(dpi);
  g_controls.slider = CreateWindowExA(
      0, TRACKBAR_CLASSA, "", WS_CHILD | WS_VISIBLE | TBS_NOTICKS | TBS_FIXEDLENGTH, r.left, r.top,
      r.right - r.left, r.bottom - r.top, window, nullptr, instance, nullptr);
}

void DispatchCommand(HWND window, WPARAM wParam) {
  switch (wParam) {
    case IDC_REWIND:
      SliderMessage(TBM_SETPOS, 0);
      ShowPosition(window, 0);
      return;
    case IDC_FORWARD: {
      // The block position of the end, the slider's maximum, so the thumb is drawn there.
      const DWORD size = g_context.dataSize;
      const DWORD block = BlocksInData(size);
      SliderMessage(TBM_SETPOS, block > LONG_MAX ? LONG_MAX : static_cast<LPARAM>(block));
      ShowPosition(window, size);
      return;
    }
    case IDC_PLAY:
      ClearSliderDragging();
      StartPlayback(window);
      return;
    case IDC_STOP:
      if (g_context.state == RecorderState::Recording) {
        StopRecording(window);
      } else {
        // Idle first, so buffers the device hands back while resetting are not refilled.
        g_context.state = RecorderState::Idle;
        StopPlayback(window, 1);
        ClearSliderDragging();
      }
      return;
    case IDC_RECORD:
      StartRecording(window);
      return;
    case IDM_PROPERTIES:
      ShowProperties(window);
      return;
    case IDM_EXIT:
      PostQuitMessage(0);
      return;
    case IDM_OPEN:
      if (OpenWaveFile(window, 0) >= 0) {
        EnableWindow(g_controls.buttons[IDC_PLAY - IDC_REWIND], TRUE);
        ShowPosition(window, SliderBytePosition());
      }
      return;
    case IDM_NEW:
      CreateWaveFile(window);
      return;
    case IDM_ABOUT:
      ShowAbout(window);
      return;
  }
  if (wParam >= RecentFirstCommand && wParam <= RecentLastCommand)
    OpenRecentFile(window, static_cast<UINT>(wParam));
}

void HandleSliderScroll(HWND window, WPARAM wParam) {
  if (g_context.state == RecorderState::Playing)
    g_context.sliderDragging = true;
  else
    ShowPosition(window, SliderBytePosition());

  if (wParam == TB_ENDTRACK && g_context.sliderDragging &&
      g_context.state == RecorderState::Playing) {
    SeekPlayback(window, SliderBytePosition());
    g_context.sliderDragging = false;
  }
}

void HandleTimer(HWND window, UINT_PTR timerId) {
  if (timerId == IDT_RECORD)
    RecordTick(window);
  else if (timerId == IDT_PLAY && !g_context.sliderDragging)
    PlayTick(window);
}

void ShutdownMainDialog(HWND window) {
  RemoveAcceleratorHook();
  const RecorderState state = g_context.state;
  if (state == RecorderState::Recording)
    StopRecording(window);
  else if (state == RecorderState::Playing)
    StopPlayback(window, 1);

  ReleaseAudioMemory();
  SavePlacement(window);
  if (g_recentList) {
    SaveRecentList(g_recentList, RecentFilesKey);
    FreeRecentList(g_recentList);
    g_recentList = nullptr;
  }
  PostQuitMessage(0);
}

void ClearSliderDragging() {
  g_context.sliderDragging = false;
}
