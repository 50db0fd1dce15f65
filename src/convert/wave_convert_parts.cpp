// What the converting input and output devices share: copies of formats, the choice of a PCM
// partner for a compressed format, the compression-manager stream with its buffers, the queue
// of a caller's headers, the caller's callback and the count of running callbacks, and the
// question of which formats this computer can record. Open's and Close's pieces and
// CanRecordFormat run on the caller's thread (the window's); conversions and
// ClientCallback::Send run on whichever thread is driving the device: the platform's device
// thread, or the caller's inside a write, Stop, Reset or Close.
#include "convert/wave_convert_parts.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/wave_devices.h"

namespace wave_convert {

bool FormatCopy::Assign(const WAVEFORMATEX* format) {
  const size_t size = format->wFormatTag == WAVE_FORMAT_PCM ? sizeof(WAVEFORMATEX)
                                                            : sizeof(WAVEFORMATEX) + format->cbSize;
  try {
    bytes_.assign(size, 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  // A PCM record may come without its cbSize field; the copy then says 0.
  std::memcpy(bytes_.data(), format,
              format->wFormatTag == WAVE_FORMAT_PCM ? sizeof(PCMWAVEFORMAT) : size);
  return true;
}

namespace {

bool StreamConverts(const WAVEFORMATEX* from, const WAVEFORMATEX* to) {
  HACMSTREAM stream = nullptr;
  return acmStreamOpen(&stream, nullptr, const_cast<WAVEFORMATEX*>(from),
                       const_cast<WAVEFORMATEX*>(to), nullptr, 0, 0, ACM_STREAMOPENF_QUERY) == 0;
}

bool Converts(const WAVEFORMATEX* coded, bool encode, const WAVEFORMATEX& pcm) {
  if (pcm.nBlockAlign == 0 || pcm.nAvgBytesPerSec == 0 ||
      pcm.nAvgBytesPerSec > MaxPcmBytesPerSecond) {
    return false;
  }
  return encode ? StreamConverts(&pcm, coded) : StreamConverts(coded, &pcm);
}

}  // namespace

bool FindPcmPartner(const WAVEFORMATEX* coded, bool encode, WAVEFORMATEX& pcm) {
  if (coded->nChannels == 0 || coded->nSamplesPerSec == 0 || coded->nBlockAlign == 0) {
    return false;
  }
  WAVEFORMATEX suggested{};
  suggested.wFormatTag = WAVE_FORMAT_PCM;
  if (acmFormatSuggest(nullptr, const_cast<WAVEFORMATEX*>(coded), &suggested, sizeof(suggested),
                       ACM_FORMATSUGGESTF_WFORMATTAG) == 0 &&
      suggested.wFormatTag == WAVE_FORMAT_PCM && suggested.nBlockAlign != 0) {
    suggested.cbSize = 0;
    if (Converts(coded, encode, suggested)) {
      pcm = suggested;
      return true;
    }
  }
  WAVEFORMATEX built{};
  built.wFormatTag = WAVE_FORMAT_PCM;
  built.nChannels = coded->nChannels;
  built.nSamplesPerSec = coded->nSamplesPerSec;
  built.wBitsPerSample = 16;
  const uint64_t blockAlign = uint64_t{built.nChannels} * 2;
  const uint64_t byteRate = uint64_t{built.nSamplesPerSec} * blockAlign;
  if (blockAlign > 0xFFFF || byteRate > MaxPcmBytesPerSecond) return false;
  built.nBlockAlign = static_cast<WORD>(blockAlign);
  built.nAvgBytesPerSec = static_cast<DWORD>(byteRate);
  if (!Converts(coded, encode, built)) return false;
  pcm = built;
  return true;
}

void FormatTagText(WORD tag, char* text, size_t size) {
  ACMFORMATTAGDETAILSA details{};
  details.cbStruct = sizeof(details);
  details.dwFormatTag = tag;
  if (acmFormatTagDetailsA(nullptr, &details, ACM_FORMATTAGDETAILSF_FORMATTAG) == 0 &&
      details.szFormatTag[0] != '\0') {
    std::snprintf(text, size, "%.*s", static_cast<int>(sizeof(details.szFormatTag)),
                  details.szFormatTag);
  } else {
    std::snprintf(text, size, "format %u", tag);
  }
}

MMRESULT AcmConverter::Open(const WAVEFORMATEX* from, const WAVEFORMATEX* to) {
  Close();
  const MMRESULT result = acmStreamOpen(&stream_, nullptr, const_cast<WAVEFORMATEX*>(from),
                                        const_cast<WAVEFORMATEX*>(to), nullptr, 0, 0, 0);
  if (result != 0) stream_ = nullptr;
  return result;
}

MMRESULT AcmConverter::Allocate(DWORD sourceCapacity) {
  if (!stream_ || prepared_) return MMSYSERR_ERROR;
  if (sourceCapacity == 0 || sourceCapacity > MaxConvertBytes) return MMSYSERR_NOMEM;
  DWORD targetCapacity = 0;
  MMRESULT result = acmStreamSize(stream_, sourceCapacity, &targetCapacity, ACM_STREAMSIZEF_SOURCE);
  if (result != 0) return result;
  if (targetCapacity == 0) return MMSYSERR_ERROR;
  if (targetCapacity > MaxConvertBytes) return MMSYSERR_NOMEM;
  try {
    source_.assign(sourceCapacity, 0);
    target_.assign(targetCapacity, 0);
  } catch (const std::bad_alloc&) {
    source_ = {};
    target_ = {};
    return MMSYSERR_NOMEM;
  }
  header_ = ACMSTREAMHEADER{};
  header_.cbStruct = sizeof(header_);
  header_.pbSrc = source_.data();
  header_.cbSrcLength = sourceCapacity;
  header_.pbDst = target_.data();
  header_.cbDstLength = targetCapacity;
  result = acmStreamPrepareHeader(stream_, &header_, 0);
  if (result != 0) return result;
  prepared_ = true;
  return 0;
}

void AcmConverter::Close() {
  if (prepared_) {
    // The stream checks that the header still describes the prepared buffers.
    header_.cbSrcLength = sourceCapacity();
    header_.cbDstLength = targetCapacity();
    acmStreamUnprepareHeader(stream_, &header_, 0);
    prepared_ = false;
  }
  if (stream_) acmStreamClose(stream_, 0);
  stream_ = nullptr;
}

DWORD AcmConverter::SourceBytesFor(DWORD outputBytes) const {
  DWORD source = 0;
  if (acmStreamSize(stream_, outputBytes, &source, ACM_STREAMSIZEF_DESTINATION) != 0) return 0;
  return source;
}

MMRESULT AcmConverter::Convert(DWORD bytes, bool start, DWORD& used, DWORD& produced) {
  used = 0;
  produced = 0;
  if (bytes == 0) return 0;
  header_.cbSrcLength = bytes;
  header_.cbDstLength = targetCapacity();
  header_.cbSrcLengthUsed = 0;
  header_.cbDstLengthUsed = 0;
  const DWORD flags = ACM_STREAMCONVERTF_BLOCKALIGN | (start ? ACM_STREAMCONVERTF_START : 0);
  const MMRESULT result = acmStreamConvert(stream_, &header_, flags);
  if (result != 0) return result;
  used = header_.cbSrcLengthUsed <= bytes ? header_.cbSrcLengthUsed : bytes;
  produced = header_.cbDstLengthUsed <= targetCapacity() ? header_.cbDstLengthUsed : 0;
  return 0;
}

void HeaderList::Push(WAVEHDR* header) {
  header->lpNext = nullptr;
  if (tail_) {
    tail_->lpNext = header;
  } else {
    head_ = header;
  }
  tail_ = header;
}

bool HeaderList::Remove(WAVEHDR* header) {
  WAVEHDR* previous = nullptr;
  for (WAVEHDR* item = head_; item; previous = item, item = item->lpNext) {
    if (item != header) continue;
    (previous ? previous->lpNext : head_) = item->lpNext;
    if (tail_ == item) tail_ = previous;
    item->lpNext = nullptr;
    return true;
  }
  return false;
}

WAVEHDR* HeaderList::Pop() {
  WAVEHDR* header = head_;
  if (!header) return nullptr;
  head_ = header->lpNext;
  if (!head_) tail_ = nullptr;
  header->lpNext = nullptr;
  return header;
}

bool IsSupportedCallbackKind(DWORD openFlags) {
  switch (openFlags & CALLBACK_TYPEMASK) {
    case CALLBACK_NULL:
    case CALLBACK_FUNCTION:
    case CALLBACK_WINDOW:
    case CALLBACK_THREAD:
    case CALLBACK_EVENT:
      return true;
    default:
      return false;
  }
}

void ClientCallback::Send(HANDLE device, UINT message, DWORD_PTR param1) const {
  switch (kind) {
    case CALLBACK_FUNCTION:
      if (target) {
        reinterpret_cast<LPDRVCALLBACK>(target)(reinterpret_cast<HDRVR>(device), message, instance,
                                                param1, 0);
      }
      break;
    case CALLBACK_WINDOW:
      // The window messages MM_WIM_* / MM_WOM_* have the same numbers as WIM_* / WOM_*.
      PostMessageA(reinterpret_cast<HWND>(target), message, reinterpret_cast<WPARAM>(device),
                   static_cast<LPARAM>(param1));
      break;
    case CALLBACK_THREAD:
      PostThreadMessageA(static_cast<DWORD>(target), message, reinterpret_cast<WPARAM>(device),
                         static_cast<LPARAM>(param1));
      break;
    case CALLBACK_EVENT:
      SetEvent(reinterpret_cast<HANDLE>(target));
      break;
    default:
      break;
  }
}

namespace {
thread_local const void* t_device = nullptr;
thread_local int t_depth = 0;
}  // namespace

CallbackScope::CallbackScope(const void* device, std::atomic<int>& active)
    : active_(&active), savedDevice_(t_device), savedDepth_(t_depth) {
  if (t_device == device) {
    ++t_depth;
  } else {
    t_device = device;
    t_depth = 1;
  }
  ++*active_;
}

void CallbackScope::End() {
  if (!active_) return;
  --*active_;
  active_ = nullptr;
  t_device = savedDevice_;
  t_depth = savedDepth_;
}

int CallbackScope::OwnDepth(const void* device) {
  return t_device == device ? t_depth : 0;
}

void WaitForCallbacks(std::unique_lock<std::mutex>& lock, std::condition_variable& changed,
                      const void* device, const std::atomic<int>& active) {
  const int own = CallbackScope::OwnDepth(device);
  changed.wait(lock, [&] { return active <= own; });
}

DWORD PadToWholeBlocks(BYTE* source, DWORD carried, DWORD block, DWORD capacity, BYTE silence) {
  carried = std::min(carried, capacity);
  if (block == 0) return 0;
  const DWORD partial = carried % block;
  if (partial == 0) return carried;
  const DWORD whole = carried - partial;
  if (block - partial > capacity - carried) return whole;
  std::memset(source + carried, silence, block - partial);
  return whole + block;
}

}  // namespace wave_convert

bool IsUncompressedFormat(const WAVEFORMATEX* format) {
  return format &&
         (format->wFormatTag == WAVE_FORMAT_PCM || format->wFormatTag == WAVE_FORMAT_IEEE_FLOAT ||
          format->wFormatTag == WAVE_FORMAT_EXTENSIBLE);
}

bool CanRecordFormat(const WAVEFORMATEX* format, char* why, size_t whySize) {
  if (why && whySize) why[0] = '\0';
  if (!format) return false;
  if (IsUncompressedFormat(format)) return true;
  WAVEFORMATEX pcm{};
  if (format->nBlockAlign != 0 && wave_convert::FindPcmPartner(format, true, pcm)) return true;
  if (why && whySize) {
    char tag[64];
    wave_convert::FormatTagText(format->wFormatTag, tag, sizeof(tag));
    std::snprintf(why, whySize,
                  "This computer cannot record in the %s format: it has no encoder for it.  "
                  "Choose another format with File New, or play files in this format.",
                  tag);
  }
  return false;
}

WinmmWaveCalls winmm;
