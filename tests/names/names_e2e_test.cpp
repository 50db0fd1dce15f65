// File names in any characters, end to end through the real window. The program runs with UTF-8
// as its code page; this test program does not, so every name here is a UTF-8 string that
// reaches the file system only through the wide calls.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "recent/recent_list.h"
#include "recorder_driver.h"
#include "resources/resource.h"
#include "support/playback_file.h"
#include "support/poll.h"
#include "support/test_support.h"
#include "support/wave_builder.h"

using recorder_driver::MenuKind;
using recorder_driver::RecorderApp;

namespace {

// Japanese, Greek and a symbol that no ANSI code page holds.
constexpr char kName[] = "録音 ☃ Ωμέγα.wav";
constexpr char kNewName[] = "新しい録音 ☃ Ωμέγα.wav";
// Folders whose names take three bytes a character, so the whole path is far longer in bytes
// (over 500) than in characters (about 200, within MAX_PATH). The last one holds an ampersand,
// which the menu must show as itself.
constexpr char kDeepFolder[] = "録音の記録フォルダ一二三四五六七八九十";
constexpr char kLastFolder[] = "Ωμέγα & 録音";
constexpr int kDeepLevels = 8;

std::wstring Wide(const std::string& text) {
  const int length = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  std::wstring wide(static_cast<size_t>(length > 0 ? length : 1), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(), length);
  wide.resize(wcslen(wide.c_str()));
  return wide;
}

bool WriteFileOf(const std::string& path, const Bytes& bytes) {
  HANDLE file =
      CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok =
      WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

Bytes ReadFileOf(const std::string& path) {
  Bytes bytes;
  HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  unsigned char block[65536];
  DWORD got = 0;
  while (ReadFile(file, block, sizeof block, &got, nullptr) && got > 0)
    bytes.insert(bytes.end(), block, block + got);
  CloseHandle(file);
  return bytes;
}

void RemoveTree(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(folder + L"\\" + name);
      else
        DeleteFileW((folder + L"\\" + name).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(folder.c_str());
}

// A recent-file value as the registry holds it, as UTF-8; empty when missing.
std::string StoredRecentValue(int number) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, Wide(RecentFilesKey).c_str(), 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return {};
  wchar_t text[2048] = {};
  DWORD size = sizeof text - sizeof(wchar_t);
  const std::wstring name = L"File" + std::to_wstring(number);
  const LONG result =
      RegQueryValueExW(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS) return {};
  const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), length, nullptr, nullptr);
  utf8.resize(strlen(utf8.c_str()));
  return utf8;
}

// A recent-file item's text for this path: its number, then the path with every ampersand
// doubled so that it shows as itself.
std::string RecentItemText(int number, const std::string& path) {
  std::string text = "&" + std::to_string(number) + " ";
  for (char c : path) text += c == '&' ? std::string("&&") : std::string(1, c);
  return text;
}

std::string RecentItem(RecorderApp& app, int number) {
  const auto item = app.FindMenuItem(IDM_RECENT_BASE + number, MenuKind::File);
  return item ? item->text : "(no item " + std::to_string(number) + ")";
}

bool Idle(const RecorderApp& app) {
  return app.IsControlEnabled(IDC_RECORD) && !app.IsControlEnabled(IDC_STOP);
}

class NamesE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string folder = base_.path();
    for (int level = 0; level < kDeepLevels; ++level) {
      folder += std::string("\\") + kDeepFolder;
      ASSERT_TRUE(CreateDirectoryW(Wide(folder).c_str(), nullptr)) << folder;
    }
    folder += std::string("\\") + kLastFolder;
    ASSERT_TRUE(CreateDirectoryW(Wide(folder).c_str(), nullptr));
    folder_ = folder;
    ASSERT_LT(Wide(file(kName)).size(), size_t{MAX_PATH});
    ASSERT_GT(file(kName).size(), 500u);
  }
  void TearDown() override {
    Quit();
    RemoveTree(Wide(base_.path() + "\\" + kDeepFolder));
  }
  void Quit() {
    if (app_ && app_->process() && !app_->HasExited()) {
      app_->Close();
      EXPECT_EQ(app_->WaitForExit(), 0u);
    }
  }
  void Start() {
    app_ = std::make_unique<RecorderApp>();
    ASSERT_TRUE(app_->Start()) << app_->LastError();
  }
  std::string file(const std::string& name) const { return folder_ + "\\" + name; }

  TempFolder base_;
  std::string folder_;
  std::unique_ptr<RecorderApp> app_;
};

}  // namespace

TEST_F(NamesE2E, OpenPlayRecordNewAndTheRecentListKeepTheName) {
  const std::string path = file(kName);
  const Bytes original = PcmWave(11025);
  ASSERT_TRUE(WriteFileOf(path, original));
  const Bytes payload(original.begin() + 44, original.end());
  ASSERT_NO_FATAL_FAILURE(Start());
  RecorderApp& app = *app_;

  // Opened through the Open dialog, named in the caption.
  ASSERT_TRUE(app.OpenThroughDialog(path));
  EXPECT_TRUE(app.NoMessageBoxWithin(200));
  EXPECT_EQ(app.Caption(), std::string("Audio Recorder - ") + kName);
  EXPECT_EQ(app.ControlText(IDC_LENGTH), "00:01.0");

  // Named in the Properties sheet, its caption and its page.
  ASSERT_TRUE(app.ChooseMenuItem(IDM_PROPERTIES));
  const HWND sheet = app.WaitForDialog(std::string("Properties for ") + kName);
  ASSERT_TRUE(sheet) << "dialogs: " << app.Dialogs().size();
  EXPECT_EQ(RecorderApp::DialogItemText(RecorderApp::PropertySheetPage(sheet), IDC_PROP_NAME),
            kName);
  ASSERT_TRUE(RecorderApp::PressPropertySheetOk(sheet));

  // Played: the output device receives the file's own bytes.
  ASSERT_TRUE(app.ClickButton(IDC_PLAY));
  ASSERT_TRUE(PollUntil(20000, [&] { return Idle(app); }));
  WaitForPlayedFile();
  EXPECT_TRUE(app.NoMessageBoxWithin(200));
  std::string why;
  EXPECT_TRUE(PlayedWithOnlySilenceAdded(ReadWholeFile(PlaybackFilePath()), payload,
                                         PlayedFormatOf(1, 11025, 8), false, &why))
      << "the output device did not receive the file's bytes: " << why;

  // Recorded into, at its end: the sound grows and the bytes before stay as they were.
  ASSERT_TRUE(app.ClickButton(IDC_FORWARD));
  ASSERT_TRUE(app.ClickButton(IDC_RECORD));
  ASSERT_TRUE(PollUntil(10000, [&] { return app.ControlText(IDC_LENGTH) >= "00:01.5"; }));
  ASSERT_TRUE(app.ClickButton(IDC_STOP));
  ASSERT_TRUE(PollUntil(5000, [&] { return Idle(app); }));
  EXPECT_TRUE(app.NoMessageBoxWithin(200));
  const Bytes recorded = ReadFileOf(path);
  ASSERT_GT(recorded.size(), original.size());
  EXPECT_EQ(Le32(recorded, 40), recorded.size() - 44);
  EXPECT_EQ(Le32(recorded, 4), recorded.size() - 8);
  EXPECT_TRUE(std::equal(original.begin() + 44, original.end(), recorded.begin() + 44));
  const std::string recordedLength = app.ControlText(IDC_LENGTH);

  // Listed in the recent files.
  EXPECT_EQ(RecentItem(app, 1), RecentItemText(1, path));

  // File New makes a file of that kind of name.
  const std::string newPath = file(kNewName);
  app.PostCommand(IDM_NEW, 0, nullptr, false);
  ASSERT_TRUE(app.AnswerFileDialog(newPath));
  ASSERT_TRUE(app.AnswerFormatChooser());
  ASSERT_TRUE(app.Sync());
  EXPECT_TRUE(app.NoMessageBoxWithin(200));
  EXPECT_EQ(ReadFileOf(newPath).size(), 90u);
  EXPECT_EQ(app.Caption(), std::string("Audio Recorder - ") + kNewName);
  EXPECT_EQ(RecentItem(app, 1), RecentItemText(1, newPath));
  EXPECT_EQ(RecentItem(app, 2), RecentItemText(2, path));

  // Kept in the registry as the names they are.
  ASSERT_NO_FATAL_FAILURE(Quit());
  EXPECT_EQ(StoredRecentValue(1), newPath);
  EXPECT_EQ(StoredRecentValue(2), path);

  // After a restart the list shows them again, and the first file reopens from there.
  ASSERT_NO_FATAL_FAILURE(Start());
  EXPECT_EQ(RecentItem(*app_, 1), RecentItemText(1, newPath));
  EXPECT_EQ(RecentItem(*app_, 2), RecentItemText(2, path));
  ASSERT_TRUE(app_->ChooseMenuItem(IDM_RECENT_BASE + 2));
  ASSERT_TRUE(app_->Sync());
  EXPECT_TRUE(app_->NoMessageBoxWithin(200));
  EXPECT_EQ(app_->Caption(), std::string("Audio Recorder - ") + kName);
  EXPECT_EQ(app_->ControlText(IDC_LENGTH), recordedLength);
  EXPECT_TRUE(app_->IsControlEnabled(IDC_PLAY));
  EXPECT_EQ(RecentItem(*app_, 1), RecentItemText(1, path));
}

TEST_F(NamesE2E, AListStoredByAnEarlierBuildStillLoadsAndOpens) {
  // Earlier builds stored their ANSI texts through the A calls; the registry keeps them as
  // Unicode, as written here.
  const std::string path = file("Zoë.wav");
  ASSERT_TRUE(WriteFileOf(path, PcmWave(5513)));
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, Wide(RecentFilesKey).c_str(), 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const std::wstring value = Wide(path);
  EXPECT_EQ(RegSetValueExW(key, L"File1", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>(value.size() * sizeof(wchar_t))),
            ERROR_SUCCESS);
  for (const wchar_t* name : {L"File2", L"File3", L"File4"})
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(L""), 0);
  RegCloseKey(key);

  ASSERT_NO_FATAL_FAILURE(Start());
  EXPECT_EQ(RecentItem(*app_, 1), RecentItemText(1, path));
  ASSERT_TRUE(app_->ChooseMenuItem(IDM_RECENT_BASE + 1));
  ASSERT_TRUE(app_->Sync());
  EXPECT_TRUE(app_->NoMessageBoxWithin(200));
  EXPECT_EQ(app_->Caption(), "Audio Recorder - Zoë.wav");
  EXPECT_EQ(app_->ControlText(IDC_LENGTH), "00:00.5");
  ASSERT_NO_FATAL_FAILURE(Quit());
  EXPECT_EQ(StoredRecentValue(1), path);
}
