#include "support/fake_wave_device.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <utility>

namespace {

using DeviceCallback = void(CALLBACK*)(HANDLE, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR);

FakeWaveDevice* g_in = nullptr;
FakeWaveDevice* g_out = nullptr;

FakeWaveDevice* Device(FakeWaveDevice* bound, HANDLE handle) {
  return bound && handle == reinterpret_cast<HANDLE>(bound) ? bound : nullptr;
}

// A call on a device handle: the bound fake's `Member` answers for its own handle.
template <FakeWaveDevice** Bound, auto Member, typename Handle, typename... Args>
MMRESULT WINAPI Forward(Handle handle, Args... args) {
  auto* d = Device(*Bound, handle);
  return d ? (d->*Member)(args...) : MMSYSERR_INVALHANDLE;
}

MMRESULT WINAPI InOpen(LPHWAVEIN handle, UINT, LPCWAVEFORMATEX, DWORD_PTR callback,
                       DWORD_PTR instance, DWORD flags) {
  HANDLE opened = nullptr;
  const MMRESULT result = g_in->Open(&opened, callback, instance, flags);
  *handle = static_cast<HWAVEIN>(opened);
  return result;
}
MMRESULT WINAPI OutOpen(LPHWAVEOUT handle, UINT, LPCWAVEFORMATEX, DWORD_PTR callback,
                        DWORD_PTR instance, DWORD flags) {
  HANDLE opened = nullptr;
  const MMRESULT result = g_out->Open(&opened, callback, instance, flags);
  *handle = static_cast<HWAVEOUT>(opened);
  return result;
}

}  // namespace

FakeWaveDevice::FakeWaveDevice(Kind kind, DWORD bytesPerMs)
    : kind_(kind),
      rate_(bytesPerMs),
      thread_([this] { Run(); }),
      deliverer_([this] { DeliverFilled(); }) {}

FakeWaveDevice::~FakeWaveDevice() {
  {
    std::lock_guard lock(lock_);
    quit_ = true;
  }
  wake_.notify_all();
  deliver_.notify_all();
  thread_.join();
  deliverer_.join();
}

// While sound is lost when dry, filled buffers go back from a thread of their own, as
// hardware goes on capturing into the queue while the callback runs.
void FakeWaveDevice::DeliverFilled() {
  std::unique_lock lock(lock_);
  while (!quit_) {
    if (toDeliver_.empty()) {
      deliver_.wait(lock);
      continue;
    }
    WAVEHDR* header = toDeliver_.front();
    toDeliver_.pop_front();
    lock.unlock();
    Notify(WIM_DATA, header);
    lock.lock();
    --returning_;
    idle_.notify_all();
  }
}

void FakeWaveDevice::NoteMisuse(const char* text) {
  misuse_.emplace_back(text);
}

void FakeWaveDevice::Notify(UINT message, WAVEHDR* header) {
  if (!callback_) return;
  reinterpret_cast<DeviceCallback>(callback_)(reinterpret_cast<HANDLE>(this), message, instance_,
                                              reinterpret_cast<DWORD_PTR>(header), 0);
}

void FakeWaveDevice::Advance(WAVEHDR* header, DWORD step) {
  if (kind_ == Kind::Out) {
    played_.insert(played_.end(), header->lpData + doneInFront_,
                   header->lpData + doneInFront_ + step);
  } else {
    for (DWORD i = 0; i < step; ++i)
      header->lpData[doneInFront_ + i] = static_cast<char>(CapturedByte(captured_ + i));
    captured_ += step;
  }
  positionBytes_ += step;
  doneInFront_ += step;
}

WAVEHDR* FakeWaveDevice::PopDone() {
  WAVEHDR* header = queue_.front();
  queue_.pop_front();
  doneInFront_ = 0;
  if (kind_ == Kind::In) {
    header->dwBytesRecorded = header->dwBufferLength;
    ++captures_;
    if (captureBudget > 0) --captureBudget;
  }
  header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
  if (kind_ == Kind::Out && queue_.empty()) dry_ = true;
  return header;
}

void FakeWaveDevice::Run() {
  std::unique_lock lock(lock_);
  const UINT doneMessage = kind_ == Kind::In ? WIM_DATA : WOM_DONE;
  while (!quit_) {
    const bool lossy = kind_ == Kind::In && losesSoundWhileDry;
    if (!toReturn_.empty() && lossy) {
      toDeliver_.insert(toDeliver_.end(), toReturn_.begin(), toReturn_.end());
      toReturn_.clear();
      deliver_.notify_all();
      continue;
    }
    if (!toReturn_.empty()) {
      std::vector<WAVEHDR*> returns;
      returns.swap(toReturn_);
      for (WAVEHDR* header : returns) {
        lock.unlock();
        Notify(doneMessage, header);
        lock.lock();
        --returning_;
      }
      idle_.notify_all();
      continue;
    }
    const bool active =
        !queue_.empty() && !paused_ && (kind_ == Kind::Out || (started_ && captureBudget != 0));
    // A lossy device is paced by the clock, whatever the sleeps take: the sound due since the
    // last step goes into the front buffer, or is lost when none is queued. Capture begins
    // with the first buffer given after the start.
    DWORD due = rate_;
    if (lossy) {
      const auto now = std::chrono::steady_clock::now();
      if (started_ && fed_ && !paused_)
        owed_ += rate_ * std::chrono::duration<double, std::milli>(now - paceFrom_).count();
      paceFrom_ = now;
      due = static_cast<DWORD>(owed_);
      if (started_ && fed_ && !paused_ && queue_.empty()) {
        positionBytes_ += due;
        lost_ += due;
        owed_ -= due;
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        lock.lock();
        continue;
      }
    }
    if (!active) {
      wake_.wait_for(lock, std::chrono::milliseconds(2));
      continue;
    }
    WAVEHDR* header = queue_.front();
    const DWORD length = header->dwBufferLength;
    const DWORD rate = rate_;
    const DWORD step = std::min(rate ? due : length, length - doneInFront_);
    if (lossy) owed_ -= step;
    Advance(header, step);
    if (doneInFront_ >= length) {
      PopDone();
      ++returning_;
      if (lossy) {
        toDeliver_.push_back(header);
        deliver_.notify_all();
        continue;
      }
      lock.unlock();
      Notify(doneMessage, header);
      lock.lock();
      --returning_;
      idle_.notify_all();
    } else if (rate) {
      lock.unlock();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      lock.lock();
    }
  }
}

WAVEHDR* FakeWaveDevice::TakeFront() {
  std::lock_guard lock(lock_);
  if (queue_.empty()) return nullptr;
  Advance(queue_.front(), queue_.front()->dwBufferLength - doneInFront_);
  return PopDone();
}

void FakeWaveDevice::Complete(WAVEHDR* header) {
  Notify(kind_ == Kind::In ? WIM_DATA : WOM_DONE, header);
}

MMRESULT FakeWaveDevice::Open(HANDLE* handle, DWORD_PTR callback, DWORD_PTR instance, DWORD flags) {
  if (flags & WAVE_FORMAT_QUERY) return MMSYSERR_NOERROR;
  if (const MMRESULT result = fail.open) return result;
  {
    std::lock_guard lock(lock_);
    if (open_) NoteMisuse("opened while open");
    if ((flags & CALLBACK_TYPEMASK) != CALLBACK_FUNCTION) NoteMisuse("not a function callback");
    callback_ = callback;
    instance_ = instance;
    open_ = true;
    started_ = false;
    captured_ = 0;
    captures_ = 0;
    ranDry_ = 0;
    lost_ = 0;
    dry_ = false;
    positionBytes_ = 0;
    doneInFront_ = 0;
    prepareCount_ = 0;
    unprepareCount_ = 0;
    ++opens_;
  }
  *handle = reinterpret_cast<HANDLE>(this);
  Notify(kind_ == Kind::In ? WIM_OPEN : WOM_OPEN, nullptr);
  return MMSYSERR_NOERROR;
}

MMRESULT FakeWaveDevice::Prepare(WAVEHDR* header, UINT size) {
  std::lock_guard lock(lock_);
  if (size != sizeof(WAVEHDR)) NoteMisuse("prepare with a wrong size");
  if (const MMRESULT result = fail.prepare[prepareCount_++ % 2]) return result;
  header->dwFlags |= WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT FakeWaveDevice::Unprepare(WAVEHDR* header, UINT) {
  std::lock_guard lock(lock_);
  if (header->dwFlags & WHDR_INQUEUE) {
    NoteMisuse("unprepared while queued");
    return WAVERR_STILLPLAYING;
  }
  if (const MMRESULT result = fail.unprepare[unprepareCount_++ % 2]) return result;
  header->dwFlags &= ~WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT FakeWaveDevice::Queue(WAVEHDR* header, UINT size) {
  {
    std::lock_guard lock(lock_);
    if (!open_) NoteMisuse("buffer given to a closed device");
    if (size != sizeof(WAVEHDR)) NoteMisuse("buffer with a wrong size");
    ++queueCount_;
    const int refused = fail.refuseQueueNumber;
    if (refused != 0 &&
        (queueCount_ == refused || (fail.refuseEveryLater && queueCount_ > refused)))
      return MMSYSERR_INVALPARAM;
    if (!(header->dwFlags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
    if (header->dwFlags & WHDR_INQUEUE) {
      NoteMisuse("buffer given twice");
      return WAVERR_STILLPLAYING;
    }
    if (kind_ == Kind::Out) {
      writtenLengths_.push_back(header->dwBufferLength);
      if (std::exchange(dry_, false)) ++ranDry_;
    }
    if (kind_ == Kind::In) header->dwBytesRecorded = 0;
    header->dwFlags = (header->dwFlags | WHDR_INQUEUE) & ~WHDR_DONE;
    queue_.push_back(header);
    fed_ = true;
  }
  wake_.notify_all();
  return MMSYSERR_NOERROR;
}

MMRESULT FakeWaveDevice::Start() {
  if (const MMRESULT result = fail.start) return result;
  {
    std::lock_guard lock(lock_);
    started_ = true;
    fed_ = !queue_.empty();
    owed_ = 0;
    paceFrom_ = std::chrono::steady_clock::now();
    positionBytes_ = 0;
  }
  wake_.notify_all();
  return MMSYSERR_NOERROR;
}

MMRESULT FakeWaveDevice::Stop() {
  {
    std::lock_guard lock(lock_);
    started_ = false;
    // The partly filled buffer comes back at once, on the device's thread.
    if (kind_ == Kind::In && !queue_.empty() && doneInFront_ > 0 && !keepBuffersOnReset) {
      WAVEHDR* header = queue_.front();
      queue_.pop_front();
      header->dwBytesRecorded = doneInFront_;
      header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
      doneInFront_ = 0;
      toReturn_.push_back(header);
      ++returning_;
    }
  }
  wake_.notify_all();
  return fail.stop;
}

MMRESULT FakeWaveDevice::Reset() {
  if (onReset) onReset();
  if (fail.reset && failedResetDoesNothing) return fail.reset;
  std::unique_lock lock(lock_);
  ++resets_;
  dry_ = false;
  started_ = false;
  if (keepBuffersOnReset) {
    paused_ = true;  // the device neither plays nor returns anything from now on
    return fail.reset;
  }
  if (kind_ == Kind::Out && completeFrontInReset && !queue_.empty()) {
    WAVEHDR* header = queue_.front();
    queue_.pop_front();
    played_.insert(played_.end(), header->lpData + doneInFront_,
                   header->lpData + header->dwBufferLength);
    doneInFront_ = 0;
    header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    lock.unlock();
    Notify(WOM_DONE, header);
    lock.lock();
  }
  bool front = true;
  for (WAVEHDR* header : queue_) {
    if (kind_ == Kind::In) header->dwBytesRecorded = front ? doneInFront_ : 0;
    header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    toReturn_.push_back(header);
    ++returning_;
    front = false;
  }
  queue_.clear();
  doneInFront_ = 0;
  positionBytes_ = 0;
  if (returnOnCaller) {
    std::vector<WAVEHDR*> returns;
    returns.swap(toReturn_);
    returning_ -= static_cast<int>(returns.size());
    lock.unlock();
    for (WAVEHDR* header : returns) Notify(kind_ == Kind::In ? WIM_DATA : WOM_DONE, header);
    return fail.reset;
  }
  wake_.notify_all();
  // Every buffer has been handed back before the reset returns; buffers given to the device
  // meanwhile (by the callback) stay queued.
  idle_.wait(lock, [this] { return returning_ == 0 || quit_; });
  return fail.reset;
}

MMRESULT FakeWaveDevice::Position(MMTIME* time, UINT size) {
  std::lock_guard lock(lock_);
  if (size != sizeof(MMTIME)) NoteMisuse("position with a wrong size");
  if (time->wType != TIME_BYTES) NoteMisuse("position not in bytes");
  if (const MMRESULT result = fail.position) return result;
  time->u.cb = positionBytes_;
  return MMSYSERR_NOERROR;
}

MMRESULT FakeWaveDevice::Close() {
  {
    std::unique_lock lock(lock_);
    if (!queue_.empty()) {
      NoteMisuse("closed with buffers queued");
      return WAVERR_STILLPLAYING;
    }
    if (!returnOnCaller) idle_.wait(lock, [this] { return returning_ == 0 || quit_; });
    if (const MMRESULT result = fail.close) return result;
    open_ = false;
    started_ = false;
    ++closes_;
  }
  Notify(kind_ == Kind::In ? WIM_CLOSE : WOM_CLOSE, nullptr);
  return MMSYSERR_NOERROR;
}

std::vector<unsigned char> FakeWaveDevice::Played() {
  std::lock_guard lock(lock_);
  return played_;
}

std::vector<DWORD> FakeWaveDevice::WrittenLengths() {
  std::lock_guard lock(lock_);
  return writtenLengths_;
}

DWORDLONG FakeWaveDevice::Captured() {
  std::lock_guard lock(lock_);
  return captured_;
}

std::vector<std::string> FakeWaveDevice::Misuse() {
  std::lock_guard lock(lock_);
  return misuse_;
}

void FakeWaveDevice::Pause() {
  std::lock_guard lock(lock_);
  paused_ = true;
}

void FakeWaveDevice::Resume() {
  {
    std::lock_guard lock(lock_);
    paused_ = false;
  }
  wake_.notify_all();
}

DWORD FakeWaveDevice::BytesSinceReset() {
  std::lock_guard lock(lock_);
  return positionBytes_;
}

int FakeWaveDevice::Queued() {
  std::lock_guard lock(lock_);
  return static_cast<int>(queue_.size());
}

namespace {

template <typename Table>
void Bind(Table& table, FakeWaveDevice* in, FakeWaveDevice* out) {
  g_in = in;
  g_out = out;
  if (in) {
    table.waveInOpen = InOpen;
    table.waveInPrepareHeader = Forward<&g_in, &FakeWaveDevice::Prepare>;
    table.waveInUnprepareHeader = Forward<&g_in, &FakeWaveDevice::Unprepare>;
    table.waveInAddBuffer = Forward<&g_in, &FakeWaveDevice::Queue>;
    table.waveInStart = Forward<&g_in, &FakeWaveDevice::Start>;
    table.waveInStop = Forward<&g_in, &FakeWaveDevice::Stop>;
    table.waveInReset = Forward<&g_in, &FakeWaveDevice::Reset>;
    table.waveInGetPosition = Forward<&g_in, &FakeWaveDevice::Position>;
    table.waveInClose = Forward<&g_in, &FakeWaveDevice::Close>;
  }
  if (out) {
    table.waveOutOpen = OutOpen;
    table.waveOutPrepareHeader = Forward<&g_out, &FakeWaveDevice::Prepare>;
    table.waveOutUnprepareHeader = Forward<&g_out, &FakeWaveDevice::Unprepare>;
    table.waveOutWrite = Forward<&g_out, &FakeWaveDevice::Queue>;
    table.waveOutReset = Forward<&g_out, &FakeWaveDevice::Reset>;
    table.waveOutGetPosition = Forward<&g_out, &FakeWaveDevice::Position>;
    table.waveOutClose = Forward<&g_out, &FakeWaveDevice::Close>;
  }
}

}  // namespace

FakeWaveBinding::FakeWaveBinding(FakeWaveDevice* in, FakeWaveDevice* out, Seam seam)
    : savedSys_(sys), savedWinmm_(winmm) {
  if (seam == Seam::Platform) {
    Bind(sys, in, out);
  } else {
    Bind(winmm, in, out);
  }
}

FakeWaveBinding::~FakeWaveBinding() {
  sys = savedSys_;
  winmm = savedWinmm_;
  g_in = nullptr;
  g_out = nullptr;
}
