// The entry point. Its thread becomes the window's thread: the main dialog runs on it.
#include <windows.h>

#include "app/main_dialog.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  return RunRecorder(instance);
}
