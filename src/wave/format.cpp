// The current format block, its texts and the format chooser. Runs on the window's thread,
// while no device is open whenever the format changes.
#include "wave/format.h"

#include <msacm.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "state/context.h"
#include "state/display.h"
#include "state/report.h"
#include "platform/owners.h"
#include "platform/services.h"

namespace {

// The head every format block starts with.
constexpr DWORD FormatHeadSize = sizeof(WAVEFORMATEX);
static_assert(FormatHeadSize == 18);

constexpr WAVEFORMATEX DefaultFormat{
    .wFormatTag = WAVE_FORMAT_PCM,
    .nChannels = 1,
    .nSamplesPerSec = 11025,
    .nAvgBytesPerSec = 11025,
    .nBlockAlign = 1,
    .wBitsPerSample = 8,
    .cbSize = 0,
};

// Owns the memory behind CurrentFormat from InitFormat to FreeFormat.
GlobalBlock g_formatBlock;

// Copies a fixed-size text field that may lack its terminator.
template <size_t N, size_t M>
void CopyTextField(char (&destination)[N], const char (&source)[M]) {
  const size_t length = std::min(strnlen(source, M), N - 1);
  std::memcpy(destination, source, length);
  destination[length] = 0;
}

// The digits of the text in order, separators dropped: "11.025 kHz" gives "11025".
bool MentionsNumber(std::string_view text, DWORD number) {
  char wanted[16];
  wsprintfA(wanted, "%lu", number);
  std::string digits;
  for (char c : text)
    if (c >= '0' && c <= '9') digits += c;
  return digits.find(wanted) != std::string::npos;
}

}  // namespace

bool IsUsableFormatDescription(const char* field, size_t fieldSize, const WAVEFORMATEX& format) {
  // Some choosers hand back an unconverted or uninitialised field; such text must never be
  // shown as the description. Every real description is plain printable text without
  // conversion placeholders ('?'), without padding blanks, and names the sample rate.
  const size_t length = strnlen(field, fieldSize);
  if (length == 0 || length == fieldSize) return false;
  const std::string_view text(field, length);
  if (text.front() == ' ' || text.back() == ' ') return false;
  for (unsigned char c : text)
    if (c < 0x20 || c > 0x7E || c == '?') return false;
  return MentionsNumber(text, format.nSamplesPerSec);
}

int InitFormat(HWND owner) {
  DWORD reported = 0;
  if (sys.acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &reported) != MMSYSERR_NOERROR)
    return ReportError(owner, "Error getting the max compression format size.", -1);
  // The default head is written into the block, so it is never smaller than the head even
  // if the compression manager claims a smaller maximum.
  MaxFormatSize = std::max(reported, FormatHeadSize);

  CurrentFormat = nullptr;
  if (!g_formatBlock.Allocate(GMEM_MOVEABLE, MaxFormatSize))
    return ReportError(owner, "Error allocating local memory for WaveFormatEx structure.", -2);
  if (!g_formatBlock.Lock()) return ReportError(owner, "Error locking WaveFormatEx memory.", -3);

  CurrentFormat = g_formatBlock.as<WAVEFORMATEX>();
  std::memset(CurrentFormat, 0, MaxFormatSize);
  *CurrentFormat = DefaultFormat;
  LoadFormatNames();
  return 0;
}

void FreeFormat() {
  g_formatBlock.Free();
  CurrentFormat = nullptr;
}

void LoadFormatTagName(WORD tag) {
  ACMFORMATTAGDETAILSA details{};
  details.cbStruct = sizeof details;
  details.dwFormatTag = tag;
  if (sys.acmFormatTagDetailsA(nullptr, &details, ACM_FORMATTAGDETAILSF_FORMATTAG) !=
      MMSYSERR_NOERROR) {
    ReportError(nullptr, "Warning, FormatTagDetails function failed");
    return;
  }
  CopyTextField(FormatTagName, details.szFormatTag);
}

int LoadFormatDetails(const WAVEFORMATEX* format) {
  ACMFORMATDETAILSA details{};
  details.cbStruct = sizeof details;
  details.dwFormatTag = format->wFormatTag;
  details.pwfx = const_cast<WAVEFORMATEX*>(format);
  details.cbwfx = format->cbSize + FormatHeadSize;
  // cbSize may come from a file; the lookup must not read past the format block.
  if (MaxFormatSize != 0) details.cbwfx = std::min(details.cbwfx, MaxFormatSize);
  if (sys.acmFormatDetailsA(nullptr, &details, ACM_FORMATDETAILSF_FORMAT) != MMSYSERR_NOERROR)
    return ReportError(nullptr, "Warning, FormatDetails function failed", -1);
  CopyTextField(FormatDetailsText, details.szFormat);
  return 0;
}

namespace {

// An extensible block whose subformat is plain PCM or IEEE float, and a plain IEEE float block,
// are described as that plain format, quietly: the compression manager may know neither the
// extensible tag nor the float one, yet the sound is as plain as any. False for every other
// block.
bool DescribeAsPlainFormat(const WAVEFORMATEX& format) {
  const WORD tag = format.wFormatTag == WAVE_FORMAT_IEEE_FLOAT ? WAVE_FORMAT_IEEE_FLOAT
                                                               : PlainTagOfExtensible(format);
  if (tag == 0) return false;
  WAVEFORMATEX plain = format;
  plain.wFormatTag = tag;
  plain.cbSize = 0;

  ACMFORMATTAGDETAILSA tagDetails{};
  tagDetails.cbStruct = sizeof tagDetails;
  tagDetails.dwFormatTag = tag;
  if (sys.acmFormatTagDetailsA(nullptr, &tagDetails, ACM_FORMATTAGDETAILSF_FORMATTAG) ==
      MMSYSERR_NOERROR)
    CopyTextField(FormatTagName, tagDetails.szFormatTag);
  else
    lstrcpynA(FormatTagName, tag == WAVE_FORMAT_PCM ? "PCM" : "IEEE Float", sizeof FormatTagName);

  ACMFORMATDETAILSA details{};
  details.cbStruct = sizeof details;
  details.dwFormatTag = tag;
  details.pwfx = &plain;
  details.cbwfx = sizeof plain;
  if (sys.acmFormatDetailsA(nullptr, &details, ACM_FORMATDETAILSF_FORMAT) == MMSYSERR_NOERROR) {
    CopyTextField(FormatDetailsText, details.szFormat);
    return true;
  }
  // The compression manager's own wording for plain formats.
  char channels[24];
  if (format.nChannels <= 2)
    lstrcpynA(channels, format.nChannels == 1 ? "Mono" : "Stereo", sizeof channels);
  else
    wsprintfA(channels, "%u channels", format.nChannels);
  wsprintfA(FormatDetailsText, "%lu Hz; %u bits; %s", format.nSamplesPerSec, format.wBitsPerSample,
            channels);
  return true;
}

}  // namespace

void LoadFormatNames() {
  if (!CurrentFormat || DescribeAsPlainFormat(*CurrentFormat)) return;
  LoadFormatTagName(CurrentFormat->wFormatTag);
  LoadFormatDetails(CurrentFormat);
}

int ChooseFormat(HWND owner) {
  if (!CurrentFormat) return -1;
  GlobalBlock saved;
  if (!saved.Allocate(GMEM_MOVEABLE, MaxFormatSize) || !saved.Lock())
    return ReportError(owner, "Error allocating temporary format buffer.", -1);
  std::memcpy(saved.address(), CurrentFormat, MaxFormatSize);

  ACMFORMATCHOOSEA chooser{};
  chooser.cbStruct = sizeof chooser;
  chooser.fdwStyle = ACMFORMATCHOOSE_STYLEF_INITTOWFXSTRUCT;
  chooser.hwndOwner = owner;
  chooser.pwfx = CurrentFormat;
  chooser.cbwfx = MaxFormatSize;
  chooser.pszTitle = "Select Compression";
  chooser.fdwEnum = ACM_FORMATENUMF_INPUT;

  const MMRESULT result = sys.acmFormatChooseA(&chooser);
  if (result != MMSYSERR_NOERROR) {
    // The chooser may have written anywhere in the block, past cbSize too.
    std::memcpy(CurrentFormat, saved.address(), MaxFormatSize);
    saved.Free();
    if (result == ACMERR_CANCELED) return -1;
    return ReportError(owner, "Error in FormatChoose function", -2);
  }

  if (IsUsableFormatDescription(chooser.szFormat, sizeof chooser.szFormat, *CurrentFormat)) {
    CopyTextField(FormatDetailsText, chooser.szFormat);
  } else {
    // Better no description than the previous format's, should the lookup fail too.
    FormatDetailsText[0] = 0;
    LoadFormatDetails(CurrentFormat);
  }
  LoadFormatTagName(CurrentFormat->wFormatTag);
  saved.Free();
  g_context.dataSize = 0;
  ShowPosition(owner, 0);
  UpdateControlStates(owner);
  return 0;
}

bool FormatIsUsable(const WAVEFORMATEX* format, DWORD blockSize) {
  if (!format || blockSize < sizeof(WAVEFORMATEX)) return false;
  if (format->nChannels == 0 || format->nSamplesPerSec == 0 || format->nAvgBytesPerSec == 0 ||
      format->nBlockAlign == 0 || format->nBlockAlign > BufferCapacity)
    return false;
  // The details lookup and the devices read cbSize format-specific bytes after the head.
  if (sizeof(WAVEFORMATEX) + format->cbSize > blockSize) return false;
  if (format->wFormatTag == WAVE_FORMAT_PCM) {
    const uint64_t sampleBytes = (static_cast<uint64_t>(format->wBitsPerSample) + 7) / 8;
    if (format->nBlockAlign != format->nChannels * sampleBytes) return false;
    if (format->nAvgBytesPerSec !=
        static_cast<uint64_t>(format->nSamplesPerSec) * format->nBlockAlign)
      return false;
  }
  return true;
}

DWORD BlocksInData(DWORD bytes) {
  if (!CurrentFormat || MaxFormatSize < sizeof(WAVEFORMATEX) || CurrentFormat->nBlockAlign == 0)
    return 0;
  // The trackbar counts in signed 32 bits.
  return std::min<DWORD>(bytes / CurrentFormat->nBlockAlign, 0x7FFFFFFF);
}
