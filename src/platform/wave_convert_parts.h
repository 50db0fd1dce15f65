// Pieces shared by the converting input and output devices (wave_devices.h).
#pragma once

#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>
#include <msacm.h>

#include <array>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace wave_convert {

// A copy of a format record with its format-specific bytes.
class FormatCopy {
 public:
  void Assign(const WAVEFORMATEX* format);
  const WAVEFORMATEX* get() const { return reinterpret_cast<const WAVEFORMATEX*>(bytes_.data()); }
  WAVEFORMATEX* get() { return reinterpret_cast<WAVEFORMATEX*>(bytes_.data()); }

 private:
  std::vector<BYTE> bytes_;
};

// The PCM format to capture (encode == true) or to play (encode == false) for a
// compressed format: the compression manager's suggestion, else 16-bit PCM at the same
// rate and channel count; in either case only when a stream converts between the two.
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

  // Opens the stream and sizes the output buffer for `sourceCapacity` input bytes.
  MMRESULT Open(const WAVEFORMATEX* from, const WAVEFORMATEX* to, DWORD sourceCapacity);
  void Close();
  // Input bytes that make one block of output (the encoder's whole-block unit).
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
        slot.device = std::make_unique<Device>();
        slot.device->handle = reinterpret_cast<Handle>(&slot);
        return slot.device.get();
      }
    }
    return nullptr;
  }
  // The device of a handle Claim gave out, or nullptr for any other handle.
  Device* Find(Handle handle) const {
    const auto* slot = reinterpret_cast<const Slot*>(handle);
    if (slot < slots_.data() || slot >= slots_.data() + slots_.size()) return nullptr;
    return slot->device.get();
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
// Close can wait for them without waiting for the thread they run on.
class CallbackScope {
 public:
  CallbackScope(const void* device, int& active);
  ~CallbackScope();
  CallbackScope(const CallbackScope&) = delete;
  CallbackScope& operator=(const CallbackScope&) = delete;
  // Callbacks of `device` that the current thread is inside.
  static int OwnDepth(const void* device);

 private:
  int& active_;
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
                      const void* device, const int& active);

inline void MarkDone(WAVEHDR* header) {
  header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
}

}  // namespace wave_convert
