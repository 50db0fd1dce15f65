/* Small window helper for the scripts: `window_tool close <caption>` posts WM_CLOSE to every
   top-level window with exactly that caption and exits 0 when it found one. */
#include <windows.h>

#include <string.h>

static const char* wanted;
static int found;

static BOOL CALLBACK CloseMatching(HWND window, LPARAM unused) {
  char caption[256];
  (void)unused;
  if (GetWindowTextA(window, caption, sizeof caption) > 0 && strcmp(caption, wanted) == 0) {
    PostMessageA(window, WM_CLOSE, 0, 0);
    found = 1;
  }
  return TRUE;
}

int main(int argc, char** argv) {
  if (argc != 3 || strcmp(argv[1], "close") != 0) return 2;
  wanted = argv[2];
  EnumWindows(CloseMatching, 0);
  return found ? 0 : 1;
}
