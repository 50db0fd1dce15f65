// The helpers that keep characters whole, and the message for a name that the system's code
// page could not carry.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "state/context.h"
#include "platform/services.h"
#include "platform/text.h"
#include "support/test_support.h"
#include "wave/wave_file.h"

namespace {

// "Zoë ☃ 𝄞" in UTF-8: 1-, 2-, 3- and 4-byte characters.
const std::string kMixed = "Zo\xC3\xAB \xE2\x98\x83 \xF0\x9D\x84\x9E";

TEST(TextBoundaries, CutsNeverSplitACharacter) {
  // UTF-8: each limit falls back to the start of the character it would split.
  const size_t starts[] = {0, 1, 2, 2, 4, 5, 5, 5, 8, 9, 9, 9, 9, 13};
  for (size_t limit = 0; limit <= kMixed.size(); ++limit)
    EXPECT_EQ(CharacterBoundary(kMixed, limit, CP_UTF8), starts[limit]) << "limit " << limit;

  // Shift-JIS: "表" is 0x95 0x5C, whose trail byte looks like a backslash.
  const std::string sjis = "a\x95\x5C\x95\x5C";
  EXPECT_EQ(CharacterBoundary(sjis, 2, 932), 1u);
  EXPECT_EQ(CharacterBoundary(sjis, 4, 932), 3u);
  EXPECT_EQ(CharacterBoundary(sjis, 5, 932), 5u);
  // A single-byte code page cuts anywhere.
  EXPECT_EQ(CharacterBoundary("Zo\xEB", 2, 1252), 2u);
}

TEST(TextBoundaries, CopiesAreTerminatedAndMenuTextsShowAmpersands) {
  char small[6];
  std::memset(small, 'x', sizeof small);
  EXPECT_FALSE(CopyText(small, "abcdefgh"));
  EXPECT_STREQ(small, "abcde");
  EXPECT_TRUE(CopyText(small, "abc"));
  EXPECT_STREQ(small, "abc");
  EXPECT_EQ(MenuItemText("Tom & Jerry && co"), "Tom && Jerry &&&& co");
  EXPECT_EQ(MenuItemText("plain"), "plain");
}

// What the file dialogs hand back on such a system for "録音 ☃ Ωμέγα.wav".
BOOL WINAPI DialogLosingCharacters(LPOPENFILENAMEA record) {
  std::strcpy(record->lpstrFile, "C:\\takes\\?? ? ?????.wav");
  return TRUE;
}

int g_riffOpens = 0;
HMMIO WINAPI CountedRiffOpen(LPSTR, LPMMIOINFO, DWORD) {
  ++g_riffOpens;
  return nullptr;
}

// On a system that ignores the UTF-8 code page, the Open dialog hands back '?' for each
// character the code page lacks: the user is told why instead of "Open for read failed.".
TEST(NamesOutsideTheCodePage, AreReportedPlainlyByOpenAndNew) {
  MessageBoxCapture boxes;
  g_riffOpens = 0;
  ScopedService open(sys.GetOpenFileNameA, &DialogLosingCharacters);
  ScopedService save(sys.GetSaveFileNameA, &DialogLosingCharacters);
  ScopedService mmio(sys.mmioOpenA, &CountedRiffOpen);

  EXPECT_EQ(OpenWaveFile(nullptr, 0), -1);
  EXPECT_EQ(CreateWaveFile(nullptr), -1);
  ASSERT_EQ(boxes.boxes().size(), 2u);
  for (const auto& box : boxes.boxes()) {
    EXPECT_EQ(box.caption, "Error");
    EXPECT_EQ(box.text, NameNotRepresentableMessage);
  }
  EXPECT_EQ(g_riffOpens, 0);
}

// Windows before 1903 in Western Europe: the process's code page is 1252 whatever the manifest
// says. The dialogs answer in UTF-16; a name 1252 holds reaches the file, one it lacks is refused
// rather than mapped by best fit onto another file's name ("Lodz.wav").
const wchar_t* g_chosenName = nullptr;
BOOL WINAPI ChooseWideName(LPOPENFILENAMEW record) {
  lstrcpynW(record->lpstrFile, g_chosenName, static_cast<int>(record->nMaxFile));
  return TRUE;
}
UINT WINAPI WesternCodePage() {
  return 1252;
}
TEST(NamesOutsideTheCodePage, AreRefusedNotMappedToLookAlikesBeforeWindows1903) {
  ScopedService codePage(sys.GetACP, &WesternCodePage);
  ScopedService open(sys.GetOpenFileNameW, &ChooseWideName);
  ScopedService save(sys.GetSaveFileNameW, &ChooseWideName);
  ScopedService mmio(sys.mmioOpenA, &CountedRiffOpen);
  const struct {
    const wchar_t* chosen;
    const char* taken;  // in code page 1252; nullptr: refused
  } rows[] = {{L"C:\\takes\\caf\u00E9.wav", "C:\\takes\\caf\xE9.wav"},
              {L"C:\\takes\\\u0141\u00F3d\u017A.wav", nullptr}};
  for (const auto& row : rows) {
    g_chosenName = row.chosen;
    // Open, then New (which stops before its format chooser: no format is set up here).
    for (const bool create : {false, true}) {
      MessageBoxCapture boxes;
      g_riffOpens = 0;
      create ? CreateWaveFile(nullptr) : OpenWaveFile(nullptr, 0);
      const bool refused =
          !boxes.boxes().empty() && boxes.boxes()[0].text == NameNotRepresentableMessage;
      EXPECT_EQ(refused, row.taken == nullptr) << create;
      if (row.taken) {
        EXPECT_STREQ(g_context.filePath, row.taken) << create;
      } else {
        EXPECT_EQ(g_riffOpens, 0) << create;
      }
    }
  }
}

}  // namespace
