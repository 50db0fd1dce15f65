// Choosing a new format: what survives a cancelled or failed choice, and which texts
// describe a chosen one.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "support/poll.h"
#include "state/context.h"
#include "resources/resource.h"
#include "shell_fixture.h"
#include "wave/format.h"

namespace {

using ChooseFn = decltype(PlatformServices::acmFormatChooseA);

constexpr char StereoText[] = "44100 Hz; 16 bits; Stereo";
constexpr char WineGarbage[] = " \x3f\x3f\x63\x3f\x63 ";  // what Wine's ANSI chooser returns

ACMFORMATCHOOSEA g_request;
int g_chooserCalls = 0;
const char* g_chooserText = StereoText;

// Writes a 16-bit stereo format and scribbles over the rest of the buffer, past cbSize.
void WriteStereo(ACMFORMATCHOOSEA* chooser) {
  auto* bytes = reinterpret_cast<unsigned char*>(chooser->pwfx);
  for (DWORD i = 0; i < chooser->cbwfx; ++i) bytes[i] = static_cast<unsigned char>(0xA0 + i);
  *chooser->pwfx = WAVEFORMATEX{1, 2, 44100, 176400, 4, 16, 0};
  std::memset(chooser->szFormat, 'x', sizeof chooser->szFormat);
  std::memcpy(chooser->szFormat, g_chooserText, std::strlen(g_chooserText) + 1);
  lstrcpyA(chooser->szFormatTag, "garbage tag");
}

MMRESULT WINAPI ChooseStereo(LPACMFORMATCHOOSEA chooser) {
  ++g_chooserCalls;
  g_request = *chooser;
  WriteStereo(chooser);
  return MMSYSERR_NOERROR;
}
MMRESULT WINAPI ChooseThenCancel(LPACMFORMATCHOOSEA chooser) {
  ++g_chooserCalls;
  WriteStereo(chooser);
  return ACMERR_CANCELED;
}
MMRESULT WINAPI ChooseThenFail(LPACMFORMATCHOOSEA chooser) {
  ++g_chooserCalls;
  WriteStereo(chooser);
  return MMSYSERR_NOMEM;
}
// A started main window with a format whose every byte is known.
class ChooseFormatTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(window.get(), nullptr);
    ASSERT_NE(CurrentFormat, nullptr);
    auto* bytes = reinterpret_cast<unsigned char*>(CurrentFormat);
    for (DWORD i = 18; i < MaxFormatSize; ++i) bytes[i] = static_cast<unsigned char>(i);
    lstrcpyA(FormatTagName, "Old Tag");
    lstrcpyA(FormatDetailsText, "Old details");
    g_context.dataSize = 4321;
    SetDlgItemTextA(window.get(), IDC_POSITION, "12:34.5");
    before.assign(bytes, bytes + MaxFormatSize);
    g_chooserCalls = 0;
    g_chooserText = StereoText;
    boxes.clear();
  }
  std::vector<unsigned char> Block() const {
    auto* bytes = reinterpret_cast<const unsigned char*>(CurrentFormat);
    return {bytes, bytes + MaxFormatSize};
  }
  void ExpectUntouched() {
    EXPECT_EQ(Block(), before);
    EXPECT_STREQ(FormatTagName, "Old Tag");
    EXPECT_STREQ(FormatDetailsText, "Old details");
    EXPECT_EQ(g_context.dataSize, 4321u);
    EXPECT_EQ(DialogText(window.get(), IDC_POSITION), "12:34.5");
  }

  PrivateUserRegistry registry;
  ScopedService<decltype(PlatformServices::waveInGetNumDevs)> devices{sys.waveInGetNumDevs,
                                                                      OneCaptureDevice};
  MainWindow window;
  MessageBoxCapture boxes;
  std::vector<unsigned char> before;
};

}  // namespace

TEST_F(ChooseFormatTest, CancelRestoresEveryByteSilently) {
  ScopedService<ChooseFn> chooser(sys.acmFormatChooseA, ChooseThenCancel);
  EXPECT_EQ(ChooseFormat(window.get()), -1);
  EXPECT_EQ(g_chooserCalls, 1);
  ExpectUntouched();
  EXPECT_TRUE(boxes.boxes().empty());
}

TEST_F(ChooseFormatTest, FailureRestoresEveryByteAndSaysSo) {
  ScopedService<ChooseFn> chooser(sys.acmFormatChooseA, ChooseThenFail);
  EXPECT_EQ(ChooseFormat(window.get()), -2);
  ExpectUntouched();
  ASSERT_EQ(boxes.boxes().size(), 1u);
  EXPECT_EQ(boxes.boxes()[0].text, "Error in FormatChoose function");
  EXPECT_EQ(boxes.boxes()[0].caption, "Error");
  EXPECT_EQ(boxes.boxes()[0].owner, window.get());
}

TEST_F(ChooseFormatTest, NoTemporaryCopyMeansNoChooser) {
  for (int step = 0; step < 2; ++step) {
    boxes.clear();
    ScopedService<ChooseFn> chooser(sys.acmFormatChooseA, ChooseStereo);
    ScopedService<AllocFn> alloc(sys.GlobalAlloc, step == 0 ? AllocFail : sys.GlobalAlloc);
    ScopedService<LockFn> lock(sys.GlobalLock, step == 1 ? LockFail : sys.GlobalLock);
    EXPECT_EQ(ChooseFormat(window.get()), -1);
    EXPECT_EQ(g_chooserCalls, 0);
    ExpectUntouched();
    ASSERT_EQ(boxes.boxes().size(), 1u);
    EXPECT_EQ(boxes.boxes()[0].text, "Error allocating temporary format buffer.");
    EXPECT_EQ(boxes.boxes()[0].owner, window.get());
  }
}

TEST_F(ChooseFormatTest, ChosenFormatTakesTheChoosersTextAndTheLookedUpTagName) {
  ScopedService<ChooseFn> chooser(sys.acmFormatChooseA, ChooseStereo);
  ScopedService<TagDetailsFn> tag(sys.acmFormatTagDetailsA, TagDetailsFake);
  g_context.fileLoaded = true;
  EXPECT_EQ(ChooseFormat(window.get()), 0);

  // The chooser writes straight into the current format, offering recording formats only.
  EXPECT_EQ(g_request.hwndOwner, window.get());
  EXPECT_EQ(g_request.pwfx, CurrentFormat);
  EXPECT_EQ(g_request.cbwfx, MaxFormatSize);
  EXPECT_EQ(g_request.fdwEnum, static_cast<DWORD>(ACM_FORMATENUMF_INPUT));

  EXPECT_EQ(CurrentFormat->nChannels, 2);
  EXPECT_EQ(CurrentFormat->nSamplesPerSec, 44100u);
  EXPECT_STREQ(FormatDetailsText, StereoText);
  EXPECT_STREQ(FormatTagName, "Looked-up Tag");
  EXPECT_EQ(g_context.dataSize, 0u);
  EXPECT_EQ(DialogText(window.get(), IDC_POSITION), "00:00.0");
  // Controls follow the emptied data: Record stays, Play goes.
  EXPECT_TRUE(IsWindowEnabled(g_controls.buttons[IDC_RECORD - IDC_REWIND]));
  EXPECT_FALSE(IsWindowEnabled(g_controls.buttons[IDC_PLAY - IDC_REWIND]));
  EXPECT_TRUE(boxes.boxes().empty());
}

TEST_F(ChooseFormatTest, GarbledChooserTextIsReplacedByTheLookup) {
  ScopedService<ChooseFn> chooser(sys.acmFormatChooseA, ChooseStereo);
  ScopedService<DetailsFn> details(sys.acmFormatDetailsA, DetailsFake);
  g_chooserText = WineGarbage;
  EXPECT_EQ(ChooseFormat(window.get()), 0);
  EXPECT_STREQ(FormatDetailsText, "looked up 44100 Hz");
  EXPECT_EQ(g_detailsRequest.cbwfx, 18u);
  EXPECT_STREQ(FormatTagName, "PCM");
  EXPECT_TRUE(boxes.boxes().empty());
}

TEST_F(ChooseFormatTest, FailedLookupsLeaveNoStaleOrGarbledText) {
  ScopedService<ChooseFn> chooser(sys.acmFormatChooseA, ChooseStereo);
  ScopedService<DetailsFn> details(sys.acmFormatDetailsA, DetailsFail);
  ScopedService<TagDetailsFn> tag(sys.acmFormatTagDetailsA, TagDetailsFail);
  g_chooserText = WineGarbage;
  EXPECT_EQ(ChooseFormat(window.get()), 0);
  // The old description would describe the old format; nothing is better.
  EXPECT_STREQ(FormatDetailsText, "");
  // The tag name keeps its old value beside the new description, as a failed lookup does.
  EXPECT_STREQ(FormatTagName, "Old Tag");
  ASSERT_EQ(boxes.boxes().size(), 2u);
  EXPECT_EQ(boxes.boxes()[0].text, "Warning, FormatDetails function failed");
  EXPECT_EQ(boxes.boxes()[1].text, "Warning, FormatTagDetails function failed");
}

TEST(FormatDescription, OnlyRealDescriptionsAreKept) {
  const WAVEFORMATEX pcm{1, 1, 11025, 11025, 1, 8, 0};
  const auto usable = [&](const std::string& text) {
    char field[128] = {};
    std::memcpy(field, text.data(), std::min(text.size(), sizeof field));
    return IsUsableFormatDescription(field, sizeof field, pcm);
  };
  EXPECT_TRUE(usable("11025 Hz; 8 bits; Mono"));
  EXPECT_TRUE(usable("11.025 kHz, 8 Bit, Mono"));
  EXPECT_TRUE(usable("11,025 kHz; 8 Bit; Mono"));
  EXPECT_FALSE(usable(""));
  EXPECT_FALSE(usable(WineGarbage));
  EXPECT_FALSE(usable("11025 Hz; 8 bits; M?no"));
  EXPECT_FALSE(usable("11025 Hz\x01; 8 bits"));
  EXPECT_FALSE(usable("\xe4\xb8\x80 11025"));
  EXPECT_FALSE(usable("22050 Hz; 8 bits; Mono"));  // describes another format
  EXPECT_FALSE(usable(std::string(128, '1')));     // no terminator inside the field
}

// The platform's own chooser, answered by a helper thread.
namespace {

BOOL CALLBACK MatchChooser(HWND candidate, LPARAM data) {
  DWORD process = 0;
  GetWindowThreadProcessId(candidate, &process);
  char cls[32] = "";
  GetClassNameA(candidate, cls, sizeof cls);
  if (process == GetCurrentProcessId() && lstrcmpA(cls, "#32770") == 0 &&
      IsWindowVisible(candidate) && candidate != g_context.mainWindow) {
    *reinterpret_cast<HWND*>(data) = candidate;
    return FALSE;
  }
  return TRUE;
}

HWND FindChooser() {
  HWND found = nullptr;
  EnumWindows(MatchChooser, reinterpret_cast<LPARAM>(&found));
  return found;
}

// Presses a button of the chooser as soon as it shows.
std::thread AnswerChooser(WPARAM button, std::atomic<bool>& answered) {
  return std::thread([button, &answered] {
    for (int i = 0; i < 1000 && !answered; ++i) {
      if (HWND chooser = FindChooser()) {
        // Answered as a user would: once the chooser has filled its tag and attribute lists.
        PollUntil(5000, [&] {
          return SendDlgItemMessageA(chooser, 101, CB_GETCOUNT, 0, 0) > 0 &&
                 SendDlgItemMessageA(chooser, 102, CB_GETCOUNT, 0, 0) > 0;
        });
        PostMessageA(chooser, WM_COMMAND, button, 0);
        answered = true;
        return;
      }
      Sleep(10);
    }
  });
}

}  // namespace

TEST_F(ChooseFormatTest, PlatformChooserNeverLeavesGarbageAsTheDescription) {
  std::atomic<bool> answered{false};
  std::thread helper = AnswerChooser(IDOK, answered);
  const int result = ChooseFormat(window.get());
  answered = true;
  helper.join();
  ASSERT_EQ(result, 0);
  // The chooser opened on the current format (PCM 11025 Hz mono 8-bit) and kept it.
  EXPECT_EQ(CurrentFormat->nSamplesPerSec, 11025u);
  EXPECT_TRUE(
      IsUsableFormatDescription(FormatDetailsText, sizeof FormatDetailsText, *CurrentFormat))
      << FormatDetailsText;
  EXPECT_STREQ(FormatDetailsText, "11025 Hz; 8 bits; Mono");
  EXPECT_STREQ(FormatTagName, "PCM");
  EXPECT_TRUE(boxes.boxes().empty());
}

TEST_F(ChooseFormatTest, PlatformChooserCancelledChangesNothing) {
  std::atomic<bool> answered{false};
  std::thread helper = AnswerChooser(IDCANCEL, answered);
  const int result = ChooseFormat(window.get());
  answered = true;
  helper.join();
  EXPECT_EQ(result, -1);
  ExpectUntouched();
  EXPECT_TRUE(boxes.boxes().empty());
}
