#include "scripted_device.h"

#include <chrono>

namespace {

using DeviceCallback = void(CALLBACK*)(HANDLE, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR);

ScriptedDevice* g_in = nullptr;
ScriptedDevice* g_out = nullptr;

template <ScriptedDevice** Bound, auto Member, typename Handle, typename... Args>
MMRESULT WINAPI Forward(Handle handle, Args... args) {
  ScriptedDevice* device = *Bound;
  return device && reinterpret_cast<HANDLE>(handle) == reinterpret_cast<HANDLE>(device)
             ? (device->*Member)(args...)
             : MMSYSERR_INVALHANDLE;
}

MMRESULT WINAPI InOpen(LPHWAVEIN handle, UINT, LPCWAVEFORMATEX, DWORD_PTR callback,
                       DWORD_PTR instance, DWORD flags) {
  if (flags & WAVE_FORMAT_QUERY) return MMSYSERR_NOERROR;
  HANDLE opened = nullptr;
  const MMRESULT result = g_in->Open(&opened, callback, instance);
  *handle = static_cast<HWAVEIN>(opened);
  return result;
}

MMRESULT WINAPI OutOpen(LPHWAVEOUT handle, UINT, LPCWAVEFORMATEX, DWORD_PTR callback,
                        DWORD_PTR instance, DWORD flags) {
  if (flags & WAVE_FORMAT_QUERY) return MMSYSERR_NOERROR;
  HANDLE opened = nullptr;
  const MMRESULT result = g_out->Open(&opened, callback, instance);
  *handle = static_cast<HWAVEOUT>(opened);
  return result;
}

void MarkDone(WAVEHDR* header) {
  header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
}

}  // namespace

ScriptedDevice::ScriptedDevice(Kind kind) : kind_(kind), thread_([this] { Run(); }) {}

ScriptedDevice::~ScriptedDevice() {
  {
    std::lock_guard lock(lock_);
    quit_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void ScriptedDevice::Notify(UINT message, WAVEHDR* header) {
  if (callback_) {
    reinterpret_cast<DeviceCallback>(callback_)(reinterpret_cast<HANDLE>(this), message, instance_,
                                                reinterpret_cast<DWORD_PTR>(header), 0);
  }
}

WAVEHDR* ScriptedDevice::PopFront() {
  if (queue_.empty()) return nullptr;
  WAVEHDR* header = queue_.front();
  queue_.pop_front();
  if (kind_ == Kind::In) {
    // Sound a codec can take: a slow wave in 16 bits.
    auto* samples = reinterpret_cast<short*>(header->lpData);
    for (DWORD i = 0; i < header->dwBufferLength / 2; ++i) {
      samples[i] = static_cast<short>(((captured_ / 2 + i) % 200) * 100 - 10000);
    }
    header->dwBytesRecorded = header->dwBufferLength;
    captured_ += header->dwBufferLength;
    ++captures_;
  }
  position_ += header->dwBufferLength;
  MarkDone(header);
  return header;
}

void ScriptedDevice::Run() {
  std::unique_lock lock(lock_);
  while (!quit_) {
    const bool ready = autoComplete && !queue_.empty() && (kind_ == Kind::Out || started_) &&
                       (kind_ == Kind::Out || captureBudget != 0);
    if (!ready) {
      wake_.wait_for(lock, std::chrono::milliseconds(2));
      continue;
    }
    if (kind_ == Kind::In && captureBudget > 0) --captureBudget;
    WAVEHDR* header = PopFront();
    lock.unlock();
    Notify(kind_ == Kind::In ? WIM_DATA : WOM_DONE, header);
    lock.lock();
  }
}

WAVEHDR* ScriptedDevice::TakeFront() {
  std::lock_guard lock(lock_);
  return PopFront();
}

void ScriptedDevice::Complete(WAVEHDR* header) {
  Notify(kind_ == Kind::In ? WIM_DATA : WOM_DONE, header);
}

int ScriptedDevice::Queued() {
  std::lock_guard lock(lock_);
  return static_cast<int>(queue_.size());
}

MMRESULT ScriptedDevice::Open(HANDLE* handle, DWORD_PTR callback, DWORD_PTR instance) {
  std::lock_guard lock(lock_);
  callback_ = callback;
  instance_ = instance;
  *handle = reinterpret_cast<HANDLE>(this);
  return MMSYSERR_NOERROR;
}

MMRESULT ScriptedDevice::Prepare(WAVEHDR* header, UINT) {
  header->dwFlags |= WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT ScriptedDevice::Unprepare(WAVEHDR* header, UINT) {
  std::lock_guard lock(lock_);
  if (header->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
  header->dwFlags &= ~WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT ScriptedDevice::Queue(WAVEHDR* header, UINT) {
  {
    std::lock_guard lock(lock_);
    ++queueCount_;
    const int refused = refuseNumber;
    if (refused != 0 && (queueCount_ == refused || (refuseEveryLater && queueCount_ > refused))) {
      return MMSYSERR_NODRIVER;
    }
    header->dwFlags = (header->dwFlags | WHDR_INQUEUE) & ~WHDR_DONE;
    queue_.push_back(header);
  }
  wake_.notify_all();
  return MMSYSERR_NOERROR;
}

MMRESULT ScriptedDevice::Start() {
  {
    std::lock_guard lock(lock_);
    started_ = true;
  }
  wake_.notify_all();
  return MMSYSERR_NOERROR;
}

MMRESULT ScriptedDevice::Stop() {
  std::lock_guard lock(lock_);
  started_ = false;
  return MMSYSERR_NOERROR;
}

MMRESULT ScriptedDevice::Reset() {
  if (onReset) onReset();
  std::deque<WAVEHDR*> returned;
  {
    std::lock_guard lock(lock_);
    started_ = false;
    returned.swap(queue_);
    position_ = 0;
  }
  for (WAVEHDR* header : returned) {
    if (kind_ == Kind::In) header->dwBytesRecorded = 0;
    MarkDone(header);
    Notify(kind_ == Kind::In ? WIM_DATA : WOM_DONE, header);
  }
  return MMSYSERR_NOERROR;
}

MMRESULT ScriptedDevice::Position(MMTIME* time, UINT) {
  time->wType = TIME_BYTES;
  time->u.cb = position_;
  return MMSYSERR_NOERROR;
}

MMRESULT ScriptedDevice::Close() {
  std::lock_guard lock(lock_);
  if (!queue_.empty()) return WAVERR_STILLPLAYING;
  return MMSYSERR_NOERROR;
}

ScriptedDevicesBelow::ScriptedDevicesBelow(ScriptedDevice* in, ScriptedDevice* out)
    : saved_(winmm) {
  g_in = in;
  g_out = out;
  if (in) {
    winmm.waveInOpen = InOpen;
    winmm.waveInPrepareHeader = Forward<&g_in, &ScriptedDevice::Prepare>;
    winmm.waveInUnprepareHeader = Forward<&g_in, &ScriptedDevice::Unprepare>;
    winmm.waveInAddBuffer = Forward<&g_in, &ScriptedDevice::Queue>;
    winmm.waveInStart = Forward<&g_in, &ScriptedDevice::Start>;
    winmm.waveInStop = Forward<&g_in, &ScriptedDevice::Stop>;
    winmm.waveInReset = Forward<&g_in, &ScriptedDevice::Reset>;
    winmm.waveInGetPosition = Forward<&g_in, &ScriptedDevice::Position>;
    winmm.waveInClose = Forward<&g_in, &ScriptedDevice::Close>;
  }
  if (out) {
    winmm.waveOutOpen = OutOpen;
    winmm.waveOutPrepareHeader = Forward<&g_out, &ScriptedDevice::Prepare>;
    winmm.waveOutUnprepareHeader = Forward<&g_out, &ScriptedDevice::Unprepare>;
    winmm.waveOutWrite = Forward<&g_out, &ScriptedDevice::Queue>;
    winmm.waveOutReset = Forward<&g_out, &ScriptedDevice::Reset>;
    winmm.waveOutGetPosition = Forward<&g_out, &ScriptedDevice::Position>;
    winmm.waveOutClose = Forward<&g_out, &ScriptedDevice::Close>;
  }
}

ScriptedDevicesBelow::~ScriptedDevicesBelow() {
  winmm = saved_;
  g_in = nullptr;
  g_out = nullptr;
}
