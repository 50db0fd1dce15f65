// What the built AudioRecorder.exe says about itself: the manifest resource that gives it the
// UTF-8 code page, DPI awareness, the user's own rights and common controls 6, the version resource
// with the project's version number, and the common controls 6 that the running program then loads.
#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "recorder_driver.h"
#include "running_app_test.h"
#include "resources/resource.h"
#include "support/playback_file.h"
#include "support/test_support.h"
#include "support/wave_builder.h"

using recorder_driver::RecorderApp;

namespace {

std::string ExePath() {
  return WindowsPathOfUnix(RECORDER_EXE_PATH);
}

// The executable loaded as data, never run; freed at scope end.
class ResourceFile {
 public:
  ResourceFile()
      : module_(LoadLibraryExA(ExePath().c_str(), nullptr,
                               LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
  ~ResourceFile() {
    if (module_) FreeLibrary(module_);
  }
  ResourceFile(const ResourceFile&) = delete;
  ResourceFile& operator=(const ResourceFile&) = delete;
  HMODULE get() const { return module_; }

 private:
  HMODULE module_;
};

std::string ManifestText(HMODULE module) {
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
  if (!found) return {};
  HGLOBAL loaded = LoadResource(module, found);
  const auto* bytes = static_cast<const char*>(loaded ? LockResource(loaded) : nullptr);
  return bytes ? std::string(bytes, SizeofResource(module, found)) : std::string();
}

// An element of the manifest: its start tag and its text. A name is matched whole, so
// <dpiAwareness> is never taken for <dpiAware>.
struct ManifestElement {
  bool found = false;
  std::string tag;
  std::string text;
};

ManifestElement FindElement(const std::string& xml, const std::string& name) {
  const std::string open = "<" + name;
  for (size_t at = xml.find(open); at != std::string::npos; at = xml.find(open, at + 1)) {
    const char after = xml[at + open.size()];  // '\0' at the very end
    if (after != '>' && after != '/' && !std::isspace(static_cast<unsigned char>(after))) continue;
    const size_t tagEnd = xml.find('>', at);
    if (tagEnd == std::string::npos) return {};
    ManifestElement element{true, xml.substr(at, tagEnd + 1 - at), {}};
    const size_t close = xml.find("</" + name + ">", tagEnd);
    if (xml[tagEnd - 1] != '/' && close != std::string::npos)
      element.text = xml.substr(tagEnd + 1, close - tagEnd - 1);
    return element;
  }
  return {};
}

// The version numbers "a.b.c" as the project states them, as the resource's four 16-bit parts.
DWORDLONG ProjectVersion() {
  unsigned a = 0, b = 0, c = 0;
  EXPECT_EQ(std::sscanf(RECORDER_PROJECT_VERSION, "%u.%u.%u", &a, &b, &c), 3);
  return (DWORDLONG{a} << 48) | (DWORDLONG{b} << 32) | (DWORDLONG{c} << 16);
}

struct VersionResource {
  bool found = false;
  VS_FIXEDFILEINFO fixed{};
  std::vector<BYTE> block;
  std::string language;  // "040904B0": the string table's language and code page

  std::string String(const char* name) {
    char* text = nullptr;
    UINT length = 0;
    const std::string path = "\\StringFileInfo\\" + language + "\\" + name;
    if (!VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void**>(&text), &length) ||
        !text)
      return "(missing " + std::string(name) + ")";
    return text;
  }
};

VersionResource ReadVersion(const std::string& path) {
  VersionResource version;
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
  if (size == 0) return version;
  version.block.resize(size);
  if (!GetFileVersionInfoA(path.c_str(), 0, size, version.block.data())) return version;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(version.block.data(), "\\", reinterpret_cast<void**>(&fixed), &length) ||
      !fixed || length < sizeof *fixed)
    return version;
  version.fixed = *fixed;
  WORD* translation = nullptr;
  if (VerQueryValueA(version.block.data(), "\\VarFileInfo\\Translation",
                     reinterpret_cast<void**>(&translation), &length) &&
      translation && length >= 4) {
    char language[16];
    std::snprintf(language, sizeof language, "%04X%04X", translation[0], translation[1]);
    version.language = language;
  }
  version.found = true;
  return version;
}

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(towlower(c));
  return text;
}

// The files of the comctl32.dll modules that a process has loaded.
std::vector<std::wstring> CommonControlsModules(HANDLE process) {
  std::vector<std::wstring> paths;
  HMODULE modules[512];
  DWORD needed = 0;
  if (!EnumProcessModules(process, modules, sizeof modules, &needed)) return paths;
  for (DWORD i = 0; i < needed / sizeof(HMODULE) && i < 512; ++i) {
    wchar_t path[MAX_PATH] = {};
    if (!GetModuleFileNameExW(process, modules[i], path, MAX_PATH)) continue;
    const std::wstring lower = Lower(path);
    if (lower.size() >= 12 && lower.compare(lower.size() - 12, 12, L"comctl32.dll") == 0)
      paths.push_back(path);
  }
  return paths;
}

// Wine keeps version 6 in its side-by-side store, under the assembly's name and version; the
// file's own version resource does not tell the two apart there.
bool IsCommonControls6(const std::wstring& path) {
  const std::wstring lower = Lower(path);
  return lower.find(L"\\winsxs\\") != std::wstring::npos &&
         lower.find(L"microsoft.windows.common-controls_6595b64144ccf1df_6.") != std::wstring::npos;
}

class RunningProgram : public RunningAppTest {};

}  // namespace

TEST(Identity, ManifestGivesUtf8DpiAwarenessAsInvokerAndCommonControls6) {
  ResourceFile exe;
  ASSERT_TRUE(exe.get()) << ExePath() << " (error " << GetLastError() << ")";
  const std::string manifest = ManifestText(exe.get());
  ASSERT_FALSE(manifest.empty()) << "no manifest resource (RT_MANIFEST, id 1)";
  const struct {
    const char* name;
    const char* text;
    const char* inTag;
  } expected[] = {
      {"activeCodePage", "UTF-8", ""},
      {"dpiAware", "true/pm", ""},
      {"dpiAwareness", "PerMonitorV2, PerMonitor", ""},
      {"requestedExecutionLevel", "", " level=\"asInvoker\" uiAccess=\"false\""},
  };
  for (const auto& row : expected) {
    const ManifestElement element = FindElement(manifest, row.name);
    EXPECT_TRUE(element.found) << "no <" << row.name << "> element in " << manifest;
    EXPECT_EQ(element.text, row.text) << element.tag;
    EXPECT_NE(element.tag.find(row.inTag), std::string::npos) << element.tag;
  }
  const size_t controls = manifest.find("name=\"Microsoft.Windows.Common-Controls\"");
  ASSERT_NE(controls, std::string::npos) << manifest;
  const size_t identityEnd = manifest.find("/>", controls);
  const std::string identity = manifest.substr(controls, identityEnd - controls);
  EXPECT_NE(identity.find("version=\"6.0.0.0\""), std::string::npos) << identity;
  EXPECT_NE(identity.find("publicKeyToken=\"6595b64144ccf1df\""), std::string::npos) << identity;
}

TEST(Identity, VersionResourceNamesTheProductWithTheProjectVersion) {
  VersionResource version = ReadVersion(ExePath());
  ASSERT_TRUE(version.found) << ExePath();
  EXPECT_EQ(version.fixed.dwSignature, 0xFEEF04BDu);
  const DWORDLONG expected = ProjectVersion();
  const DWORDLONG file =
      (DWORDLONG{version.fixed.dwFileVersionMS} << 32) | version.fixed.dwFileVersionLS;
  const DWORDLONG product =
      (DWORDLONG{version.fixed.dwProductVersionMS} << 32) | version.fixed.dwProductVersionLS;
  EXPECT_EQ(file, expected);
  EXPECT_EQ(product, expected);
  EXPECT_EQ(version.fixed.dwFileType, static_cast<DWORD>(VFT_APP));

  ASSERT_FALSE(version.language.empty()) << "no translation entry";
  EXPECT_EQ(version.String("ProductName"), "Audio Recorder");
  EXPECT_EQ(version.String("FileDescription"), "Audio Recorder");
  EXPECT_EQ(version.String("OriginalFilename"), "AudioRecorder.exe");
  EXPECT_EQ(version.String("FileVersion"), RECORDER_PROJECT_VERSION);
  EXPECT_EQ(version.String("ProductVersion"), RECORDER_PROJECT_VERSION);
}

// The manifest's dependency makes the running program load version 6 of the common controls,
// and its slider works with them.
TEST_F(RunningProgram, LoadsCommonControls6AndItsSliderWorks) {
  const std::vector<std::wstring> modules = CommonControlsModules(app.process());
  ASSERT_FALSE(modules.empty()) << "the program's modules could not be listed";
  EXPECT_EQ(modules.size(), 1u);
  for (const std::wstring& path : modules)
    EXPECT_TRUE(IsCommonControls6(path)) << std::string(path.begin(), path.end());

  TempFolder folder;
  const std::string path = folder.file("one second.wav");
  ASSERT_TRUE(WriteWholeFile(path, PcmWave(11025)));
  ASSERT_TRUE(app.OpenThroughDialog(path));
  EXPECT_EQ(app.Slider().max, 11025);
  ASSERT_TRUE(app.MoveSlider(5513));
  EXPECT_EQ(app.Slider().pos, 5513);
  EXPECT_EQ(app.ControlText(IDC_POSITION), "00:00.5");
}
