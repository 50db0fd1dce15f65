// Helpers of the converting-device tests (convert_support.h): the offered formats, an
// independent decoder, the known signal and the search for it, and reading wave files.
#include "convert_support.h"

#include <msacm.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "support/playback_file.h"
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
