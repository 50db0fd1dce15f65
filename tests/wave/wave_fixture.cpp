#include "wave_fixture.h"

#include <commctrl.h>

#include <cstring>
#include <ostream>

#include "state/context.h"
#include "app/main_dialog.h"
#include "recent/recent_list.h"
#include "resources/resource.h"
#include "support/playback_file.h"
#include "support/unix_command.h"
#include "wave/format.h"
#include "wave/wave_file.h"

// ---- sox ----

bool SoxInstalled() {
  return GetFileAttributesA("Z:\\usr\\bin\\sox") != INVALID_FILE_ATTRIBUTES;
}

bool RunSox(const std::string& arguments, const std::string& windowsOutputPath,
            const std::string& effects) {
  const std::string output = UnixPathOf(windowsOutputPath);
  if (output.empty() || output == windowsOutputPath) return false;
  const std::string part = output + ".part.wav";
  const UnixResult sox = RunUnix("/usr/bin/sox -q " + arguments + " " + ShellQuote(part) + " " +
                                 effects + " && mv " + ShellQuote(part) + " " + ShellQuote(output));
  return sox.finished && sox.exitCode == 0;
}

std::vector<BoxMoment> g_moments;
std::string g_watchedFile;

int WINAPI RecordingBox(HWND owner, LPCSTR text, LPCSTR caption, UINT) {
  HANDLE h = CreateFileA(g_watchedFile.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  const bool closed = h != INVALID_HANDLE_VALUE || GetLastError() == ERROR_FILE_NOT_FOUND;
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  g_moments.push_back({text, caption, owner, GetCursor(), closed});
  return IDOK;
}

// ---- Snapshots ----

bool operator==(const RecorderSnapshot& a, const RecorderSnapshot& b) {
  return a.fileLoaded == b.fileLoaded && a.filePath == b.filePath && a.fileTitle == b.fileTitle &&
         a.driveRoot == b.driveRoot && a.dataOffset == b.dataOffset && a.dataSize == b.dataSize &&
         a.sliderMin == b.sliderMin && a.sliderMax == b.sliderMax && a.sliderPos == b.sliderPos &&
         a.positionText == b.positionText && a.lengthText == b.lengthText &&
         a.dataSizeText == b.dataSizeText && a.caption == b.caption && a.tagName == b.tagName &&
         a.detailsText == b.detailsText && a.format == b.format &&
         std::memcmp(a.enabled, b.enabled, sizeof a.enabled) == 0 &&
         a.sliderEnabled == b.sliderEnabled && a.recent == b.recent &&
         a.fileMenuItems == b.fileMenuItems;
}

void PrintTo(const RecorderSnapshot& s, std::ostream* os) {
  *os << "{loaded " << s.fileLoaded << ", path '" << s.filePath << "', title '" << s.fileTitle
      << "', root '" << s.driveRoot << "', offset " << s.dataOffset << ", size " << s.dataSize
      << ", slider " << s.sliderMin << ".." << s.sliderMax << " @" << s.sliderPos << ", texts '"
      << s.positionText << "' '" << s.lengthText << "' '" << s.dataSizeText << "', caption '"
      << s.caption << "', tag '" << s.tagName << "', details '" << s.detailsText
      << "', format bytes " << s.format.size() << ", buttons";
  for (bool e : s.enabled) *os << ' ' << e;
  *os << ", slider enabled " << s.sliderEnabled << ", recent " << s.recent.size() << ", menu items "
      << s.fileMenuItems << "}";
}

namespace {
INT_PTR CALLBACK PlainDialogProc(HWND, UINT message, WPARAM, LPARAM) {
  return message == WM_INITDIALOG;
}
}  // namespace

void WaveFileTest::SetUp() {
  g_instance = GetModuleHandleA(nullptr);
  InitCommonControls();
  window_ = CreateDialogParamA(g_instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, PlainDialogProc, 0);
  ASSERT_NE(window_, nullptr);
  g_context.mainWindow = window_;
  CreateControls(g_instance, window_);
  ASSERT_NE(g_controls.slider, nullptr);
  ASSERT_EQ(InitFormat(nullptr), 0);
  // The platform's compression manager as the tests know it.
  ASSERT_EQ(MaxFormatSize, 50u);
  g_recentList = CreateRecentList(4, 4, 128, IDM_RECENT_BASE);
  ASSERT_NE(g_recentList, nullptr);
  boxes_.clear();
}

void WaveFileTest::TearDown() {
  if (g_recentList) FreeRecentList(g_recentList);
  g_recentList = nullptr;
  FreeFormat();
  if (window_) DestroyWindow(window_);
  RestoreRealServices();
}

Bytes WaveFileTest::FormatBytes() const {
  const auto* block = reinterpret_cast<const unsigned char*>(CurrentFormat);
  return Bytes(block, block + MaxFormatSize);
}

RecorderSnapshot WaveFileTest::Snapshot() const {
  RecorderSnapshot s{};
  s.fileLoaded = g_context.fileLoaded;
  s.filePath = g_context.filePath;
  s.fileTitle = g_context.fileTitle;
  s.driveRoot = g_context.driveRoot;
  s.dataOffset = g_context.dataOffset;
  s.dataSize = g_context.dataSize;
  s.sliderMin = SendMessageA(g_controls.slider, TBM_GETRANGEMIN, 0, 0);
  s.sliderMax = SendMessageA(g_controls.slider, TBM_GETRANGEMAX, 0, 0);
  s.sliderPos = SendMessageA(g_controls.slider, TBM_GETPOS, 0, 0);
  s.positionText = DialogText(window_, IDC_POSITION);
  s.lengthText = DialogText(window_, IDC_LENGTH);
  s.dataSizeText = DialogText(window_, IDC_DATASIZE);
  s.caption = WindowCaption(window_);
  s.tagName = FormatTagName;
  s.detailsText = FormatDetailsText;
  s.format = FormatBytes();
  for (int i = 0; i < 5; ++i) s.enabled[i] = IsWindowEnabled(g_controls.buttons[i]) != 0;
  s.sliderEnabled = IsWindowEnabled(g_controls.slider) != 0;
  for (WORD i = 0; g_recentList && i < 4; ++i) {
    char entry[256] = "";
    if (GetRecentFile(g_recentList, i, 0, entry, sizeof entry)) s.recent.push_back(entry);
  }
  s.fileMenuItems = GetMenuItemCount(GetSubMenu(GetMenu(window_), 0));
  return s;
}

int WaveFileTest::OpenPath(const std::string& path) {
  lstrcpynA(g_context.filePath, path.c_str(), sizeof g_context.filePath);
  const size_t slash = path.find_last_of('\\');
  const std::string title = slash == std::string::npos ? path : path.substr(slash + 1);
  lstrcpynA(g_context.fileTitle, title.c_str(), sizeof g_context.fileTitle);
  OpenDialogRecord.lpstrFile = g_context.filePath;
  return OpenWaveFile(window_, 1);
}

std::string WaveFileTest::WriteFile(const std::string& name, const Bytes& bytes) {
  const std::string path = folder_.file(name);
  EXPECT_TRUE(WriteWholeFile(path, bytes));
  return path;
}

void WaveFileTest::LoadGoodFile() {
  const std::string path = WriteFile(
      "good.wav",
      Riff("WAVE", {Chunk("fmt ", PcmFormat(2, 44100, 16, true)), Chunk("data", Samples(4000))}));
  ASSERT_EQ(OpenPath(path), 0);
  ASSERT_TRUE(boxes_.boxes().empty());
  ASSERT_EQ(g_context.dataSize, 4000u);
  ASSERT_EQ(SendMessageA(g_controls.slider, TBM_GETRANGEMAX, 0, 0), 1000);
  // A position away from 0, so a failure that touched the slider would show.
  SendMessageA(g_controls.slider, TBM_SETPOS, 1, 250);
}
