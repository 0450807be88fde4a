// A tiny owning array for trivially copyable elements: the plug-in's only RAII buffer.
// Storage is 64-byte aligned so the vector paths may use aligned loads on it.
#pragma once

#include "core/portability.h"

namespace sorvan {

template <typename T>
class OwnedArray {
  static_assert(__is_trivially_copyable(T), "OwnedArray holds plain data only");

 public:
  static constexpr size_t kAlignment = 64;

  OwnedArray() = default;
  OwnedArray(const OwnedArray&) = delete;
  OwnedArray& operator=(const OwnedArray&) = delete;
  OwnedArray(OwnedArray&& other) noexcept { Take(other); }
  OwnedArray& operator=(OwnedArray&& other) noexcept {
    if (this != &other) {
      Release();
      Take(other);
    }
    return *this;
  }
  ~OwnedArray() { Release(); }

  // Replaces the content with `count` zeroed elements. Returns false, and holds nothing,
  // when the memory cannot be had or the byte count would overflow.
  bool Allocate(size_t count) {
    Release();
    if (count == 0) return true;
    if (count > (SIZE_MAX - kAlignment) / sizeof(T)) return false;
    const size_t bytes = count * sizeof(T);
    void* raw = malloc(bytes + kAlignment);
    if (raw == nullptr) return false;
    const uintptr_t aligned = (reinterpret_cast<uintptr_t>(raw) + kAlignment - 1) & ~(uintptr_t)(kAlignment - 1);
    raw_ = raw;
    data_ = reinterpret_cast<T*>(aligned);
    count_ = count;
    memset(data_, 0, bytes);
    return true;
  }

  void Release() {
    free(raw_);
    raw_ = nullptr;
    data_ = nullptr;
    count_ = 0;
  }

  T* data() { return data_; }
  const T* data() const { return data_; }
  size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  T& operator[](size_t i) { return data_[i]; }
  const T& operator[](size_t i) const { return data_[i]; }

 private:
  void Take(OwnedArray& other) {
    raw_ = other.raw_;
    data_ = other.data_;
    count_ = other.count_;
    other.raw_ = nullptr;
    other.data_ = nullptr;
    other.count_ = 0;
  }

  void* raw_ = nullptr;
  T* data_ = nullptr;
  size_t count_ = 0;
};

}  // namespace sorvan
