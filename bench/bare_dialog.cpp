// The floors for the start-up comparison: the smallest program that runs a modal dialog under
// the same Wine, built from an in-memory template so it needs no resource script. It closes on
// WM_CLOSE like the recorder does. Built a second time with BARE_DIALOG_QUERIES, it first makes
// the platform queries the recorder's start-up cannot avoid: the number of wave-input devices,
// the compression manager's largest format size and the details of the default format.
#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>
#include <msacm.h>

#include <cstring>

namespace {

INT_PTR CALLBACK BareDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(window, 0);
      return TRUE;
    case WM_CLOSE:
      EndDialog(window, 0);
      return TRUE;
  }
  return FALSE;
}

// A DLGTEMPLATE with no menu, the default class, a caption and one OK button.
struct alignas(4) Template {
  WORD words[256];
};

WORD* PutText(WORD* at, const char* text) {
  do {
    *at++ = static_cast<WORD>(static_cast<unsigned char>(*text));
  } while (*text++);
  return at;
}

WORD* AlignDword(WORD* at) {
  auto address = reinterpret_cast<ULONG_PTR>(at);
  return reinterpret_cast<WORD*>((address + 3) & ~ULONG_PTR{3});
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
#ifdef BARE_DIALOG_QUERIES
  if (waveInGetNumDevs() == 0) return 1;
  DWORD maxFormatSize = 0;
  acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &maxFormatSize);
  WAVEFORMATEX pcm{WAVE_FORMAT_PCM, 1, 11025, 11025, 1, 8, 0};
  ACMFORMATDETAILSA details{};
  details.cbStruct = sizeof details;
  details.dwFormatTag = WAVE_FORMAT_PCM;
  details.pwfx = &pcm;
  details.cbwfx = sizeof pcm;
  acmFormatDetailsA(nullptr, &details, ACM_FORMATDETAILSF_FORMAT);
#endif
  static Template storage;
  std::memset(&storage, 0, sizeof storage);
  auto* dialog = reinterpret_cast<DLGTEMPLATE*>(storage.words);
  dialog->style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME | DS_CENTER |
                  WS_VISIBLE | DS_SETFONT;
  dialog->cdit = 1;
  dialog->cx = 200;
  dialog->cy = 80;
  WORD* at = reinterpret_cast<WORD*>(dialog + 1);
  *at++ = 0;  // no menu
  *at++ = 0;  // default dialog class
  at = PutText(at, "Bare Dialog");
  *at++ = 8;  // point size
  at = PutText(at, "MS Sans Serif");

  at = AlignDword(at);
  auto* button = reinterpret_cast<DLGITEMTEMPLATE*>(at);
  button->style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON;
  button->x = 75;
  button->y = 50;
  button->cx = 50;
  button->cy = 14;
  button->id = IDOK;
  at = reinterpret_cast<WORD*>(button + 1);
  *at++ = 0xFFFF;
  *at++ = 0x0080;  // button class
  at = PutText(at, "OK");
  *at++ = 0;  // no creation data

  DialogBoxIndirectParamA(instance, dialog, nullptr, BareDialogProc, 0);
  return 0;
}
