// The release packages as a user and an administrator meet them, in a prefix of their own
// (scripts/test-packages.sh makes the packages, starts the environment and passes them in):
// the MSI installed silently, the program started from its Start-menu shortcut and recording,
// an upgrade to a higher version, the uninstall; either architecture's package replacing the
// other's program; the zip unpacked into a folder with a non-ASCII name and run from there. The
// program packed is the one built from today's sources: its version and manifest are checked.
//
//   RECORDER_TEST_MSI, RECORDER_TEST_UPGRADE_MSI           this architecture's packages
//   RECORDER_TEST_MSI_VERSION, RECORDER_TEST_UPGRADE_VERSION   their versions
//   RECORDER_TEST_WOW_MSI, RECORDER_TEST_WOW_UPGRADE_MSI   the 32-bit packages in a 64-bit
//                                                          prefix (installed, not run)
//   RECORDER_TEST_UNZIPPED_IN                              a folder holding one folder: the
//                                                          unpacked zip
//   RECORDER_TEST_MANIFEST                                 the program's manifest source file
// This executable's manifest sets the UTF-8 code page, so every path here is UTF-8.
#include <windows.h>

#include <shlobj.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "faults/fault_support.h"
#include "faults/wave_header.h"
#include "recorder_driver.h"
#include "resources/resource.h"
#include "support/poll.h"
#include "support/test_support.h"

namespace {

using recorder_driver::RecorderApp;

constexpr char kProductName[] = "Audio Recorder";
constexpr char kSettingsKey[] = "Software\\Velmora\\Quenby Pro Recorder";

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::wstring Wide(const std::string& text) {
  std::wstring out(MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, out.data(), static_cast<int>(out.size()));
  out.resize(out.size() - 1);
  return out;
}

std::string Utf8(const std::wstring& text) {
  std::string out(WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr),
                  '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), static_cast<int>(out.size()),
                      nullptr, nullptr);
  out.resize(out.size() - 1);
  return out;
}

std::string Folder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
  return Utf8(path);
}

bool Exists(const std::string& path) {
  return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Runs a command line and waits for it; its exit code, or empty when it did not start or end.
std::optional<DWORD> Run(const std::string& commandLine, DWORD timeoutMs = 180000) {
  std::wstring line = Wide(commandLine);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process))
    return std::nullopt;
  CloseHandle(process.hThread);
  std::optional<DWORD> code;
  DWORD exitCode = 0;
  if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0 &&
      GetExitCodeProcess(process.hProcess, &exitCode))
    code = exitCode;
  CloseHandle(process.hProcess);
  return code;
}

std::optional<DWORD> Msiexec(const char* action, const std::string& msi) {
  return Run("msiexec.exe " + std::string(action) + " \"" + msi + "\" /qn");
}

// One "Add or remove programs" entry of ours.
struct ArpEntry {
  std::string key;
  std::string version;
  std::string publisher;
  std::string location;
};

std::string RegText(HKEY key, const wchar_t* name) {
  wchar_t value[512] = {};
  DWORD size = sizeof value - sizeof(wchar_t);
  DWORD type = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) !=
          ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ))
    return {};
  return Utf8(value);
}

// The entries named "Audio Recorder" in the registry view of the package's architecture.
std::vector<ArpEntry> ArpEntries(REGSAM view) {
  std::vector<ArpEntry> entries;
  HKEY root = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
                    0, KEY_READ | view, &root) != ERROR_SUCCESS)
    return entries;
  wchar_t name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = 256;
    if (RegEnumKeyExW(root, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    HKEY sub = nullptr;
    if (RegOpenKeyExW(root, name, 0, KEY_READ | view, &sub) != ERROR_SUCCESS) continue;
    if (RegText(sub, L"DisplayName") == kProductName)
      entries.push_back({Utf8(name), RegText(sub, L"DisplayVersion"), RegText(sub, L"Publisher"),
                         RegText(sub, L"InstallLocation")});
    RegCloseKey(sub);
  }
  RegCloseKey(root);
  return entries;
}

// The Start-menu shortcuts named "Audio Recorder": the machine's Programs folder, where a
// per-machine package puts it on Windows, and the user's, where Wine's installer puts it.
std::vector<std::string> Shortcuts() {
  std::vector<std::string> found;
  for (int csidl : {CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS}) {
    const std::string path = Folder(csidl) + "\\" + kProductName + ".lnk";
    if (Exists(path)) found.push_back(path);
  }
  return found;
}

std::string ShortcutTarget(const std::string& link) {
  std::string target;
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return target;
  IShellLinkW* shellLink = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                 reinterpret_cast<void**>(&shellLink)))) {
    IPersistFile* file = nullptr;
    if (SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
      wchar_t path[MAX_PATH] = {};
      if (SUCCEEDED(file->Load(Wide(link).c_str(), STGM_READ)) &&
          SUCCEEDED(shellLink->GetPath(path, MAX_PATH, nullptr, SLGP_RAWPATH)))
        target = Utf8(path);
      file->Release();
    }
    shellLink->Release();
  }
  CoUninitialize();
  return target;
}

bool SameFile(const std::string& a, const std::string& b) {
  return CompareStringOrdinal(Wide(a).c_str(), -1, Wide(b).c_str(), -1, TRUE) == CSTR_EQUAL;
}

// The version resource and the embedded manifest of a packed program: the package's version,
// and the manifest source file byte for byte (a stale resource object would keep an old one).
void ExpectBuiltFromTodaysSources(const std::string& program, const std::string& version) {
  SCOPED_TRACE(program);
  const std::wstring path = Wide(program);
  std::vector<BYTE> block(GetFileVersionInfoSizeW(path.c_str(), nullptr));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(!block.empty() &&
              GetFileVersionInfoW(path.c_str(), 0, DWORD(block.size()), block.data()) &&
              VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  const std::string fileVersion = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                                  std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
                                  std::to_string(HIWORD(fixed->dwFileVersionLS));
  EXPECT_EQ(fileVersion, version);

  HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_TRUE(module);
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
  const auto* bytes = static_cast<const unsigned char*>(loaded ? LockResource(loaded) : nullptr);
  const std::vector<unsigned char> embedded(bytes,
                                            bytes + (bytes ? SizeofResource(module, found) : 0));
  FreeLibrary(module);
  EXPECT_TRUE(embedded == ReadWholeFile(Env("RECORDER_TEST_MANIFEST")))
      << "the embedded manifest is not " << Env("RECORDER_TEST_MANIFEST");
}

bool SettingsSaved() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
    return false;
  const bool saved =
      RegQueryValueExA(key, "Placement", nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  RegCloseKey(key);
  return saved;
}

struct Packages {
  std::string msi;
  std::string upgradeMsi;
  std::string version;
  std::string upgradeVersion;
  // Where the package's architecture installs, and which registry view holds its entry.
  int programFiles = CSIDL_PROGRAM_FILES;
  REGSAM view = 0;
};

// Install, upgrade and uninstall; `whileInstalled` runs with the first version installed and
// is given the shortcut's target.
template <typename WhileInstalled>
void CheckLifecycle(const Packages& packages, WhileInstalled whileInstalled) {
  const std::string folder = Folder(packages.programFiles) + "\\" + kProductName;
  const std::string program = folder + "\\AudioRecorder.exe";
  ASSERT_TRUE(ArpEntries(packages.view).empty()) << "installed before the test";

  ASSERT_EQ(Msiexec("/i", packages.msi), 0u) << "silent install of " << packages.msi;
  EXPECT_TRUE(Exists(program)) << program;
  auto entries = ArpEntries(packages.view);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].version, packages.version);
  EXPECT_EQ(entries[0].publisher, "Velmora");
  EXPECT_TRUE(SameFile(entries[0].location, folder + "\\")) << entries[0].location;
  // The entry's icon: Windows Installer keeps it under the product code (Wine does not name it
  // in the entry itself).
  EXPECT_TRUE(
      Exists(Folder(CSIDL_WINDOWS) + "\\Installer\\" + entries[0].key + "\\AudioRecorder.ico"))
      << "no icon for " << entries[0].key;
  auto shortcuts = Shortcuts();
  ASSERT_EQ(shortcuts.size(), 1u) << "one Start-menu shortcut";
  const std::string target = ShortcutTarget(shortcuts[0]);
  EXPECT_TRUE(SameFile(target, program)) << "the shortcut starts " << target;
  whileInstalled(target);
  if (::testing::Test::HasFatalFailure()) return;

  ASSERT_EQ(Msiexec("/i", packages.upgradeMsi), 0u) << "silent upgrade to " << packages.upgradeMsi;
  entries = ArpEntries(packages.view);
  ASSERT_EQ(entries.size(), 1u) << "the upgrade left " << entries.size() << " entries";
  EXPECT_EQ(entries[0].version, packages.upgradeVersion);
  EXPECT_TRUE(Exists(program)) << program;
  EXPECT_EQ(Shortcuts().size(), 1u);

  ASSERT_EQ(Msiexec("/x", packages.upgradeMsi), 0u) << "silent uninstall";
  EXPECT_TRUE(ArpEntries(packages.view).empty());
  EXPECT_FALSE(Exists(folder)) << "left behind: " << folder;
  EXPECT_TRUE(Shortcuts().empty()) << "left behind: " << Shortcuts().front();
}

TEST(PackageE2E, MsiInstallsSilentlyRunsFromItsShortcutUpgradesInPlaceAndUninstallsCleanly) {
  Packages packages{Env("RECORDER_TEST_MSI"), Env("RECORDER_TEST_UPGRADE_MSI"),
                    Env("RECORDER_TEST_MSI_VERSION"), Env("RECORDER_TEST_UPGRADE_VERSION")};
  if (packages.msi.empty()) GTEST_SKIP() << "no packages given (scripts/test-packages.sh)";
  const std::string recording = Folder(CSIDL_PERSONAL) + "\\package take.wav";
  std::vector<unsigned char> recorded;

  CheckLifecycle(packages, [&](const std::string& program) {
    ExpectBuiltFromTodaysSources(program, packages.version);
    recorder_driver::LaunchOptions options;
    options.exePath = program;
    RecorderApp app;
    ASSERT_EQ(StartWithNewStereoFile(app, recording, options), "");
    ASSERT_TRUE(app.ClickButton(IDC_RECORD));
    ASSERT_TRUE(PollUntil(10000, [&] { return app.ControlText(IDC_LENGTH) >= "00:01.0"; }));
    ASSERT_TRUE(app.ClickButton(IDC_STOP));
    ASSERT_TRUE(WaitUntilIdle(app, 5000));
    app.Close();
    EXPECT_EQ(app.WaitForExit(), 0u);
    const WaveHeader header = ReadWaveHeader(recording);
    ASSERT_TRUE(header.Consistent());
    EXPECT_GE(header.dataSize, kStereoBytesPerSecond);
    recorded = ReadWholeFile(recording);
    EXPECT_TRUE(SettingsSaved()) << "the window's placement was not kept";
  });

  // The user's things outlive the program.
  EXPECT_EQ(ReadWholeFile(recording), recorded) << recording;
  EXPECT_TRUE(SettingsSaved()) << "the uninstall took the user's settings";
}

TEST(PackageE2E, The32BitMsiInstallsIntoProgramFilesX86OnA64BitSystem) {
  Packages packages{Env("RECORDER_TEST_WOW_MSI"),     Env("RECORDER_TEST_WOW_UPGRADE_MSI"),
                    Env("RECORDER_TEST_MSI_VERSION"), Env("RECORDER_TEST_UPGRADE_VERSION"),
                    CSIDL_PROGRAM_FILESX86,           KEY_WOW64_32KEY};
  if (packages.msi.empty()) GTEST_SKIP() << "no 32-bit packages given for a 64-bit system";
  ASSERT_FALSE(SameFile(Folder(CSIDL_PROGRAM_FILESX86), Folder(CSIDL_PROGRAM_FILES)));
  CheckLifecycle(packages, [&](const std::string&) {
    EXPECT_FALSE(Exists(Folder(CSIDL_PROGRAM_FILES) + "\\" + kProductName))
        << "the 32-bit program went into the 64-bit Program Files";
    // Its entry is in the 32-bit view alone.
    EXPECT_TRUE(ArpEntries(KEY_WOW64_64KEY).empty());
  });
}

// One install per machine: each architecture's package replaces the other's program of its own
// version in place, and a newer one of either refuses an older package.
TEST(PackageE2E, EitherArchitectureReplacesTheOthersProgramInPlace) {
  const std::string msi64 = Env("RECORDER_TEST_MSI"), msi32 = Env("RECORDER_TEST_WOW_MSI");
  const std::string upgrade64 = Env("RECORDER_TEST_UPGRADE_MSI");
  if (msi32.empty()) GTEST_SKIP() << "no 32-bit packages given for a 64-bit system";
  const std::string program64 = Folder(CSIDL_PROGRAM_FILES) + "\\Audio Recorder\\AudioRecorder.exe";
  const std::string program32 =
      Folder(CSIDL_PROGRAM_FILESX86) + "\\Audio Recorder\\AudioRecorder.exe";
  const struct {
    const std::string& msi;
    bool installs;
    const std::string& program;  // the one program there afterwards
  } steps[] = {{msi64, true, program64},
               {msi32, true, program32},
               {msi64, true, program64},
               {upgrade64, true, program64},
               {msi32, false, program64}};
  for (const auto& step : steps) {
    SCOPED_TRACE(step.msi);
    EXPECT_EQ(Msiexec("/i", step.msi) == 0u, step.installs);
    EXPECT_EQ(ArpEntries(KEY_WOW64_64KEY).size() + ArpEntries(KEY_WOW64_32KEY).size(), 1u);
    EXPECT_EQ(Shortcuts().size(), 1u);
    EXPECT_EQ(Exists(program64) + Exists(program32), 1);
    EXPECT_TRUE(Exists(step.program));
  }
  EXPECT_EQ(Msiexec("/x", upgrade64), 0u);
  EXPECT_TRUE(ArpEntries(KEY_WOW64_64KEY).empty() && ArpEntries(KEY_WOW64_32KEY).empty());
}

std::vector<std::string> FolderContents(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(Wide(folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") names.push_back(Utf8(name));
  } while (FindNextFileW(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

TEST(PackageE2E, TheZipRunsFromAFolderWithANonAsciiName) {
  const std::string parent = Env("RECORDER_TEST_UNZIPPED_IN");
  if (parent.empty()) GTEST_SKIP() << "no unpacked zip given (scripts/test-packages.sh)";
  const auto folders = FolderContents(parent);
  ASSERT_EQ(folders.size(), 1u) << parent;
  ASSERT_TRUE(std::any_of(folders[0].begin(), folders[0].end(),
                          [](char c) { return static_cast<unsigned char>(c) >= 0x80; }))
      << "the folder's name is plain ASCII: " << folders[0];
  const std::string folder = parent + "\\" + folders[0];
  const auto unpacked = FolderContents(folder);
  EXPECT_EQ(unpacked, (std::vector<std::string>{"AudioRecorder.exe", "README.txt"}));
  ExpectBuiltFromTodaysSources(folder + "\\AudioRecorder.exe", Env("RECORDER_TEST_MSI_VERSION"));

  recorder_driver::LaunchOptions options;
  options.exePath = folder + "\\AudioRecorder.exe";
  options.workingDirectory = folder;
  RecorderApp app;
  ASSERT_TRUE(app.Start(options)) << app.LastError();
  EXPECT_EQ(app.Caption(), "Audio Recorder");
  app.Close();
  EXPECT_EQ(app.WaitForExit(), 0u);
  // Nothing of its own beside it: the program keeps its settings in the user's registry.
  EXPECT_EQ(FolderContents(folder), unpacked);
}

}  // namespace
