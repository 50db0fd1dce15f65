// What kind of format a block holds beyond its head: the plain format an extensible block
// stands for, and whether any codec can decode a compressed one.
// Window's thread (Open, New and the format texts).
#include <windows.h>
#include <mmreg.h>
#include <msacm.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "wave/format.h"
#include "wave/wave_file_internal.h"

namespace {

// The extensible block's fields past the head: valid bits, channel mask, then the subformat.
constexpr size_t SubFormatOffset = sizeof(WAVEFORMATEX) + 2 + 4;
constexpr WORD ExtensibleExtraSize = 22;
// Subformats {tttttttt-0000-0010-8000-00AA00389B71} carry a plain format tag in their first field.
constexpr BYTE BaseGuidTail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                   0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

struct ChannelRange {
  WORD tag;
  WORD most;
};
// The codecs' own limits: ADPCM and the G.711 laws code one or two channels, GSM 6.10 one.
constexpr ChannelRange CodecChannels[] = {
    {WAVE_FORMAT_ADPCM, 2}, {WAVE_FORMAT_IMA_ADPCM, 2}, {WAVE_FORMAT_ALAW, 2},
    {WAVE_FORMAT_MULAW, 2}, {WAVE_FORMAT_GSM610, 1},
};

bool IsPcmFamily(WORD tag) {
  return tag == WAVE_FORMAT_PCM || tag == WAVE_FORMAT_IEEE_FLOAT || tag == WAVE_FORMAT_EXTENSIBLE;
}

}  // namespace

WORD PlainTagOfExtensible(const WAVEFORMATEX& format) {
  if (format.wFormatTag != WAVE_FORMAT_EXTENSIBLE || format.cbSize < ExtensibleExtraSize ||
      MaxFormatSize < sizeof(WAVEFORMATEX) + ExtensibleExtraSize)
    return 0;
  const auto* subFormat = reinterpret_cast<const BYTE*>(&format) + SubFormatOffset;
  DWORD tag;
  std::memcpy(&tag, subFormat, sizeof tag);
  if (std::memcmp(subFormat + 4, BaseGuidTail, sizeof BaseGuidTail) != 0) return 0;
  return tag == WAVE_FORMAT_PCM || tag == WAVE_FORMAT_IEEE_FLOAT ? static_cast<WORD>(tag) : 0;
}

namespace wave_detail {

bool FormatIsDecodable(const WAVEFORMATEX* format) {
  if (IsPcmFamily(format->wFormatTag)) return true;
  for (const ChannelRange& range : CodecChannels)
    if (range.tag == format->wFormatTag && format->nChannels > range.most) return false;
  // Where a codec is installed for the tag, it must accept this header for decoding.
  std::vector<BYTE> pcm(std::max<size_t>(MaxFormatSize, sizeof(WAVEFORMATEX)));
  auto* suggested = reinterpret_cast<WAVEFORMATEX*>(pcm.data());
  suggested->wFormatTag = WAVE_FORMAT_PCM;
  if (acmFormatSuggest(nullptr, const_cast<WAVEFORMATEX*>(format), suggested,
                       static_cast<DWORD>(pcm.size()),
                       ACM_FORMATSUGGESTF_WFORMATTAG) == MMSYSERR_NOERROR)
    return true;
  ACMFORMATTAGDETAILSA details{};
  details.cbStruct = sizeof details;
  details.dwFormatTag = format->wFormatTag;
  const bool codecKnowsTag =
      acmFormatTagDetailsA(nullptr, &details, ACM_FORMATTAGDETAILSF_FORMATTAG) == MMSYSERR_NOERROR;
  // A tag no codec knows is left to the devices, as before; the name lookups say so.
  return !codecKnowsTag;
}

}  // namespace wave_detail
