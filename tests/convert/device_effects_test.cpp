// The effects the engine relies on, from the converting devices: headers back in order,
// Stop returning the partial header, Reset returning every header, positions in bytes of
// the chosen format, the close notice, and WINMM's rules for headers.
#include <gtest/gtest.h>

#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>
#include <msacm.h>

#include <cstring>

#include "convert_support.h"
#include "platform/wave_devices.h"
#include "support/poll.h"

namespace {

DWORD Position(HWAVEIN device) {
  MMTIME time{};
  time.wType = TIME_BYTES;
  ConvertingWaveInGetPosition(device, &time, sizeof(time));
  return time.u.cb;
}

DWORD Position(HWAVEOUT device) {
  MMTIME time{};
  time.wType = TIME_BYTES;
  ConvertingWaveOutGetPosition(device, &time, sizeof(time));
  return time.u.cb;
}

// Closes a device a test leaves open, resetting it first when buffers are still queued. A busy
// machine can keep Close answering "busy" while a returned buffer is still on its way; a
// device left open would hang the process at its exit.
template <typename Handle, typename Reset, typename Close>
void CloseWhenFree(Handle& device, Reset reset, Close close) {
  if (!device) return;
  MMRESULT result = MMSYSERR_NOERROR;
  const bool closed = PollUntil(
      30000,
      [&] {
        result = close(device);
        if (result == WAVERR_STILLPLAYING) reset(device);
        return result != MMSYSERR_HANDLEBUSY && result != WAVERR_STILLPLAYING;
      },
      50);
  EXPECT_TRUE(closed && result == MMSYSERR_NOERROR) << "the device would not close: " << result;
  device = nullptr;
}

class ConvertingInput : public ::testing::Test {
 protected:
  void SetUp() override {
    format = OfferedFormat(WAVE_FORMAT_IMA_ADPCM, 1, 11025);
    ASSERT_FALSE(format.empty());
    block = AsFormat(format)->nBlockAlign;
    ASSERT_EQ(ConvertingWaveInOpen(&device, WAVE_MAPPER, AsFormat(format),
                                   reinterpret_cast<DWORD_PTR>(&OnProbe),
                                   reinterpret_cast<DWORD_PTR>(&probe), ProbeFlags),
              static_cast<MMRESULT>(MMSYSERR_NOERROR));
    probe.device = device;
  }
  void TearDown() override { CloseWhenFree(device, ConvertingWaveInReset, ConvertingWaveInClose); }
  void Add(Header& h) {
    ConvertingWaveInPrepareHeader(device, &h.header, sizeof(WAVEHDR));
    ASSERT_EQ(ConvertingWaveInAddBuffer(device, &h.header, sizeof(WAVEHDR)),
              static_cast<MMRESULT>(MMSYSERR_NOERROR));
  }

  FormatBytes format;
  DWORD block = 0;
  HWAVEIN device = nullptr;
  Probe probe;
};

class ConvertingOutput : public ::testing::Test {
 protected:
  void SetUp() override {
    SetPlaybackDecoding(PlaybackDecoding::Always);
    format = OfferedFormat(WAVE_FORMAT_IMA_ADPCM, 1, 11025);
    ASSERT_FALSE(format.empty());
    tone = ImaTone(AsFormat(format), 8.0);
    ASSERT_GT(tone.size(), 40000u);
    ASSERT_EQ(ConvertingWaveOutOpen(&device, WAVE_MAPPER, AsFormat(format),
                                    reinterpret_cast<DWORD_PTR>(&OnProbe),
                                    reinterpret_cast<DWORD_PTR>(&probe), ProbeFlags),
              static_cast<MMRESULT>(MMSYSERR_NOERROR));
    probe.device = device;
  }
  void TearDown() override {
    CloseWhenFree(device, ConvertingWaveOutReset, ConvertingWaveOutClose);
    SetPlaybackDecoding(PlaybackDecoding::WhenMapperRefuses);
  }
  void Write(Header& h, size_t from) {
    std::memcpy(h.data.data(), tone.data() + from, h.header.dwBufferLength);
    ConvertingWaveOutPrepareHeader(device, &h.header, sizeof(WAVEHDR));
    ASSERT_EQ(ConvertingWaveOutWrite(device, &h.header, sizeof(WAVEHDR)),
              static_cast<MMRESULT>(MMSYSERR_NOERROR));
  }

  FormatBytes format;
  std::vector<BYTE> tone;
  HWAVEOUT device = nullptr;
  Probe probe;
};

}  // namespace

TEST_F(ConvertingInput, HeadersComeBackInTheOrderAddedHoldingWholeBlocks) {
  EXPECT_TRUE(IsConvertingDevice(device));
  EXPECT_EQ(probe.opens, 1);
  // Room for four blocks and a bit: the bit is never filled with half a block.
  Header headers[3] = {Header(4 * block + 100), Header(4 * block + 100), Header(4 * block + 100)};
  probe.requeue = true;
  ASSERT_EQ(ConvertingWaveInStart(device), static_cast<MMRESULT>(MMSYSERR_NOERROR));
  for (Header& h : headers) Add(h);
  ASSERT_TRUE(PollUntil(30000, [&] { return probe.count() >= 12; }));
  probe.requeue = false;
  ConvertingWaveInStop(device);
  ConvertingWaveInReset(device);
  std::lock_guard guard(probe.mutex);
  EXPECT_FALSE(probe.wrongHandle);
  for (size_t i = 0; i < 12; ++i) {
    EXPECT_EQ(probe.returned[i], &headers[i % 3].header) << i;
    EXPECT_EQ(probe.bytes[i], 4 * block) << i;
  }
}

TEST_F(ConvertingInput, StopReturnsThePartialHeaderAndResetTheRest) {
  Header first(64000 - 64000 % block), second(64000 - 64000 % block);
  ASSERT_EQ(ConvertingWaveInStart(device), static_cast<MMRESULT>(MMSYSERR_NOERROR));
  Add(first);
  Add(second);
  // Some sound captured into the first header, which is far from full.
  ASSERT_TRUE(PollUntil(30000, [&] { return Position(device) > 0; }));
  EXPECT_EQ(probe.count(), 0u);
  ASSERT_EQ(ConvertingWaveInStop(device), static_cast<MMRESULT>(MMSYSERR_NOERROR));
  {
    // Already back when Stop returns, with what was captured, in whole blocks.
    std::lock_guard guard(probe.mutex);
    ASSERT_EQ(probe.returned.size(), 1u);
    EXPECT_EQ(probe.returned[0], &first.header);
    EXPECT_GT(probe.bytes[0], 0u);
    EXPECT_EQ(probe.bytes[0] % block, 0u);
    EXPECT_EQ(Position(device), probe.bytes[0]);
    EXPECT_TRUE(first.header.dwFlags & WHDR_DONE);
    EXPECT_FALSE(first.header.dwFlags & WHDR_INQUEUE);
  }
  // A queued header cannot be unprepared, nor the device closed.
  EXPECT_EQ(ConvertingWaveInUnprepareHeader(device, &second.header, sizeof(WAVEHDR)),
            static_cast<MMRESULT>(WAVERR_STILLPLAYING));
  EXPECT_EQ(ConvertingWaveInClose(device), static_cast<MMRESULT>(WAVERR_STILLPLAYING));
  ASSERT_EQ(ConvertingWaveInReset(device), static_cast<MMRESULT>(MMSYSERR_NOERROR));
  {
    std::lock_guard guard(probe.mutex);
    ASSERT_EQ(probe.returned.size(), 2u);
    EXPECT_EQ(probe.returned[1], &second.header);
    EXPECT_EQ(probe.bytes[1], 0u);
  }
  EXPECT_EQ(Position(device), 0u);
  EXPECT_EQ(ConvertingWaveInUnprepareHeader(device, &first.header, sizeof(WAVEHDR)), 0u);
  EXPECT_EQ(ConvertingWaveInUnprepareHeader(device, &second.header, sizeof(WAVEHDR)), 0u);
  EXPECT_EQ(ConvertingWaveInClose(device), static_cast<MMRESULT>(MMSYSERR_NOERROR));
  device = nullptr;
  EXPECT_EQ(probe.closes, 1);
}

TEST_F(ConvertingInput, StartAfterStopRecordsOn) {
  Header h(64000 - 64000 % block);
  ASSERT_EQ(ConvertingWaveInStart(device), static_cast<MMRESULT>(MMSYSERR_NOERROR));
  Add(h);
  ASSERT_TRUE(PollUntil(30000, [&] { return Position(device) > 0; }));
  ConvertingWaveInStop(device);
  ASSERT_EQ(probe.count(), 1u);
  const DWORD before = Position(device);
  Add(h);
  ASSERT_EQ(ConvertingWaveInStart(device), static_cast<MMRESULT>(MMSYSERR_NOERROR));
  ASSERT_TRUE(PollUntil(30000, [&] { return Position(device) > before; }));
  ConvertingWaveInStop(device);
  std::lock_guard guard(probe.mutex);
  ASSERT_EQ(probe.returned.size(), 2u);
  EXPECT_GT(probe.bytes[1], 0u);
  EXPECT_EQ(probe.bytes[1] % block, 0u);
}

TEST_F(ConvertingInput, HeadersFollowWinmmRules) {
  Header unprepared(4096);
  EXPECT_EQ(ConvertingWaveInAddBuffer(device, &unprepared.header, sizeof(WAVEHDR)),
            static_cast<MMRESULT>(WAVERR_UNPREPARED));
  // Too short for one block, it would come back empty for ever.
  Header tiny(block - 1);
  ConvertingWaveInPrepareHeader(device, &tiny.header, sizeof(WAVEHDR));
  EXPECT_EQ(ConvertingWaveInAddBuffer(device, &tiny.header, sizeof(WAVEHDR)),
            static_cast<MMRESULT>(MMSYSERR_INVALPARAM));
  MMTIME small{};
  EXPECT_EQ(ConvertingWaveInGetPosition(device, &small, 4),
            static_cast<MMRESULT>(MMSYSERR_INVALPARAM));
}

TEST(UncompressedDevices, GoStraightToWinmm) {
  const FormatBytes pcm = PcmFormatBytes(1, 11025, 8);
  HWAVEIN input = nullptr;
  ASSERT_EQ(ConvertingWaveInOpen(&input, WAVE_MAPPER, AsFormat(pcm), 0, 0, CALLBACK_NULL), 0u);
  EXPECT_FALSE(IsConvertingDevice(input));
  EXPECT_EQ(ConvertingWaveInClose(input), 0u);
  HWAVEOUT output = nullptr;
  SetPlaybackDecoding(PlaybackDecoding::Always);
  ASSERT_EQ(ConvertingWaveOutOpen(&output, WAVE_MAPPER, AsFormat(pcm), 0, 0, CALLBACK_NULL), 0u);
  EXPECT_FALSE(IsConvertingDevice(output));
  EXPECT_EQ(ConvertingWaveOutClose(output), 0u);
  SetPlaybackDecoding(PlaybackDecoding::WhenMapperRefuses);
}

TEST_F(ConvertingOutput, ResetReturnsEveryHeaderAtOnceAndRestartsThePosition) {
  EXPECT_TRUE(IsConvertingDevice(device));
  EXPECT_EQ(probe.opens, 1);
  const DWORD length = 20 * AsFormat(format)->nBlockAlign;
  Header headers[3] = {Header(length), Header(length), Header(length)};
  for (size_t i = 0; i < 3; ++i) Write(headers[i], i * length);
  ASSERT_TRUE(PollUntil(30000, [&] { return Position(device) > 0; }));
  EXPECT_EQ(ConvertingWaveOutClose(device), static_cast<MMRESULT>(WAVERR_STILLPLAYING));
  ASSERT_EQ(ConvertingWaveOutReset(device), static_cast<MMRESULT>(MMSYSERR_NOERROR));
  {
    std::lock_guard guard(probe.mutex);
    ASSERT_EQ(probe.returned.size(), 3u);
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(probe.returned[i], &headers[i].header);
  }
  EXPECT_EQ(Position(device), 0u);
  // Sound written after the reset plays, counted from 0.
  Write(headers[0], 0);
  ASSERT_TRUE(PollUntil(30000, [&] { return probe.count() == 4; }));
  EXPECT_EQ(Position(device), length);
  EXPECT_FALSE(probe.wrongHandle);
}

TEST_F(ConvertingOutput, HeadersWithoutAWholeBlockComeBackToo) {
  Header partial(100), empty(0), whole(AsFormat(format)->nBlockAlign * 3);
  Write(partial, 0);
  ASSERT_TRUE(PollUntil(30000, [&] { return probe.count() == 1; }));
  Write(whole, 0);
  Write(empty, 0);
  ASSERT_TRUE(PollUntil(30000, [&] { return probe.count() == 3; }));
  std::lock_guard guard(probe.mutex);
  EXPECT_EQ(probe.returned[1], &whole.header);
  EXPECT_EQ(probe.returned[2], &empty.header);
}

TEST(ConvertingPlayback, ManySmallHeadersRefilledFromTheCallbackKeepTheirOrder) {
  SetPlaybackDecoding(PlaybackDecoding::Always);
  const FormatBytes format = OfferedFormat(WAVE_FORMAT_MULAW, 2, 22050);
  ASSERT_FALSE(format.empty());
  std::vector<BYTE> data(AsFormat(format)->nAvgBytesPerSec * 3);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<BYTE>(i * 7);
  const PlayRun run = PlayThroughDevices(AsFormat(format), data, 1001 * 2);
  SetPlaybackDecoding(PlaybackDecoding::WhenMapperRefuses);
  ASSERT_EQ(run.openResult, static_cast<MMRESULT>(MMSYSERR_NOERROR));
  EXPECT_TRUE(run.converting);
  EXPECT_TRUE(run.finished);
  EXPECT_GT(run.order.size(), 60u);
  for (size_t i = 0; i < run.order.size(); ++i) EXPECT_EQ(run.order[i], static_cast<int>(i % 2));
  EXPECT_EQ(run.lastPosition, data.size());
  EXPECT_EQ(run.closes, 1);
}
