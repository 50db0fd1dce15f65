// Opening a RIFF file by any name: the real binding of sys.mmioOpenA. Window's thread.
#pragma once

#include <windows.h>
#include <mmsystem.h>

// mmioOpenA's contract. mmioOpen reads the name it is given: a '+' in it selects an installed
// I/O procedure by the extension in front of it, and the system's own procedure opens the file
// with OpenFile, whose record holds 128 bytes, while a path in UTF-8 can take 780. So the file
// is opened here through the wide call and mmio is given the open handle (its own procedure
// takes a handle in adwInfo[0] when no name is given); mmioClose closes it.
// Names with an I/O procedure of their own, and flags other than the access, sharing, create
// and buffer ones, go to mmioOpenA unchanged.
HMMIO WINAPI OpenRiffFile(LPSTR name, LPMMIOINFO info, DWORD flags);
