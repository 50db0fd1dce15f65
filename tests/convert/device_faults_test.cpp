// The converting devices against hostile headers and unlucky devices: a header's byte rate
// sizes nothing, Close never frees a device under a callback, Reset hands headers back only
// once the device is reset, a refused buffer neither stalls recording nor hangs playback, and
// Stop keeps the tail and counts only what reaches the caller.
#include <gtest/gtest.h>

#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <mutex>
#include <set>
#include <thread>

#include "convert/wave_convert_parts.h"
#include "convert_support.h"
#include "platform/wave_devices.h"
#include "support/fake_wave_device.h"
#include "support/poll.h"

namespace {

SIZE_T PeakWorkingSet() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof(counters);
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
  return counters.PeakWorkingSetSize;
}

// The converting devices over fake devices, in IMA ADPCM 11025 Hz mono.
class OverFakes : public ::testing::Test {
 protected:
  void SetUp() override {
    in.returnOnCaller = out.returnOnCaller = true;
    SetPlaybackDecoding(PlaybackDecoding::Always);
    format = OfferedFormat(WAVE_FORMAT_IMA_ADPCM, 1, 11025);
    ASSERT_FALSE(format.empty());
    block = AsFormat(format)->nBlockAlign;
    tone = ImaTone(AsFormat(format), 2.0);
    ASSERT_GT(tone.size(), 40 * block);
  }
  void TearDown() override { SetPlaybackDecoding(PlaybackDecoding::WhenMapperRefuses); }

  HWAVEIN OpenIn() {
    HWAVEIN device = nullptr;
    EXPECT_EQ(ConvertingWaveInOpen(&device, WAVE_MAPPER, AsFormat(format),
                                   reinterpret_cast<DWORD_PTR>(&OnProbe),
                                   reinterpret_cast<DWORD_PTR>(&client), ProbeFlags),
              0u);
    return device;
  }
  HWAVEOUT OpenOut() {
    HWAVEOUT device = nullptr;
    EXPECT_EQ(ConvertingWaveOutOpen(&device, WAVE_MAPPER, AsFormat(format),
                                    reinterpret_cast<DWORD_PTR>(&OnProbe),
                                    reinterpret_cast<DWORD_PTR>(&client), ProbeFlags),
              0u);
    return device;
  }
  void Add(HWAVEIN device, Header& h) {
    ConvertingWaveInPrepareHeader(device, &h.header, sizeof(WAVEHDR));
    ASSERT_EQ(ConvertingWaveInAddBuffer(device, &h.header, sizeof(WAVEHDR)), 0u);
  }
  MMRESULT Write(HWAVEOUT device, Header& h) {
    std::memcpy(h.data.data(), tone.data(), h.header.dwBufferLength);
    ConvertingWaveOutPrepareHeader(device, &h.header, sizeof(WAVEHDR));
    return ConvertingWaveOutWrite(device, &h.header, sizeof(WAVEHDR));
  }

  FakeWaveDevice in{FakeWaveDevice::Kind::In, 0};
  FakeWaveDevice out{FakeWaveDevice::Kind::Out, 0};
  FakeWaveBinding below{&in, &out, FakeWaveBinding::Seam::UnderConverting};
  Probe client;
  FormatBytes format;
  DWORD block = 0;
  std::vector<BYTE> tone;
};

}  // namespace

// A file's header may say anything about its byte rate; Wine's IMA ADPCM codec ignores it.
TEST(HostileHeaders, AByteRateFromAFileSizesNothing) {
  SetPlaybackDecoding(PlaybackDecoding::Always);
  for (const DWORD rate : {0u, 0x40000000u, 0x7FFFFFFFu}) {
    SCOPED_TRACE(rate);
    FormatBytes format = OfferedFormat(WAVE_FORMAT_IMA_ADPCM, 1, 11025);
    ASSERT_FALSE(format.empty());
    const std::vector<BYTE> tone = ImaTone(AsFormat(format), 1.0);
    reinterpret_cast<WAVEFORMATEX*>(format.data())->nAvgBytesPerSec = rate;
    const SIZE_T before = PeakWorkingSet();

    const RecordRun recorded = RecordThroughDevices(AsFormat(format), 500);
    ASSERT_EQ(recorded.openResult, 0u);
    EXPECT_GT(recorded.data.size(), 0u);
    EXPECT_EQ(recorded.closeResult, 0u);
    const PlayRun played = PlayThroughDevices(AsFormat(format), tone, 16 * 256);
    ASSERT_EQ(played.openResult, 0u);
    EXPECT_TRUE(played.converting);
    EXPECT_TRUE(played.finished);
    EXPECT_EQ(played.closeResult, 0u);

    EXPECT_LT(PeakWorkingSet() - before, SIZE_T{64} << 20);
  }
  SetPlaybackDecoding(PlaybackDecoding::WhenMapperRefuses);
}

TEST_F(OverFakes, OutputCloseKeepsTheDeviceWhileACompletionIsOnItsWay) {
  out.Pause();
  const HWAVEOUT device = OpenOut();
  Header h(20 * block);
  ASSERT_EQ(Write(device, h), 0u);
  // The device has taken a buffer off its queue and not yet called back.
  WAVEHDR* onItsWay = out.TakeFront();
  ASSERT_NE(onItsWay, nullptr);
  ASSERT_EQ(ConvertingWaveOutReset(device), 0u);
  ASSERT_EQ(client.count(), 1u);
  ASSERT_EQ(ConvertingWaveOutUnprepareHeader(device, &h.header, sizeof(WAVEHDR)), 0u);
  ASSERT_EQ(ConvertingWaveOutClose(device), static_cast<MMRESULT>(MMSYSERR_HANDLEBUSY));
  EXPECT_TRUE(IsConvertingDevice(device));
  std::thread([&] { out.Complete(onItsWay); }).join();
  EXPECT_EQ(ConvertingWaveOutClose(device), 0u);
}

TEST_F(OverFakes, InputCloseKeepsTheDeviceWhileACallbackRuns) {
  const HWAVEIN device = OpenIn();
  HANDLE entered = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::atomic<bool> inside{false};
  // A slow disk write.
  client.onReturn = [&](WAVEHDR*) {
    inside = true;
    SetEvent(entered);
    WaitForSingleObject(release, 30000);
    inside = false;
  };
  Header h(4 * block);
  Add(device, h);
  ASSERT_EQ(ConvertingWaveInStart(device), 0u);
  ASSERT_EQ(WaitForSingleObject(entered, 10000), WAIT_OBJECT_0);
  const MMRESULT busy = ConvertingWaveInClose(device);
  SetEvent(release);
  ASSERT_EQ(busy, static_cast<MMRESULT>(MMSYSERR_HANDLEBUSY));
  EXPECT_TRUE(IsConvertingDevice(device));
  ASSERT_TRUE(PollUntil(10000, [&] { return !inside; }));
  ConvertingWaveInReset(device);
  ConvertingWaveInUnprepareHeader(device, &h.header, sizeof(WAVEHDR));
  EXPECT_EQ(ConvertingWaveInClose(device), 0u);
  CloseHandle(entered);
  CloseHandle(release);
}

TEST_F(OverFakes, CloseFromTheDevicesOwnCallbackIsRefused) {
  const HWAVEIN input = OpenIn();
  const HWAVEOUT output = OpenOut();
  std::atomic<int> answers{0};
  std::atomic<MMRESULT> inputAnswer{0}, outputAnswer{0};
  client.onReturn = [&](WAVEHDR* header) {
    if (header->dwFlags & WHDR_INQUEUE) return;
    if (header->dwBytesRecorded != 0) {
      inputAnswer = ConvertingWaveInClose(input);
    } else {
      outputAnswer = ConvertingWaveOutClose(output);
    }
    ++answers;
  };
  Header recorded(4 * block), played(8 * block);
  Add(input, recorded);
  ASSERT_EQ(ConvertingWaveInStart(input), 0u);
  ASSERT_TRUE(PollUntil(10000, [&] { return answers == 1; }));
  ASSERT_EQ(Write(output, played), 0u);
  ASSERT_TRUE(PollUntil(10000, [&] { return answers == 2; }));
  EXPECT_EQ(inputAnswer, static_cast<MMRESULT>(MMSYSERR_HANDLEBUSY));
  EXPECT_EQ(outputAnswer, static_cast<MMRESULT>(MMSYSERR_HANDLEBUSY));
  client.onReturn = nullptr;
  ConvertingWaveInReset(input);
  EXPECT_EQ(ConvertingWaveInClose(input), 0u);
  EXPECT_EQ(ConvertingWaveOutClose(output), 0u);
}

// A completion while the device resets must not hand the caller its headers early: what the
// caller writes again at once would be cut off by the reset (a reposition would skip it).
TEST_F(OverFakes, OutputResetReturnsHeadersOnlyOnceTheDeviceIsReset) {
  out.Pause();
  const HWAVEOUT device = OpenOut();
  Header first(8 * block), second(8 * block);
  ASSERT_EQ(Write(device, first), 0u);
  ASSERT_EQ(Write(device, second), 0u);
  ASSERT_GT(out.Queued(), 0);
  out.onReset = [&] { std::thread([&] { out.CompleteFront(); }).join(); };
  std::set<WAVEHDR*> rewritten;
  client.onReturn = [&](WAVEHDR* header) {
    if (!rewritten.insert(header).second) return;
    header->dwFlags = WHDR_PREPARED;
    ConvertingWaveOutWrite(device, header, sizeof(WAVEHDR));
  };
  ASSERT_EQ(ConvertingWaveOutReset(device), 0u);
  out.onReset = nullptr;
  EXPECT_EQ(client.count(), 2u);
  // Everything written again is heard whole.
  out.Resume();
  ASSERT_TRUE(PollUntil(10000, [&] { return client.count() == 4; }));
  const auto* ima = reinterpret_cast<const IMAADPCMWAVEFORMAT*>(format.data());
  EXPECT_EQ(out.BytesSinceReset(), 16u * ima->wSamplesPerBlock * 2);
  client.onReturn = nullptr;
  EXPECT_EQ(ConvertingWaveOutClose(device), 0u);
}

TEST_F(OverFakes, AFailedReAddOfACaptureBufferDoesNotStallRecording) {
  // Eight buffers go in at Start; the tenth add is the second one handed back.
  in.fail.refuseQueueNumber = 10;
  const HWAVEIN device = OpenIn();
  client.onReturn = [&](WAVEHDR* header) {
    ConvertingWaveInAddBuffer(reinterpret_cast<HWAVEIN>(device), header, sizeof(WAVEHDR));
  };
  Header first(4 * block), second(4 * block);
  Add(device, first);
  Add(device, second);
  ASSERT_EQ(ConvertingWaveInStart(device), 0u);
  EXPECT_TRUE(PollUntil(10000, [&] { return client.count() >= 40; })) << client.count();
  client.onReturn = nullptr;
  ConvertingWaveInStop(device);
  ConvertingWaveInReset(device);
  EXPECT_EQ(ConvertingWaveInClose(device), 0u);
}

TEST_F(OverFakes, AWriteTheDeviceRefusesNeverLeavesPlaybackHanging) {
  // First write refused: nothing plays, so the caller must hear of it at once. Second write
  // refused: the first buffer's completion brings the headers back.
  for (const int refused : {1, 2}) {
    SCOPED_TRACE(refused);
    out.fail.refuseQueueNumber = refused;
    out.fail.refuseEveryLater = true;
    const HWAVEOUT device = OpenOut();
    Header h(20 * block);
    const MMRESULT result = Write(device, h);
    if (result != 0) {
      EXPECT_FALSE(h.header.dwFlags & WHDR_INQUEUE);
    } else {
      EXPECT_TRUE(PollUntil(3000, [&] { return client.count() == 1; }))
          << "the header never came back";
    }
    ConvertingWaveOutReset(device);
    EXPECT_EQ(ConvertingWaveOutUnprepareHeader(device, &h.header, sizeof(WAVEHDR)), 0u);
    EXPECT_EQ(ConvertingWaveOutClose(device), 0u);
    client.Clear();
    out.fail.refuseQueueNumber = 0;
  }
}

// The device goes away during compressed playback: the caller refills from its completion, and
// that write, with nothing left playing, is refused to it as a write outside the callback is.
// A header far longer than the device's buffers is never wholly decoded: it comes back too.
TEST_F(OverFakes, AWriteRefusedInsideTheCallbackIsToldToTheCaller) {
  tone = ImaTone(AsFormat(format), 12.0);
  for (const DWORD length : {20 * block, static_cast<DWORD>(tone.size() - tone.size() % block)}) {
    SCOPED_TRACE(length);
    const HWAVEOUT device = OpenOut();
    Header h(length);
    std::atomic<MMRESULT> rewrite{0};
    std::atomic<int> rewrites{0};
    client.onReturn = [&](WAVEHDR* header) {
      if (rewrites++ == 0) rewrite = ConvertingWaveOutWrite(device, header, sizeof(WAVEHDR));
    };
    // The device goes away only once the first write has queued all it can: a refusal among
    // its own pieces would be told to that write instead, depending on how fast they play.
    out.Pause();
    ASSERT_EQ(Write(device, h), 0u);
    out.fail.refuseQueueNumber = 1;
    out.fail.refuseEveryLater = true;
    out.Resume();
    ASSERT_TRUE(PollUntil(3000, [&] { return rewrites > 0; })) << "the header never came back";
    EXPECT_NE(rewrite.load(), 0u) << "the refused write was swallowed";
    EXPECT_FALSE(h.header.dwFlags & WHDR_INQUEUE);
    client.onReturn = nullptr;
    out.fail.refuseQueueNumber = 0;
    ConvertingWaveOutReset(device);
    EXPECT_EQ(ConvertingWaveOutUnprepareHeader(device, &h.header, sizeof(WAVEHDR)), 0u);
    EXPECT_EQ(ConvertingWaveOutClose(device), 0u);
    client.Clear();
  }
}

// At Stop the encoder may hold more than one block (a codec that took nothing of them): the
// last partial block is completed with silence, within the buffer, and no carried byte is lost.
TEST(EncoderTail, CarriedBytesBeyondOneBlockArePaddedWithinTheBuffer) {
  constexpr DWORD kBlock = 1010;
  constexpr DWORD kCapacity = 4 * kBlock + 500;
  const struct {
    DWORD carried;
    DWORD whole;  // the bytes that make whole blocks afterwards
  } cases[] = {{500, kBlock},
               {kBlock, kBlock},
               {kBlock + 1, 2 * kBlock},
               {3 * kBlock + 7, 4 * kBlock},
               {4 * kBlock + 499, 4 * kBlock}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.carried);
    std::vector<BYTE> source(kCapacity + 64, 0x11);
    for (DWORD i = 0; i < c.carried; ++i) source[i] = static_cast<BYTE>(i * 7 + 1);
    const std::vector<BYTE> before = source;
    EXPECT_EQ(wave_convert::PadToWholeBlocks(source.data(), c.carried, kBlock, kCapacity, 0x80),
              c.whole);
    EXPECT_TRUE(std::equal(source.begin(), source.begin() + c.carried, before.begin()));
    for (DWORD i = c.carried; i < c.whole; ++i) ASSERT_EQ(source[i], 0x80) << i;
    EXPECT_TRUE(std::equal(source.begin() + std::max(c.carried, c.whole), source.end(),
                           before.begin() + std::max(c.carried, c.whole)))
        << "written past the padding";
  }
}

// Sound captured while the caller had no header queued waits in the converting device; Stop
// hands it all over to a caller still adding headers. Beyond the device's backlog sound is
// lost, as on a device with no buffer, and the position counts it: the caller can tell what
// it missed.
TEST_F(OverFakes, StopKeepsTheTailAndCountsWhatWasLost) {
  const auto* ima = reinterpret_cast<const IMAADPCMWAVEFORMAT*>(format.data());
  const DWORD pcmPerBlock = ima->wSamplesPerBlock * 2;
  for (const int buffers : {12, 40}) {
    SCOPED_TRACE(buffers);
    in.captureBudget = buffers;
    const HWAVEIN device = OpenIn();
    ASSERT_EQ(ConvertingWaveInStart(device), 0u);
    ASSERT_TRUE(PollUntil(10000, [&] { return in.Captures() == buffers; }));
    client.onReturn = [&](WAVEHDR* header) {
      ConvertingWaveInAddBuffer(device, header, sizeof(WAVEHDR));
    };
    Header first(block), second(block);
    Add(device, first);
    Add(device, second);
    ASSERT_EQ(ConvertingWaveInStop(device), 0u);
    client.onReturn = nullptr;
    MMTIME position{};
    position.wType = TIME_BYTES;
    ConvertingWaveInGetPosition(device, &position, sizeof(position));
    const DWORD captured = static_cast<DWORD>(in.Captured());
    const DWORD everything = (captured + pcmPerBlock - 1) / pcmPerBlock * block;
    EXPECT_EQ(position.u.cb, everything);
    if (buffers == 12) {
      EXPECT_EQ(client.total(), everything);
    }
    EXPECT_LE(client.total(), everything);
    ConvertingWaveInReset(device);
    EXPECT_EQ(ConvertingWaveInClose(device), 0u);
    client.Clear();
  }
}
