// A fixed ring of buffer pointers for a converting device's queues. It has no lock of its
// own: it is used under its device's mutex, on whichever thread holds it.
#pragma once

#include <array>
#include <cstddef>

namespace wave_convert {

// Buffers in the order they were pushed, at most `Capacity` of them, with no allocation.
template <typename Buffer, size_t Capacity>
class BufferRing {
 public:
  void Push(Buffer* buffer) { items_[(first_ + count_++) % items_.size()] = buffer; }
  Buffer* Pop() {
    if (count_ == 0) return nullptr;
    Buffer* buffer = items_[first_];
    first_ = (first_ + 1) % items_.size();
    --count_;
    return buffer;
  }
  void Remove(const Buffer* buffer) {
    size_t kept = 0;
    for (size_t i = 0; i < count_; ++i) {
      Buffer* item = items_[(first_ + i) % items_.size()];
      if (item != buffer) items_[(first_ + kept++) % items_.size()] = item;
    }
    count_ = kept;
  }
  size_t size() const { return count_; }
  Buffer* at(size_t i) const { return items_[(first_ + i) % items_.size()]; }

 private:
  std::array<Buffer*, Capacity> items_{};
  size_t first_ = 0;
  size_t count_ = 0;
};

}  // namespace wave_convert
