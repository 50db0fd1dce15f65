#include "convert_support.h"

#include <msacm.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/wave_devices.h"
#include "support/playback_file.h"
#include "support/poll.h"
#include "support/known_signal.h"
#include "support/test_support.h"
#include "support/wave_builder.h"
#include "support/wave_chunks.h"

namespace {

FormatBytes CopyFormat(const WAVEFORMATEX* format) {
  // The enumeration leaves stale bytes in cbSize of PCM records.
  const size_t size = format->wFormatTag == WAVE_FORMAT_PCM ? sizeof(WAVEFORMATEX)
                                                            : sizeof(WAVEFORMATEX) + format->cbSize;
  FormatBytes bytes(reinterpret_cast<const BYTE*>(format),
                    reinterpret_cast<const BYTE*>(format) + size);
  if (format->wFormatTag == WAVE_FORMAT_PCM)
    reinterpret_cast<WAVEFORMATEX*>(bytes.data())->cbSize = 0;
  return bytes;
}

BOOL CALLBACK CollectFormat(HACMDRIVERID, LPACMFORMATDETAILSA details, DWORD_PTR instance, DWORD) {
  auto& formats = *reinterpret_cast<std::vector<FormatBytes>*>(instance);
  FormatBytes bytes = CopyFormat(details->pwfx);
  if (std::find(formats.begin(), formats.end(), bytes) == formats.end()) formats.push_back(bytes);
  return TRUE;
}

}  // namespace

std::vector<FormatBytes> OfferedRecordingFormats() {
  DWORD maxSize = 0;
  acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &maxSize);
  std::vector<BYTE> buffer(std::max<DWORD>(maxSize, sizeof(WAVEFORMATEX)));
  ACMFORMATDETAILSA details{};
  details.cbStruct = sizeof(details);
  details.pwfx = reinterpret_cast<WAVEFORMATEX*>(buffer.data());
  details.cbwfx = static_cast<DWORD>(buffer.size());
  std::vector<FormatBytes> formats;
  acmFormatEnumA(nullptr, &details, CollectFormat, reinterpret_cast<DWORD_PTR>(&formats),
                 ACM_FORMATENUMF_INPUT);
  return formats;
}

FormatBytes OfferedFormat(WORD tag, WORD channels, DWORD rate) {
  for (const FormatBytes& bytes : OfferedRecordingFormats()) {
    const WAVEFORMATEX* format = AsFormat(bytes);
    if (format->wFormatTag == tag && format->nChannels == channels &&
        format->nSamplesPerSec == rate) {
      return bytes;
    }
  }
  return {};
}

FormatBytes PcmFormatBytes(WORD channels, DWORD rate, WORD bits) {
  const WAVEFORMATEX format = PcmWaveFormat(channels, rate, bits);
  return CopyFormat(&format);
}

std::string Describe(const WAVEFORMATEX* format) {
  char text[96];
  std::snprintf(text, sizeof(text), "tag %u, %u ch, %lu Hz, %u bits, block %u", format->wFormatTag,
                format->nChannels, static_cast<unsigned long>(format->nSamplesPerSec),
                format->wBitsPerSample, format->nBlockAlign);
  return text;
}

size_t Probe::count() {
  std::lock_guard guard(mutex);
  return returned.size();
}

DWORD Probe::total() {
  std::lock_guard guard(mutex);
  DWORD sum = 0;
  for (DWORD count : bytes) sum += count;
  return sum;
}

void Probe::Clear() {
  std::lock_guard guard(mutex);
  returned.clear();
  bytes.clear();
}

void CALLBACK OnProbe(HDRVR device, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR) {
  auto& probe = *reinterpret_cast<Probe*>(instance);
  if (message == WIM_OPEN || message == WOM_OPEN) ++probe.opens;
  if (message == WIM_CLOSE || message == WOM_CLOSE) ++probe.closes;
  if (message != WIM_DATA && message != WOM_DONE) return;
  auto* header = reinterpret_cast<WAVEHDR*>(param1);
  {
    std::lock_guard guard(probe.mutex);
    if (probe.device && reinterpret_cast<HANDLE>(device) != probe.device) probe.wrongHandle = true;
    probe.returned.push_back(header);
    probe.bytes.push_back(message == WIM_DATA ? header->dwBytesRecorded : header->dwBufferLength);
    if (message == WIM_DATA && probe.requeue) {
      ConvertingWaveInAddBuffer(reinterpret_cast<HWAVEIN>(device), header, sizeof(WAVEHDR));
    }
  }
  if (probe.onReturn) probe.onReturn(header);
}

namespace {

constexpr DWORD EngineBufferCapacity = 64000;

struct RecorderProbe {
  std::mutex mutex;
  HWAVEIN device = nullptr;
  bool recording = false;
  WAVEHDR headers[2]{};
  std::vector<BYTE> buffers[2];
  RecordRun* run = nullptr;
};

void CALLBACK OnInput(HWAVEIN device, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                      DWORD_PTR) {
  auto& probe = *reinterpret_cast<RecorderProbe*>(instance);
  std::lock_guard guard(probe.mutex);
  RecordRun& run = *probe.run;
  if (message == WIM_OPEN) ++run.opens;
  if (message == WIM_CLOSE) ++run.closes;
  if (message != WIM_DATA) return;
  if (probe.device && device != probe.device) run.wrongHandle = true;
  auto* header = reinterpret_cast<WAVEHDR*>(param1);
  if (!(header->dwFlags & WHDR_DONE) || (header->dwFlags & WHDR_INQUEUE)) {
    run.wrongOrderFlags = true;
  }
  if (!probe.recording) {
    ++run.returnedByReset;
    return;
  }
  run.order.push_back(header == &probe.headers[0] ? 0 : header == &probe.headers[1] ? 1 : -1);
  run.returnedBytes.push_back(header->dwBytesRecorded);
  run.data.insert(run.data.end(), header->lpData, header->lpData + header->dwBytesRecorded);
  ConvertingWaveInAddBuffer(device, header, sizeof(WAVEHDR));
}

// Coded bytes in `milliseconds` of sound, in whole blocks and at least one, from the sample
// rate and the samples a block holds (the block-coded formats say so in their first extra
// field; the others hold one per channel): the header's byte rate may be anything.
DWORD CodedBytesIn(const WAVEFORMATEX* format, DWORD milliseconds) {
  const DWORDLONG perBlock =
      format->cbSize >= sizeof(WORD) ? *reinterpret_cast<const WORD*>(format + 1) : 1;
  const DWORDLONG blocks =
      DWORDLONG{format->nSamplesPerSec} * milliseconds / 1000 / std::max<DWORDLONG>(perBlock, 1);
  return static_cast<DWORD>(std::max<DWORDLONG>(blocks, 1) * format->nBlockAlign);
}

}  // namespace

RecordRun RecordThroughDevices(const WAVEFORMATEX* format, DWORD milliseconds) {
  RecordRun run;
  RecorderProbe probe;
  probe.run = &run;
  HWAVEIN device = nullptr;
  run.openResult =
      ConvertingWaveInOpen(&device, WAVE_MAPPER, format, reinterpret_cast<DWORD_PTR>(&OnInput),
                           reinterpret_cast<DWORD_PTR>(&probe), CALLBACK_FUNCTION | WAVE_ALLOWSYNC);
  if (run.openResult != MMSYSERR_NOERROR) return run;
  run.converting = IsConvertingDevice(device);
  const DWORD chunk = EngineBufferCapacity - EngineBufferCapacity % format->nBlockAlign;
  {
    std::lock_guard guard(probe.mutex);
    probe.device = device;
    for (int i = 0; i < 2; ++i) {
      probe.buffers[i].assign(EngineBufferCapacity, 0);
      probe.headers[i].lpData = reinterpret_cast<LPSTR>(probe.buffers[i].data());
      probe.headers[i].dwBufferLength = chunk;
    }
  }
  ConvertingWaveInPrepareHeader(device, &probe.headers[0], sizeof(WAVEHDR));
  ConvertingWaveInPrepareHeader(device, &probe.headers[1], sizeof(WAVEHDR));
  ConvertingWaveInStart(device);
  ConvertingWaveInAddBuffer(device, &probe.headers[0], sizeof(WAVEHDR));
  {
    std::lock_guard guard(probe.mutex);
    probe.recording = true;
  }
  ConvertingWaveInAddBuffer(device, &probe.headers[1], sizeof(WAVEHDR));
  // The capture's length: until that much sound has reached the headers.
  const DWORD wanted = CodedBytesIn(format, milliseconds);
  PollUntil(5 * milliseconds + 10000, [&] {
    MMTIME now{};
    now.wType = TIME_BYTES;
    return ConvertingWaveInGetPosition(device, &now, sizeof(now)) == MMSYSERR_NOERROR &&
           now.u.cb >= wanted;
  });
  run.stopResult = ConvertingWaveInStop(device);
  MMTIME position{};
  position.wType = TIME_BYTES;
  ConvertingWaveInGetPosition(device, &position, sizeof(position));
  run.positionAfterStop = position.u.cb;
  {
    std::lock_guard guard(probe.mutex);
    probe.recording = false;
  }
  run.resetResult = ConvertingWaveInReset(device);
  const MMRESULT first =
      ConvertingWaveInUnprepareHeader(device, &probe.headers[0], sizeof(WAVEHDR));
  const MMRESULT second =
      ConvertingWaveInUnprepareHeader(device, &probe.headers[1], sizeof(WAVEHDR));
  run.unprepareResult = first != MMSYSERR_NOERROR ? first : second;
  run.closeResult = ConvertingWaveInClose(device);
  std::lock_guard guard(probe.mutex);
  return run;
}

namespace {

struct PlayerProbe {
  std::mutex mutex;
  HWAVEOUT device = nullptr;
  std::span<const BYTE> data;
  size_t next = 0;
  DWORD chunk = 0;
  WAVEHDR headers[2]{};
  std::vector<BYTE> buffers[2];
  int outstanding = 0;
  HANDLE finished = nullptr;
  PlayRun* run = nullptr;
  bool stopping = false;  // set before the reset: returned headers are not written again
};

// Fills a header with the next chunk; false when the data is used up.
bool Fill(PlayerProbe& probe, WAVEHDR& header) {
  if (probe.next >= probe.data.size()) return false;
  const size_t count = std::min<size_t>(probe.chunk, probe.data.size() - probe.next);
  std::memcpy(header.lpData, probe.data.data() + probe.next, count);
  header.dwBufferLength = static_cast<DWORD>(count);
  header.dwFlags = WHDR_PREPARED;
  probe.next += count;
  return true;
}

void CALLBACK OnOutput(HWAVEOUT device, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                       DWORD_PTR) {
  auto& probe = *reinterpret_cast<PlayerProbe*>(instance);
  std::lock_guard guard(probe.mutex);
  PlayRun& run = *probe.run;
  if (message == WOM_CLOSE) ++run.closes;
  if (message != WOM_DONE) return;
  if (probe.device && device != probe.device) run.wrongHandle = true;
  auto* header = reinterpret_cast<WAVEHDR*>(param1);
  run.order.push_back(header == &probe.headers[0] ? 0 : header == &probe.headers[1] ? 1 : -1);
  --probe.outstanding;
  if (!probe.stopping && Fill(probe, *header) &&
      ConvertingWaveOutWrite(device, header, sizeof(WAVEHDR)) == 0) {
    ++probe.outstanding;
  }
  if (probe.outstanding == 0) SetEvent(probe.finished);
}

}  // namespace

PlayRun PlayThroughDevices(const WAVEFORMATEX* format, std::span<const BYTE> data, DWORD chunk) {
  PlayRun run;
  PlayerProbe probe;
  probe.run = &run;
  probe.data = data;
  probe.chunk = chunk;
  probe.finished = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HWAVEOUT device = nullptr;
  run.openResult = ConvertingWaveOutOpen(
      &device, WAVE_MAPPER, format, reinterpret_cast<DWORD_PTR>(&OnOutput),
      reinterpret_cast<DWORD_PTR>(&probe), CALLBACK_FUNCTION | WAVE_ALLOWSYNC);
  if (run.openResult != MMSYSERR_NOERROR) {
    CloseHandle(probe.finished);
    return run;
  }
  run.converting = IsConvertingDevice(device);
  {
    std::lock_guard guard(probe.mutex);
    probe.device = device;
    for (int i = 0; i < 2; ++i) {
      probe.buffers[i].assign(chunk, 0);
      probe.headers[i].lpData = reinterpret_cast<LPSTR>(probe.buffers[i].data());
      probe.headers[i].dwBufferLength = chunk;
    }
  }
  ConvertingWaveOutPrepareHeader(device, &probe.headers[0], sizeof(WAVEHDR));
  ConvertingWaveOutPrepareHeader(device, &probe.headers[1], sizeof(WAVEHDR));
  for (WAVEHDR& header : probe.headers) {
    std::lock_guard guard(probe.mutex);
    if (Fill(probe, header) && ConvertingWaveOutWrite(device, &header, sizeof(WAVEHDR)) == 0) {
      ++probe.outstanding;
    }
  }
  const DWORD seconds =
      static_cast<DWORD>(data.size() / std::max<DWORD>(format->nAvgBytesPerSec, 1));
  // A generous bound: a busy machine plays slowly, never wrongly.
  const DWORD limit = GetTickCount() + 60000 + seconds * 4000;
  while (WaitForSingleObject(probe.finished, 50) == WAIT_TIMEOUT && GetTickCount() < limit) {
    MMTIME position{};
    position.wType = TIME_BYTES;
    ConvertingWaveOutGetPosition(device, &position, sizeof(position));
    run.positions.push_back(position.u.cb);
  }
  run.finished = WaitForSingleObject(probe.finished, 0) == WAIT_OBJECT_0;
  MMTIME position{};
  position.wType = TIME_BYTES;
  ConvertingWaveOutGetPosition(device, &position, sizeof(position));
  run.lastPosition = position.u.cb;
  {
    std::lock_guard guard(probe.mutex);
    probe.stopping = true;
  }
  ConvertingWaveOutReset(device);
  ConvertingWaveOutUnprepareHeader(device, &probe.headers[0], sizeof(WAVEHDR));
  ConvertingWaveOutUnprepareHeader(device, &probe.headers[1], sizeof(WAVEHDR));
  run.closeResult = ConvertingWaveOutClose(device);
  // The close notice may come from the device's thread after Close returns; the probe and
  // the run it writes must outlive it, or the callback writes into a finished stack frame.
  if (run.closeResult == MMSYSERR_NOERROR) {
    PollUntil(10000, [&] {
      std::lock_guard guard(probe.mutex);
      return run.closes > 0;
    });
  }
  WaitForPlayedFile();
  CloseHandle(probe.finished);
  std::lock_guard guard(probe.mutex);
  return run;
}

namespace {

// `source` converted from one format to the other by a compression manager stream; empty when
// the stream does not open or convert.
std::vector<BYTE> AcmConvert(const WAVEFORMATEX* from, const WAVEFORMATEX* to,
                             std::span<const BYTE> source, DWORD flags) {
  HACMSTREAM stream = nullptr;
  if (acmStreamOpen(&stream, nullptr, const_cast<WAVEFORMATEX*>(from),
                    const_cast<WAVEFORMATEX*>(to), nullptr, 0, 0, 0) != 0) {
    return {};
  }
  DWORD size = 0;
  acmStreamSize(stream, static_cast<DWORD>(source.size()), &size, ACM_STREAMSIZEF_SOURCE);
  std::vector<BYTE> input(source.begin(), source.end()), output(size);
  ACMSTREAMHEADER header{};
  header.cbStruct = sizeof(header);
  header.pbSrc = input.data();
  header.cbSrcLength = static_cast<DWORD>(input.size());
  header.pbDst = output.data();
  header.cbDstLength = size;
  bool converted = false;
  if (acmStreamPrepareHeader(stream, &header, 0) == 0) {
    converted = acmStreamConvert(stream, &header, ACM_STREAMCONVERTF_BLOCKALIGN | flags) == 0;
    acmStreamUnprepareHeader(stream, &header, 0);
  }
  acmStreamClose(stream, 0);
  output.resize(converted ? header.cbDstLengthUsed : 0);
  return output;
}

}  // namespace

std::vector<BYTE> ImaTone(const WAVEFORMATEX* ima, double seconds) {
  const WAVEFORMATEX pcm = PcmWaveFormat(ima->nChannels, ima->nSamplesPerSec, 16);
  std::vector<int16_t> samples(static_cast<size_t>(seconds * pcm.nSamplesPerSec) * pcm.nChannels);
  for (size_t i = 0; i < samples.size(); ++i) {
    samples[i] = static_cast<int16_t>(12000 * std::sin(i * 0.0627));
  }
  const auto* bytes = reinterpret_cast<const BYTE*>(samples.data());
  return AcmConvert(&pcm, ima, std::span(bytes, samples.size() * 2), ACM_STREAMCONVERTF_START);
}

std::vector<int16_t> DecodeToPcm16(const WAVEFORMATEX* coded, std::span<const BYTE> data) {
  const WAVEFORMATEX pcm = PcmWaveFormat(coded->nChannels, coded->nSamplesPerSec, 16);
  const size_t whole = data.size() - data.size() % coded->nBlockAlign;
  if (whole == 0) return {};
  const std::vector<BYTE> output =
      AcmConvert(coded, &pcm, data.first(whole), ACM_STREAMCONVERTF_START | ACM_STREAMCONVERTF_END);
  std::vector<int16_t> samples(output.size() / 2);
  std::memcpy(samples.data(), output.data(), samples.size() * 2);
  return samples;
}

namespace {

int16_t Cap16Sample(std::size_t frame, int channel) {
  const std::size_t at = frame * 4 + static_cast<std::size_t>(channel) * 2;
  return static_cast<int16_t>(KnownSignalByte(at) | (KnownSignalByte(at + 1) << 8));
}

}  // namespace

ExpectedSignal Cap16Signal(WORD channels) {
  const std::size_t frames = kKnownSignalPeriod / 4;
  if (channels == 2) {
    return {frames * 2, 2,
            [](std::size_t k) { return Cap16Sample(k / 2, static_cast<int>(k % 2)); }};
  }
  return {frames, 1, [](std::size_t k) {
            return static_cast<int16_t>((Cap16Sample(k, 0) + Cap16Sample(k, 1)) / 2);
          }};
}

ExpectedSignal Cap8Signal() {
  return {kKnownSignalPeriod, 1,
          [](std::size_t k) { return static_cast<int16_t>((KnownSignalByte(k) - 128) * 256); }};
}

double Correlation(std::span<const int16_t> a, std::span<const int16_t> b) {
  const std::size_t n = std::min(a.size(), b.size());
  if (n == 0) return 0.0;
  double sa = 0, sb = 0;
  for (std::size_t i = 0; i < n; ++i) {
    sa += a[i];
    sb += b[i];
  }
  const double ma = sa / n, mb = sb / n;
  double cab = 0, caa = 0, cbb = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const double da = a[i] - ma, db = b[i] - mb;
    cab += da * db;
    caa += da * da;
    cbb += db * db;
  }
  return caa > 0 && cbb > 0 ? cab / std::sqrt(caa * cbb) : 0.0;
}

namespace {

class BitString {
 public:
  explicit BitString(std::size_t bits) : words_((bits + 127) / 64, 0) {}
  void Set(std::size_t bit) { words_[bit / 64] |= uint64_t{1} << (bit % 64); }
  uint64_t Word(std::size_t bit) const {
    const std::size_t w = bit / 64, b = bit % 64;
    return b == 0 ? words_[w] : (words_[w] >> b) | (words_[w + 1] << (64 - b));
  }

 private:
  std::vector<uint64_t> words_;
};

}  // namespace

SignalFit FitSignal(const std::vector<int16_t>& decoded, const ExpectedSignal& expected,
                    std::size_t skipTail) {
  constexpr std::size_t Window = 4096;
  constexpr std::size_t Coarse = 512;
  SignalFit fit;
  // The capture may begin with silence; the signal is loud noise.
  std::size_t start = 0;
  while (start < decoded.size() && std::abs(decoded[start]) < 4000) ++start;
  start += 256;
  start -= start % expected.channels;
  if (decoded.size() < skipTail || start + Window > decoded.size() - skipTail) return fit;

  const std::size_t period = expected.periodSamples;
  BitString reference(period + Window);
  for (std::size_t k = 0; k < period + Window; ++k) {
    if (expected.sample(k % period) >= 0) reference.Set(k);
  }
  BitString window(Window);
  for (std::size_t k = 0; k < Window; ++k) {
    if (decoded[start + k] >= 0) window.Set(k);
  }
  std::size_t best = 0, bestOffset = 0;
  for (std::size_t offset = 0; offset < period; offset += expected.channels) {
    std::size_t agree = 0;
    for (std::size_t bit = 0; bit < Coarse; bit += 64) {
      agree += 64 - __builtin_popcountll(reference.Word(offset + bit) ^ window.Word(bit));
    }
    if (agree * 100 < Coarse * 55) continue;
    for (std::size_t bit = Coarse; bit < Window; bit += 64) {
      agree += 64 - __builtin_popcountll(reference.Word(offset + bit) ^ window.Word(bit));
    }
    if (agree > best) {
      best = agree;
      bestOffset = offset;
    }
  }
  // Chance agreement is half the window, give or take 1 %.
  if (best * 100 < Window * 60) return fit;
  fit.found = true;
  fit.decodedIndex = start;
  fit.signalIndex = bestOffset;
  fit.samples = decoded.size() - skipTail - start;
  std::vector<int16_t> reference16(fit.samples);
  for (std::size_t i = 0; i < fit.samples; ++i) {
    reference16[i] = expected.sample((bestOffset + i) % period);
  }
  fit.correlation =
      Correlation(std::span(decoded).subspan(start, fit.samples), std::span(reference16));
  return fit;
}

WaveFile ReadWave(const std::string& path) {
  const std::vector<unsigned char> bytes = ReadWholeFile(path);
  WaveFile wave;
  if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0) return wave;
  for (const RiffChunk& chunk : RiffChunks(bytes)) {
    if (chunk.id == "fmt ") {
      wave.format = ChunkPayload(bytes, chunk.payloadOffset, chunk.size);
      if (wave.format.size() < sizeof(WAVEFORMATEX)) wave.format.resize(sizeof(WAVEFORMATEX), 0);
    } else if (chunk.id == "data") {
      wave.data = ChunkPayload(bytes, chunk.payloadOffset, chunk.size);
    }
  }
  return wave;
}

std::vector<int16_t> ReadSamples(const std::string& path) {
  const std::vector<unsigned char> bytes = ReadWholeFile(path);
  std::vector<int16_t> samples(bytes.size() / 2);
  std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
  return samples;
}
