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

}  // namespace
