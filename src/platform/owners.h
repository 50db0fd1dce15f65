// Scoped owners for every handle and block the program holds. Each is move-only:
// copying an owner would mean releasing one handle twice, so it does not compile. An owner
// is not shared between threads: it is released on the thread that holds it, the window's.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <utility>

#include "platform/services.h"

// Owns a handle of type T and releases it with Close when it goes out of scope.
// Invalid is the value that means "no handle".
template <typename T, auto Close, T Invalid = T{}>
class UniqueAny {
 public:
  UniqueAny() = default;
  explicit UniqueAny(T handle) : handle_(handle) {}
  UniqueAny(const UniqueAny&) = delete;
  UniqueAny& operator=(const UniqueAny&) = delete;
  UniqueAny(UniqueAny&& other) noexcept : handle_(other.release()) {}
  UniqueAny& operator=(UniqueAny&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~UniqueAny() { reset(); }

  T get() const { return handle_; }
  explicit operator bool() const { return handle_ != Invalid; }
  T release() { return std::exchange(handle_, Invalid); }
  void reset(T handle = Invalid) {
    T old = std::exchange(handle_, handle);
    if (old != Invalid) Close(old);
  }

 private:
  T handle_ = Invalid;
};

namespace owners_detail {
inline void CloseMmio(HMMIO h) {
  sys.mmioClose(h, 0);
}
inline void CloseRegKey(HKEY k) {
  RegCloseKey(k);
}
inline void DeleteGdiObject(HGDIOBJ o) {
  DeleteObject(o);
}
inline void DeleteDc(HDC dc) {
  DeleteDC(dc);
}
inline void CloseKernelHandle(HANDLE h) {
  CloseHandle(h);
}
inline void DestroyIconHandle(HICON icon) {
  DestroyIcon(icon);
}
}  // namespace owners_detail

using MmioFile = UniqueAny<HMMIO, owners_detail::CloseMmio>;
using RegKey = UniqueAny<HKEY, owners_detail::CloseRegKey>;
using ScopedDC = UniqueAny<HDC, owners_detail::DeleteDc>;
using AutoCloseHandle = UniqueAny<HANDLE, owners_detail::CloseKernelHandle>;
using ScopedIcon = UniqueAny<HICON, owners_detail::DestroyIconHandle>;

// A GDI object (bitmap, brush, ...) deleted at scope end.
template <typename T>
using ScopedGdiObj = UniqueAny<T, owners_detail::DeleteGdiObject>;

// A movable global block, locked at once and kept locked until freed.
class GlobalBlock {
 public:
  GlobalBlock() = default;
  GlobalBlock(const GlobalBlock&) = delete;
  GlobalBlock& operator=(const GlobalBlock&) = delete;
  GlobalBlock(GlobalBlock&& other) noexcept
      : handle_(std::exchange(other.handle_, nullptr)),
        address_(std::exchange(other.address_, nullptr)) {}
  GlobalBlock& operator=(GlobalBlock&& other) noexcept {
    if (this != &other) {
      Free();
      handle_ = std::exchange(other.handle_, nullptr);
      address_ = std::exchange(other.address_, nullptr);
    }
    return *this;
  }
  ~GlobalBlock() { Free(); }

  // Allocates; false when no memory. The block is not locked yet.
  bool Allocate(UINT flags, SIZE_T bytes) {
    Free();
    handle_ = sys.GlobalAlloc(flags, bytes);
    return handle_ != nullptr;
  }
  // Locks the allocated block; false when it cannot be locked (the block stays allocated).
  bool Lock() {
    address_ = handle_ ? sys.GlobalLock(handle_) : nullptr;
    return address_ != nullptr;
  }
  void Free() {
    if (handle_) {
      if (address_) GlobalUnlock(handle_);
      GlobalFree(handle_);
    }
    handle_ = nullptr;
    address_ = nullptr;
  }
  HGLOBAL handle() const { return handle_; }
  void* address() const { return address_; }
  // Gives the locked block up to a record that lives beyond this owner (FreeLockedBlock
  // releases it); returns its address.
  void* Release() {
    handle_ = nullptr;
    return std::exchange(address_, nullptr);
  }
  template <typename T>
  T* as() const {
    return static_cast<T*>(address_);
  }

 private:
  HGLOBAL handle_ = nullptr;
  void* address_ = nullptr;
};

// A zero-filled movable block, locked for as long as a record that lives from start-up to
// shutdown keeps it; null when memory is short.
inline void* AllocateLockedBlock(SIZE_T bytes) {
  GlobalBlock block;
  if (!block.Allocate(GHND, bytes) || !block.Lock()) return nullptr;
  return block.Release();
}
// Releases a block from AllocateLockedBlock (or GlobalBlock::Release) by its address.
inline void FreeLockedBlock(void* address) {
  if (!address) return;
  const HGLOBAL handle = GlobalHandle(address);
  if (!handle) return;
  GlobalUnlock(handle);
  GlobalFree(handle);
}

// Selects an object into a drawing context and puts the previous one back at scope end.
class ScopedSelectObject {
 public:
  ScopedSelectObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
  ScopedSelectObject(const ScopedSelectObject&) = delete;
  ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;
  ~ScopedSelectObject() {
    if (previous_ && previous_ != HGDI_ERROR) SelectObject(dc_, previous_);
  }
  bool ok() const { return previous_ && previous_ != HGDI_ERROR; }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};
