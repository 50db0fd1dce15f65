// The keys of the main dialog (IDR_ACCEL): Ctrl+N, Ctrl+O and one for each transport button.
// The modal dialog loop translates no accelerators, so a message filter hook on the dialog's
// thread does it; a key acts only while the button or menu item it stands for is enabled,
// exactly as a click could. Everything declared here runs on the dialog's thread.
#pragma once

#include <windows.h>

#include "resources/resource.h"

// The transport buttons in id order: the name is the button's window text (what screen
// readers say) and, with the key, its tooltip. The keys are those of IDR_ACCEL; they follow
// the Windows media players (Ctrl+P play, Ctrl+S stop, Ctrl+B back, Ctrl+F forward) and
// Sound Recorder (Ctrl+R record), and take no key the window already uses: the slider owns
// the arrows, Home, End and the page keys, the dialog Enter and Escape.
struct TransportCommand {
  WORD id;
  const char* name;
  const char* key;
};
inline constexpr TransportCommand TransportCommands[5] = {
    {IDC_REWIND, "Rewind", "Ctrl+B"}, {IDC_FORWARD, "Forward", "Ctrl+F"},
    {IDC_PLAY, "Play", "Ctrl+P"},     {IDC_STOP, "Stop", "Ctrl+S"},
    {IDC_RECORD, "Record", "Ctrl+R"},
};

// Both run on the dialog's thread.
void InstallAcceleratorHook(HWND window);
void RemoveAcceleratorHook();

// Whether the button or File menu item behind a command is enabled right now.
bool IsCommandAvailable(HWND window, WORD commandId);
// WM_COMMAND from an accelerator (notification code 1).
void HandleAcceleratorCommand(HWND window, WORD commandId);
