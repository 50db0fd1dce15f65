// The Open and Save dialogs asked in UTF-16: the real bindings of sys.GetOpenFileNameA and
// sys.GetSaveFileNameA. Called on the window's thread; the dialogs run their own modal loop.
#pragma once

#include <windows.h>
#include <commdlg.h>

// The A calls' contract for the fields the program fills (owner, filter and its index, file and
// title buffers, flags, default extension); nFileOffset and nFileExtension are left 0. The name
// chosen comes back in the process's code page (sys.GetACP), never mapped by best fit: where
// the code page lacks one of its characters the name holds '?' for it (NarrowText). A name
// longer than the caller's buffer fails the call, as the A dialogs do.
BOOL WINAPI OpenFileDialogInUtf16(LPOPENFILENAMEA record);
BOOL WINAPI SaveFileDialogInUtf16(LPOPENFILENAMEA record);
