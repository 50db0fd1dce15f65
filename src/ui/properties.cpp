// File Properties: a modal one-page sheet describing the current sound. It only shows;
// nothing here changes the context. Runs on the main dialog's thread.
#include "ui/properties.h"

#include <commctrl.h>
#include <prsht.h>

#include <cstddef>
#include <cstdio>
#include <string>

#include "state/context.h"
#include "state/display.h"
#include "resources/resource.h"
#include "wave/format.h"

namespace {

// The sheet is described in the first versions of the records, the ones that end after
// pcRefParent and pfnCallback (40 bytes each on Win32, 72 on Win64).
constexpr size_t FirstRecordSize = sizeof(void*) == 8 ? 72 : 40;
static_assert(offsetof(PROPSHEETPAGEA, pcRefParent) + sizeof(UINT*) == FirstRecordSize);
static_assert(offsetof(PROPSHEETHEADERA, pfnCallback) + sizeof(PFNPROPSHEETCALLBACK) ==
              FirstRecordSize);

HINSTANCE ResourceModule() {
  return g_instance ? g_instance : GetModuleHandleA(nullptr);
}

// The name of the sound the sheet describes: the loaded file's, not a file that a failed
// Open or New named since.
const char* SoundTitle() {
  return g_context.loadedTitle[0] ? g_context.loadedTitle : g_context.fileTitle;
}

}  // namespace

void ShowProperties(HWND window) {
  // Formed without a fixed-size area, so a long file name shows whole.
  const std::string caption = SoundTitle()[0] ? std::string("Properties for ") + SoundTitle()
                                              : std::string("Properties for Sound");

  PROPSHEETPAGEA page{};
  page.dwSize = PROPSHEETPAGEA_V1_SIZE;
  page.dwFlags = PSP_USETITLE;
  page.hInstance = ResourceModule();
  page.pszTemplate = MAKEINTRESOURCEA(IDD_DETAILS);
  page.pszIcon = nullptr;
  page.pszTitle = "Details";
  page.pfnDlgProc = DetailsPageProc;
  page.lParam = 0;

  PROPSHEETHEADERA header{};
  header.dwSize = PROPSHEETHEADERA_V1_SIZE;
  header.dwFlags = PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW;
  header.hwndParent = window;
  header.hInstance = ResourceModule();
  header.pszIcon = nullptr;
  header.pszCaption = caption.c_str();
  header.nPages = 1;
  header.ppsp = &page;

  PropertySheetA(&header);
}

INT_PTR CALLBACK DetailsPageProc(HWND page, UINT message, WPARAM, LPARAM) {
  if (message != WM_INITDIALOG) return FALSE;

  SetDlgItemTextA(page, IDC_PROP_NAME, SoundTitle()[0] ? SoundTitle() : "Sound");

  const DWORD dataSize = g_context.dataSize;
  char text[32];
  FormatTime(BytesToTenths(dataSize), text);
  SetDlgItemTextA(page, IDC_PROP_LENGTH, text);

  // Unsigned: sizes above 2 GiB must not read as negative.
  std::snprintf(text, sizeof text, "%lu bytes", static_cast<unsigned long>(dataSize));
  SetDlgItemTextA(page, IDC_PROP_SIZE, text);

  SetDlgItemTextA(page, IDC_PROP_FORMAT, FormatTagName);
  SetDlgItemTextA(page, IDC_PROP_ATTRIBUTES, FormatDetailsText);
  return TRUE;
}
