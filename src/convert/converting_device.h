// The steps the converting input and output devices take alike: opening over a PCM device of
// the platform, preparing their own buffers and the caller's headers, waiting for the
// platform's callbacks, and closing.
//
// Threads: OpenDevice, CloseDevice and the header calls run on the caller's thread (the
// window's, in the program). CloseDevice may be called from inside the device's own callback
// and refuses there, as freeing the device would pull it from under that callback;
// WaitForDevice is also called by Stop and Reset.
#pragma once

#include <chrono>

#include "convert/wave_convert_parts.h"
#include "platform/wave_devices.h"

namespace wave_convert {

// What differs between the two directions is given by `Side`, a struct of static members:
//   Device, Handle           the device record and the caller's handle type
//   Encodes                  true when the caller's format is made from captured PCM
//   OpenMessage, CloseMessage
//   Slots()                  the table of open devices
//   Open, Reset, Close       the platform's calls for the direction (WinmmWaveCalls members)
//   Callback                 the device's callback from the platform
//   Prepare(device), UnprepareAll(device), Converter(device)
//   StopForClose(lock, device)    stops the run once Close has begun, with the lock held
//   ResumeAfterRefusedClose(device)  undoes StopForClose when the device stays open
//   RecoverFromFailedClose(device)  makes the device usable when the platform refuses to close
//   WaitForDevice(lock, device), Deliver(lock, device, wait)

// Points every buffer's header at its own data, `bytes` long, and prepares it on the
// platform's device with `prepare`.
template <typename Buffers, typename Handle, typename PrepareCall>
MMRESULT PrepareBuffers(Buffers& buffers, DWORD bytes, Handle real, PrepareCall prepare) {
  for (auto& buffer : buffers) {
    buffer.header = WAVEHDR{};
    buffer.header.lpData = reinterpret_cast<LPSTR>(buffer.data.data());
    buffer.header.dwBufferLength = bytes;
    buffer.header.dwUser = reinterpret_cast<DWORD_PTR>(&buffer);
    const MMRESULT result = prepare(real, &buffer.header, sizeof(WAVEHDR));
    if (result != 0) return result;
    buffer.prepared = true;
  }
  return 0;
}

// The caller's headers need nothing of the platform: the device copies into and out of them.
inline MMRESULT PrepareClientHeader(LPWAVEHDR header, UINT size) {
  if (!header || size < sizeof(WAVEHDR)) return MMSYSERR_INVALPARAM;
  header->dwFlags |= WHDR_PREPARED;
  return 0;
}

template <typename Device>
MMRESULT UnprepareClientHeader(Device& device, LPWAVEHDR header, UINT size) {
  if (!header || size < sizeof(WAVEHDR)) return MMSYSERR_INVALPARAM;
  std::lock_guard guard(device.mutex);
  if (header->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
  header->dwFlags &= ~WHDR_PREPARED;
  return 0;
}

// Waits until no callback of `device` runs on another thread, no other thread delivers its
// headers or is `busyElsewhere()`, and no buffer the platform has let go of
// (`onItsWay(buffer)`) is still to come back through the callback: the platform takes a
// buffer off its queue before it calls back, so a Stop, Reset or Close can fall between the
// two. Call with `lock` held. False when something is still on its way after ClosePatienceMs.
template <typename Device, typename OnItsWay, typename BusyElsewhere>
bool WaitForCallbacksAndBuffers(std::unique_lock<std::mutex>& lock, Device& device,
                                OnItsWay onItsWay, BusyElsewhere busyElsewhere) {
  const int own = CallbackScope::OwnDepth(&device);
  const DWORD self = GetCurrentThreadId();
  return device.changed.wait_for(lock, std::chrono::milliseconds(ClosePatienceMs), [&] {
    if (device.activeCallbacks > own || busyElsewhere()) return false;
    if (device.deliveries.deliverer != 0 && device.deliveries.deliverer != self) return false;
    for (const auto& buffer : device.buffers) {
      if (onItsWay(buffer)) return false;
    }
    return true;
  });
}

// Opens a converting device over the platform's device for the PCM partner of `format`.
// Everything a run needs is allocated here, so that a run allocates nothing.
template <typename Side>
MMRESULT OpenDevice(typename Side::Handle* out, UINT deviceId, const WAVEFORMATEX* format,
                    DWORD_PTR callback, DWORD_PTR instance, DWORD flags) {
  WAVEFORMATEX pcm{};
  if (format->nBlockAlign == 0 || !FindPcmPartner(format, Side::Encodes, pcm)) {
    return WAVERR_BADFORMAT;
  }
  if (flags & WAVE_FORMAT_QUERY) {
    return (winmm.*Side::Open)(nullptr, deviceId, &pcm, 0, 0, WAVE_FORMAT_QUERY);
  }
  if (!out) return MMSYSERR_INVALPARAM;
  if (!IsSupportedCallbackKind(flags)) return MMSYSERR_INVALFLAG;

  auto& slots = Side::Slots();
  typename Side::Device* claimed = slots.Claim();
  if (!claimed) return MMSYSERR_ALLOCATED;
  typename Side::Device& device = *claimed;
  device.client = ClientCallback{callback, instance, flags & CALLBACK_TYPEMASK};
  if (!device.coded.Assign(format)) {
    slots.Release(device.handle);
    return MMSYSERR_NOMEM;
  }
  device.pcm = pcm;
  device.blockAlign = format->nBlockAlign;

  const DWORD realFlags = CALLBACK_FUNCTION | (flags & (WAVE_MAPPED | WAVE_FORMAT_DIRECT));
  MMRESULT result = (winmm.*Side::Open)(&device.real, deviceId, &device.pcm,
                                        reinterpret_cast<DWORD_PTR>(Side::Callback),
                                        reinterpret_cast<DWORD_PTR>(&device), realFlags);
  if (result != 0) {
    device.real = nullptr;
    slots.Release(device.handle);
    return result;
  }
  result = Side::Prepare(device);
  if (result != 0) {
    Side::UnprepareAll(device);
    (winmm.*Side::Close)(device.real);
    slots.Release(device.handle);
    return result;
  }
  *out = device.handle;
  device.client.Send(device.handle, Side::OpenMessage, 0);
  return 0;
}

// Closes a converting device the caller has no header left in. A device that cannot be
// closed yet (a callback still running, a buffer still on its way, the platform refusing)
// stays open and usable, and the caller hears why.
template <typename Side>
MMRESULT CloseDevice(typename Side::Device& device) {
  {
    std::unique_lock lock(device.mutex);
    // Freeing the device here would pull it from under the callback that asks.
    if (InsideOwnCallback(&device, device.deliveries)) return MMSYSERR_HANDLEBUSY;
    if (!device.queued.empty() || !device.deliveries.finished.empty()) {
      return WAVERR_STILLPLAYING;
    }
    device.closing = true;
    Side::StopForClose(lock, device);
  }
  (winmm.*Side::Reset)(device.real);
  {
    std::unique_lock lock(device.mutex);
    if (!Side::WaitForDevice(lock, device)) {
      // A callback still runs (a slow caller) or a buffer is still on its way back: the
      // device stays, usable, rather than be freed under it.
      device.closing = false;
      Side::ResumeAfterRefusedClose(device);
      return MMSYSERR_HANDLEBUSY;
    }
  }
  Side::UnprepareAll(device);
  const MMRESULT result = (winmm.*Side::Close)(device.real);
  if (result != 0) {
    std::lock_guard guard(device.mutex);
    Side::RecoverFromFailedClose(device);
    device.closing = false;
    Side::ResumeAfterRefusedClose(device);
    return result;
  }
  {
    std::unique_lock lock(device.mutex);
    Side::Deliver(lock, device, true);
  }
  Side::Converter(device).Close();
  const typename Side::Handle handle = device.handle;
  const ClientCallback client = device.client;
  Side::Slots().Release(handle);
  client.Send(handle, Side::CloseMessage, 0);
  return 0;
}

}  // namespace wave_convert
