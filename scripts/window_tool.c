/* Small window helper for the scripts, working on every top-level window with exactly the
   caption given; exits 0 when it found one:
     window_tool close <caption>          posts WM_CLOSE
     window_tool command <caption> <id>   posts WM_COMMAND with that command id */
#include <windows.h>

#include <stdlib.h>
#include <string.h>

static const char* wanted;
static UINT message;
static WPARAM wParam;
static int found;

static BOOL CALLBACK PostToMatching(HWND window, LPARAM unused) {
  char caption[256];
  (void)unused;
  if (GetWindowTextA(window, caption, sizeof caption) > 0 && strcmp(caption, wanted) == 0) {
    PostMessageA(window, message, wParam, 0);
    found = 1;
  }
  return TRUE;
}

int main(int argc, char** argv) {
  if (argc == 3 && strcmp(argv[1], "close") == 0) {
    message = WM_CLOSE;
  } else if (argc == 4 && strcmp(argv[1], "command") == 0) {
    message = WM_COMMAND;
    wParam = (WPARAM)strtoul(argv[3], NULL, 10);
  } else {
    return 2;
  }
  wanted = argv[2];
  EnumWindows(PostToMatching, 0);
  return found ? 0 : 1;
}
