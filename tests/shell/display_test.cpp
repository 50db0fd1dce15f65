// Time, size and caption texts, as the user reads them.
#include <gtest/gtest.h>

#include <string>

#include "state/context.h"
#include "state/display.h"
#include "resources/resource.h"
#include "shell_fixture.h"
#include "wave/format.h"

namespace {

// Points CurrentFormat at a local format with the given byte rate for the scope.
class RateFormat {
 public:
  explicit RateFormat(DWORD bytesPerSecond) : saved_(CurrentFormat) {
    format_.nAvgBytesPerSec = bytesPerSecond;
    format_.nBlockAlign = 1;
    CurrentFormat = &format_;
  }
  ~RateFormat() { CurrentFormat = saved_; }

 private:
  WAVEFORMATEX format_{};
  WAVEFORMATEX* saved_;
};

std::string SizeText(DWORD bytes) {
  char text[32];
  FormatDataSize(bytes, text, sizeof text);
  return text;
}

}  // namespace

TEST(TimeText, FollowsTheWorkedTable) {
  struct Row {
    DWORD bytes, rate;
    int tenths;
    const char* text;
  };
  const Row rows[] = {
      {0, 11025, 0, "00:00.0"},
      {1, 11025, 0, "00:00.0"},
      {11024, 11025, 9, "00:00.9"},
      {33075, 11025, 30, "00:03.0"},
      {6615000, 11025, 6000, "10:00.0"},
      {39689999, 11025, 35999, "59:59.9"},
      {39690000, 11025, 36000, "00:00.0"},
      {40408830, 11025, 36652, "01:05.2"},
      {158782050, 44100, 36005, "00:00.5"},
      {0, 0, 0, "00:00.0"},
      {123456789, 0, 0, "00:00.0"},
      {0xFFFFFFFF, 0, 0, "00:00.0"},
  };
  for (const Row& row : rows) {
    RateFormat format(row.rate);
    EXPECT_EQ(BytesToTenths(row.bytes), row.tenths) << row.bytes << " at " << row.rate;
    EXPECT_EQ(ShownTime(row.bytes, row.rate), row.text) << row.bytes << " at " << row.rate;
  }
}

TEST(TimeText, TenthsAreTheLow32BitsOfTheExactProduct) {
  // (2^32 - 1) bytes at 1 byte per second is 42,949,672,950 tenths; its low 32 bits read
  // as signed are -10.
  RateFormat format(1);
  EXPECT_EQ(BytesToTenths(0xFFFFFFFF), -10);
  EXPECT_EQ(BytesToTenths(214748364), 2147483640);
}

TEST(TimeText, NoFormatMeansZero) {
  WAVEFORMATEX* saved = CurrentFormat;
  CurrentFormat = nullptr;
  EXPECT_EQ(BytesToTenths(11025), 0);
  CurrentFormat = saved;
}

TEST(DataSizeText, RoundsHalfUpInASevenCharacterField) {
  EXPECT_EQ(SizeText(0), "    0.0 KB");
  EXPECT_EQ(SizeText(51), "    0.0 KB");
  EXPECT_EQ(SizeText(256), "    0.3 KB");
  EXPECT_EQ(SizeText(768), "    0.8 KB");
  EXPECT_EQ(SizeText(1280), "    1.3 KB");
  EXPECT_EQ(SizeText(33075), "   32.3 KB");
  EXPECT_EQ(SizeText(1048576), " 1024.0 KB");
  EXPECT_EQ(SizeText(104857600), "102400.0 KB");
  EXPECT_EQ(SizeText(0xFFFFFFFF), "4194304.0 KB");
  EXPECT_EQ(SizeText(1023), "    1.0 KB");
  EXPECT_EQ(SizeText(1075), "    1.0 KB");  // 1.0498...: stays below the half
}

TEST(StatusTexts, LandInTheirControlsAndTheCaption) {
  PrivateUserRegistry registry;
  ScopedService<decltype(PlatformServices::waveInGetNumDevs)> devices(sys.waveInGetNumDevs,
                                                                      OneCaptureDevice);
  MainWindow window;
  ASSERT_TRUE(window.get());
  EXPECT_EQ(WindowCaption(window.get()), "Audio Recorder");
  EXPECT_EQ(DialogText(window.get(), IDC_DATASIZE), "0.0KB");

  ShowPosition(window.get(), 33075);
  ShowLength(window.get(), 6615000);
  ShowDataSize(window.get(), 256);
  EXPECT_EQ(DialogText(window.get(), IDC_POSITION), "00:03.0");
  EXPECT_EQ(DialogText(window.get(), IDC_LENGTH), "10:00.0");
  EXPECT_EQ(DialogText(window.get(), IDC_DATASIZE), "    0.3 KB");

  lstrcpyA(g_context.fileTitle, "take.wav");
  ShowFileTitle(window.get());
  EXPECT_EQ(WindowCaption(window.get()), "Audio Recorder - take.wav");

  // A long name is shown whole, not cut at 79 characters.
  const std::string longName = std::string(200, 'n') + ".wav";
  lstrcpyA(g_context.fileTitle, longName.c_str());
  ShowFileTitle(window.get());
  EXPECT_EQ(WindowCaption(window.get()), "Audio Recorder - " + longName);
}
