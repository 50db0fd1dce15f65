// Ctrl+N, Ctrl+O, Ctrl+P and Ctrl+R for the main dialog. The modal dialog loop translates
// no accelerators, so a message filter hook on the dialog's thread does it; a key acts only
// while the button or menu item it stands for is enabled, exactly as a click could.
#pragma once

#include <windows.h>

// Both run on the dialog's thread.
void InstallAcceleratorHook(HWND window);
void RemoveAcceleratorHook();

// Whether the button or File menu item behind a command is enabled right now.
bool IsCommandAvailable(HWND window, WORD commandId);
// WM_COMMAND from an accelerator (notification code 1).
void HandleAcceleratorCommand(HWND window, WORD commandId);
