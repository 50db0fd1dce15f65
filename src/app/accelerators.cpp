// The main dialog's keys. Runs on the window's thread: the message filter hook is set for
// that thread alone, so the dialog loop calls AcceleratorFilter there.
#include "app/accelerators.h"

#include "state/context.h"
#include "app/main_dialog.h"
#include "platform/owners.h"
#include "resources/resource.h"

namespace {

using HookOwner = UniqueAny<HHOOK, &::UnhookWindowsHookEx>;

struct AcceleratorState {
  HookOwner hook;
  HACCEL table = nullptr;  // from the resources: freed with the module
  HWND window = nullptr;
};

AcceleratorState g_accelerators;

bool BelongsToMainWindow(HWND target) {
  const HWND main = g_accelerators.window;
  return target && (target == main || IsChild(main, target));
}

// Dialog's thread: called by the dialog loop for every message it is about to handle.
LRESULT CALLBACK AcceleratorFilter(int code, WPARAM wParam, LPARAM lParam) {
  if (code == MSGF_DIALOGBOX && lParam) {
    MSG* message = reinterpret_cast<MSG*>(lParam);
    // Keys typed into another dialog (About, the file dialogs, a message box) are theirs;
    // and while one of those is up the main window is disabled.
    if (g_accelerators.table && BelongsToMainWindow(message->hwnd) &&
        IsWindowEnabled(g_accelerators.window) &&
        TranslateAcceleratorA(g_accelerators.window, g_accelerators.table, message))
      return 1;
  }
  return CallNextHookEx(g_accelerators.hook.get(), code, wParam, lParam);
}

}  // namespace

void InstallAcceleratorHook(HWND window) {
  RemoveAcceleratorHook();
  const auto module = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE));
  g_accelerators.table = LoadAcceleratorsA(module, MAKEINTRESOURCEA(IDR_ACCEL));
  if (!g_accelerators.table) return;
  g_accelerators.window = window;
  g_accelerators.hook.reset(
      SetWindowsHookExA(WH_MSGFILTER, AcceleratorFilter, nullptr, GetCurrentThreadId()));
}

void RemoveAcceleratorHook() {
  g_accelerators.hook.reset();
  g_accelerators.table = nullptr;
  g_accelerators.window = nullptr;
}

bool IsCommandAvailable(HWND window, WORD commandId) {
  if (commandId >= IDC_REWIND && commandId <= IDC_RECORD) {
    const HWND button = g_controls.buttons[commandId - IDC_REWIND];
    return button && IsWindowEnabled(button);
  }
  const HMENU menu = GetMenu(window);
  if (!menu) return false;
  const UINT state = GetMenuState(menu, commandId, MF_BYCOMMAND);
  return state != static_cast<UINT>(-1) && !(state & (MF_GRAYED | MF_DISABLED));
}

void HandleAcceleratorCommand(HWND window, WORD commandId) {
  if (IsCommandAvailable(window, commandId)) DispatchCommand(window, commandId);
}
