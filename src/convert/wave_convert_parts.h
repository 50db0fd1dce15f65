// Pieces shared by the converting input and output devices (wave_devices.h). They are used on
// the caller's thread and on the platform's device thread: DeviceSlots and CallbackScope are
// made for both at once; the others belong to one device, used while Open sets it up or
// under its lock.
#pragma once

#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>
#include <msacm.h>

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

namespace wave_convert {

// Bounds on what a format may make a device allocate: a header is read from a file, and its
// figures must never size memory unchecked. 384 kHz, 8 channels of 32 bits is the most PCM
// a partner format may carry.
constexpr DWORD MaxPcmBytesPerSecond = 384000 * 8 * 4;
// The most either buffer of one conversion may hold.
constexpr DWORD MaxConvertBytes = 16 * 1024 * 1024;

// A copy of a format record with its format-specific bytes.
class FormatCopy {
 public:
  // False when the copy could not be allocated.
  bool Assign(const WAVEFORMATEX* format);
  const WAVEFORMATEX* get() const { return reinterpret_cast<const WAVEFORMATEX*>(bytes_.data()); }
  WAVEFORMATEX* get() { return reinterpret_cast<WAVEFORMATEX*>(bytes_.data()); }

 private:
  std::vector<BYTE> bytes_;
};

// The PCM format to capture (encode == true) or to play (encode == false) for a
// compressed format: the compression manager's suggestion, else 16-bit PCM at the same
// rate and channel count; in either case only when a stream converts between the two and
// its byte rate is within MaxPcmBytesPerSecond.
bool FindPcmPartner(const WAVEFORMATEX* coded, bool encode, WAVEFORMATEX& pcm);

// The compression manager's name of a format tag, or "format <tag>".
void FormatTagText(WORD tag, char* text, size_t size);

// An open conversion stream with one header prepared over two fixed buffers, so that a
// run converts without allocating.
class AcmConverter {
 public:
  AcmConverter() = default;
  AcmConverter(const AcmConverter&) = delete;
  AcmConverter& operator=(const AcmConverter&) = delete;
  ~AcmConverter() { Close(); }

  // Opens the stream; Allocate then sizes its buffers.
  MMRESULT Open(const WAVEFORMATEX* from, const WAVEFORMATEX* to);
  // Takes `sourceCapacity` input bytes and the output the codec says they make, each at most
  // MaxConvertBytes; MMSYSERR_NOMEM when either is larger or cannot be allocated.
  MMRESULT Allocate(DWORD sourceCapacity);
  void Close();
  // Input bytes that make `outputBytes` bytes of output, by the codec's own figures; 0 when
  // it cannot say.
  DWORD SourceBytesFor(DWORD outputBytes) const;
  // Converts the first `bytes` bytes of source() into target(); whole blocks only.
  MMRESULT Convert(DWORD bytes, bool start, DWORD& used, DWORD& produced);

  BYTE* source() { return source_.data(); }
  const BYTE* target() const { return target_.data(); }
  DWORD sourceCapacity() const { return static_cast<DWORD>(source_.size()); }
  DWORD targetCapacity() const { return static_cast<DWORD>(target_.size()); }

 private:
  HACMSTREAM stream_ = nullptr;
  bool prepared_ = false;
  ACMSTREAMHEADER header_{};
  std::vector<BYTE> source_;
  std::vector<BYTE> target_;
};

// Headers in order, linked through lpNext (the member WINMM keeps for its own queues).
class HeaderList {
 public:
  void Push(WAVEHDR* header);
  WAVEHDR* Pop();
  // Takes `header` out wherever it is; false when it is not in the list.
  bool Remove(WAVEHDR* header);
  WAVEHDR* front() const { return head_; }
  bool empty() const { return head_ == nullptr; }

 private:
  WAVEHDR* head_ = nullptr;
  WAVEHDR* tail_ = nullptr;
};

// The converting devices open at once. A device's handle is the address of its slot, which
// stays put while the device is open, so a handle outside the table is the platform's own.
// `Device` has a member `handle` of type `Handle`.
template <typename Device, typename Handle, size_t Count>
class DeviceSlots {
 public:
  // A new device in a free slot, its handle set; nullptr when every slot is taken.
  Device* Claim() {
    std::lock_guard guard(mutex_);
    for (Slot& slot : slots_) {
      if (!slot.device) {
        try {
          slot.device = std::make_unique<Device>();
        } catch (const std::bad_alloc&) {
          return nullptr;
        }
        slot.device->handle = reinterpret_cast<Handle>(&slot);
        return slot.device.get();
      }
    }
    return nullptr;
  }
  // The device of a handle Claim gave out, or nullptr for any other handle. The slot is
  // read under the lock, as Release may empty it on another thread; the caller does not
  // close a device while it still uses it.
  Device* Find(Handle handle) {
    const auto address = reinterpret_cast<std::uintptr_t>(handle);
    const auto first = reinterpret_cast<std::uintptr_t>(slots_.data());
    const auto end = reinterpret_cast<std::uintptr_t>(slots_.data() + slots_.size());
    if (address < first || address >= end || (address - first) % sizeof(Slot) != 0) {
      return nullptr;
    }
    std::lock_guard guard(mutex_);
    return reinterpret_cast<Slot*>(handle)->device.get();
  }
  // Frees the device of a handle Claim gave out.
  void Release(Handle handle) {
    std::lock_guard guard(mutex_);
    reinterpret_cast<Slot*>(handle)->device.reset();
  }

 private:
  struct Slot {
    std::unique_ptr<Device> device;
  };
  std::mutex mutex_;
  std::array<Slot, Count> slots_;
};

// Where and how the caller asked to be told about its device.
struct ClientCallback {
  DWORD_PTR target = 0;
  DWORD_PTR instance = 0;
  DWORD kind = CALLBACK_NULL;  // the CALLBACK_TYPEMASK bits of the open flags
  void Send(HANDLE device, UINT message, DWORD_PTR param1) const;
};

bool IsSupportedCallbackKind(DWORD openFlags);

// The counts a device keeps of the callbacks running inside it, so that Stop, Reset and
// Close can wait for them without waiting for the thread they run on. A callback enters the
// scope before it takes the device's lock, so that Close cannot miss one waiting for it, and
// ends it (End) while it still holds the lock: once Close has the lock and sees no callback,
// none touches the device again.
class CallbackScope {
 public:
  CallbackScope(const void* device, std::atomic<int>& active);
  ~CallbackScope() { End(); }
  CallbackScope(const CallbackScope&) = delete;
  CallbackScope& operator=(const CallbackScope&) = delete;
  void End();
  // Callbacks of `device` that the current thread is inside.
  static int OwnDepth(const void* device);

 private:
  std::atomic<int>* active_;
  const void* savedDevice_;
  int savedDepth_;
};

// Finished headers waiting for their callback, and which thread is delivering them. Only
// one thread delivers at a time, so the caller sees them one by one in order; a thread
// that finds another delivering leaves its headers to it (or waits, when asked to).
struct Deliveries {
  HeaderList finished;
  DWORD deliverer = 0;
};

// Runs `send(header)` for every finished header, without holding `lock` while it does.
// Call with `lock` held; returns with it held.
template <typename Send>
void DeliverFinished(std::unique_lock<std::mutex>& lock, std::condition_variable& changed,
                     Deliveries& deliveries, bool wait, Send send) {
  const DWORD self = GetCurrentThreadId();
  while (deliveries.deliverer != 0 && deliveries.deliverer != self) {
    if (!wait) return;
    changed.wait(lock);
  }
  const DWORD outer = deliveries.deliverer;
  deliveries.deliverer = self;
  while (WAVEHDR* header = deliveries.finished.Pop()) {
    lock.unlock();
    send(header);
    lock.lock();
  }
  deliveries.deliverer = outer;
  changed.notify_all();
}

// Waits until no callback of `device` runs on another thread. Call with `lock` held.
void WaitForCallbacks(std::unique_lock<std::mutex>& lock, std::condition_variable& changed,
                      const void* device, const std::atomic<int>& active);

// Whether the current thread is inside a callback of `device`, its own or one delivering its
// headers to the caller: Close from there would free the device under that callback.
inline bool InsideOwnCallback(const void* device, const Deliveries& deliveries) {
  return CallbackScope::OwnDepth(device) > 0 || deliveries.deliverer == GetCurrentThreadId();
}

// How long Close waits for callbacks still running and buffers still on their way back
// before it answers busy and keeps the device.
constexpr DWORD ClosePatienceMs = 2000;

inline void MarkDone(WAVEHDR* header) {
  header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
}

// The encoder's input at the end of a recording: `carried` bytes at `source`, which may be
// more than one block when the codec took nothing of them. Completes the last partial block
// with `silence`, within `capacity`, and answers the bytes that now make whole blocks; every
// carried byte stays as it was. A partial block with no room to complete it is left out.
DWORD PadToWholeBlocks(BYTE* source, DWORD carried, DWORD block, DWORD capacity, BYTE silence);

}  // namespace wave_convert
