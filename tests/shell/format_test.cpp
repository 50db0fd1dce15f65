// The current format's start-up, release and describing texts.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "state/context.h"
#include "shell_fixture.h"
#include "wave/format.h"

namespace {

using MetricsFn = decltype(PlatformServices::acmMetrics);

const HWND Owner = reinterpret_cast<HWND>(0x1234);

// Every test starts and ends without a format block.
class FormatTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FreeFormat();
    FormatTagName[0] = 0;
    FormatDetailsText[0] = 0;
  }
  void TearDown() override { FreeFormat(); }
  MessageBoxCapture boxes;
};

MMRESULT WINAPI MetricsFail(HACMOBJ, UINT, LPVOID) {
  return MMSYSERR_NOTSUPPORTED;
}
MMRESULT WINAPI MetricsTen(HACMOBJ, UINT, LPVOID value) {
  *static_cast<DWORD*>(value) = 10;
  return MMSYSERR_NOERROR;
}

// Hands out blocks full of leftovers, so the start-up's own zeroing is what is seen.
HGLOBAL WINAPI AllocDirty(UINT flags, SIZE_T bytes) {
  HGLOBAL block = GlobalAlloc(flags, bytes);
  if (void* p = GlobalLock(block)) {
    std::memset(p, 0xCD, bytes);
    GlobalUnlock(block);
  }
  return block;
}

}  // namespace

TEST_F(FormatTest, StartsAsEightBitMonoPcmInAZeroedBlock) {
  ScopedService<AllocFn> dirty(sys.GlobalAlloc, AllocDirty);
  ASSERT_EQ(InitFormat(Owner), 0);
  ASSERT_NE(CurrentFormat, nullptr);
  ASSERT_GE(MaxFormatSize, 18u);
  const WAVEFORMATEX& f = *CurrentFormat;
  EXPECT_EQ(f.wFormatTag, WAVE_FORMAT_PCM);
  EXPECT_EQ(f.nChannels, 1);
  EXPECT_EQ(f.nSamplesPerSec, 11025u);
  EXPECT_EQ(f.nAvgBytesPerSec, 11025u);
  EXPECT_EQ(f.nBlockAlign, 1);
  EXPECT_EQ(f.wBitsPerSample, 8);
  EXPECT_EQ(f.cbSize, 0);
  const auto* bytes = reinterpret_cast<const unsigned char*>(CurrentFormat);
  for (DWORD i = 18; i < MaxFormatSize; ++i) EXPECT_EQ(bytes[i], 0) << "byte " << i;
  // The platform's own names for the default format.
  EXPECT_STREQ(FormatTagName, "PCM");
  EXPECT_STREQ(FormatDetailsText, "11025 Hz; 8 bits; Mono");
  EXPECT_TRUE(boxes.boxes().empty());
}

TEST_F(FormatTest, EachStartUpFailureHasItsMessage) {
  struct Case {
    MetricsFn metrics;
    AllocFn alloc;
    LockFn lock;
    int result;
    const char* message;
  };
  const Case cases[] = {
      {MetricsFail, sys.GlobalAlloc, sys.GlobalLock, -1,
       "Error getting the max compression format size."},
      {sys.acmMetrics, AllocFail, sys.GlobalLock, -2,
       "Error allocating local memory for WaveFormatEx structure."},
      {sys.acmMetrics, sys.GlobalAlloc, LockFail, -3, "Error locking WaveFormatEx memory."},
  };
  for (const Case& c : cases) {
    boxes.clear();
    {
      ScopedService<MetricsFn> metrics(sys.acmMetrics, c.metrics);
      ScopedService<AllocFn> alloc(sys.GlobalAlloc, c.alloc);
      ScopedService<LockFn> lock(sys.GlobalLock, c.lock);
      EXPECT_EQ(InitFormat(Owner), c.result);
    }
    EXPECT_EQ(CurrentFormat, nullptr);
    ASSERT_EQ(boxes.boxes().size(), 1u) << c.message;
    EXPECT_EQ(boxes.boxes()[0].text, c.message);
    EXPECT_EQ(boxes.boxes()[0].caption, "Error");
    EXPECT_EQ(boxes.boxes()[0].owner, Owner);
    EXPECT_EQ(boxes.boxes()[0].type, static_cast<UINT>(MB_OK));
    // What a failed start-up holds is released, twice without harm.
    FreeFormat();
    FreeFormat();
    EXPECT_EQ(CurrentFormat, nullptr);
  }
}

TEST_F(FormatTest, ABlockSmallerThanTheHeadIsNeverHandedOut) {
  ScopedService<MetricsFn> metrics(sys.acmMetrics, MetricsTen);
  ASSERT_EQ(InitFormat(Owner), 0);
  EXPECT_EQ(MaxFormatSize, 18u);
  EXPECT_EQ(CurrentFormat->nSamplesPerSec, 11025u);
}

TEST_F(FormatTest, ReleasingTwiceNeverFreesSomeoneElsesBlock) {
  ASSERT_EQ(InitFormat(Owner), 0);
  FreeFormat();
  EXPECT_EQ(CurrentFormat, nullptr);
  // The freed handle is likely handed out again; a second release must leave it alone.
  HGLOBAL other = GlobalAlloc(GMEM_MOVEABLE, MaxFormatSize);
  ASSERT_NE(other, nullptr);
  FreeFormat();
  EXPECT_NE(GlobalLock(other), nullptr);
  EXPECT_NE(GlobalSize(other), 0u);
  GlobalUnlock(other);
  GlobalFree(other);
  // And a release with nothing ever obtained is harmless too.
  FreeFormat();
}

TEST_F(FormatTest, TagNameLookupAsksForTheTagAndKeepsTheOldNameOnFailure) {
  ScopedService<TagDetailsFn> fake(sys.acmFormatTagDetailsA, TagDetailsFake);
  LoadFormatTagName(0x0011);
  EXPECT_EQ(g_tagRequest.dwFormatTag, 0x0011u);
  EXPECT_STREQ(FormatTagName, "Looked-up Tag");
  EXPECT_TRUE(boxes.boxes().empty());

  ScopedService<TagDetailsFn> failing(sys.acmFormatTagDetailsA, TagDetailsFail);
  LoadFormatTagName(0x0002);
  EXPECT_STREQ(FormatTagName, "Looked-up Tag");
  ASSERT_EQ(boxes.boxes().size(), 1u);
  EXPECT_EQ(boxes.boxes()[0].text, "Warning, FormatTagDetails function failed");
  EXPECT_EQ(boxes.boxes()[0].caption, "Error");
  EXPECT_EQ(boxes.boxes()[0].owner, nullptr);
}

TEST_F(FormatTest, DetailsLookupSizesTheFormatByCbSizeWithinTheBlock) {
  ASSERT_EQ(InitFormat(Owner), 0);
  ScopedService<DetailsFn> fake(sys.acmFormatDetailsA, DetailsFake);

  // PCM with cbSize 0: 18 bytes.
  EXPECT_EQ(LoadFormatDetails(CurrentFormat), 0);
  EXPECT_EQ(g_detailsRequest.dwFormatTag, 1u);
  EXPECT_EQ(g_detailsRequest.pwfx, CurrentFormat);
  EXPECT_EQ(g_detailsRequest.cbwfx, 18u);
  EXPECT_STREQ(FormatDetailsText, "looked up 11025 Hz");

  // A cbSize left over from an earlier format counts, for PCM too.
  CurrentFormat->cbSize = 2;
  LoadFormatDetails(CurrentFormat);
  EXPECT_EQ(g_detailsRequest.cbwfx, 20u);

  // A cbSize from a damaged file never lets the lookup read past the block.
  CurrentFormat->cbSize = 0xFFFF;
  LoadFormatDetails(CurrentFormat);
  EXPECT_EQ(g_detailsRequest.cbwfx, MaxFormatSize);
  EXPECT_TRUE(boxes.boxes().empty());

  ScopedService<DetailsFn> failing(sys.acmFormatDetailsA, DetailsFail);
  EXPECT_EQ(LoadFormatDetails(CurrentFormat), -1);
  EXPECT_STREQ(FormatDetailsText, "looked up 11025 Hz");
  ASSERT_EQ(boxes.boxes().size(), 1u);
  EXPECT_EQ(boxes.boxes()[0].text, "Warning, FormatDetails function failed");
  EXPECT_EQ(boxes.boxes()[0].owner, nullptr);
}

TEST_F(FormatTest, LookupWarningsDoNotFailTheStartUp) {
  ScopedService<TagDetailsFn> tag(sys.acmFormatTagDetailsA, TagDetailsFail);
  ScopedService<DetailsFn> details(sys.acmFormatDetailsA, DetailsFail);
  EXPECT_EQ(InitFormat(Owner), 0);
  EXPECT_NE(CurrentFormat, nullptr);
  EXPECT_STREQ(FormatTagName, "");
  EXPECT_STREQ(FormatDetailsText, "");
  ASSERT_EQ(boxes.boxes().size(), 2u);
  EXPECT_EQ(boxes.boxes()[0].text, "Warning, FormatTagDetails function failed");
  EXPECT_EQ(boxes.boxes()[1].text, "Warning, FormatDetails function failed");
}
