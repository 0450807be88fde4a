// Frames whose planes sit against inaccessible pages, so that any read or write before the
// first row or after the last row of a plane faults at once.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>

#include "core/frame_view.h"

namespace sorvan::testing {

enum class Guard { Before, After };  // which end of the plane touches its guard page exactly

class GuardedPlane {
 public:
  GuardedPlane() = default;
  GuardedPlane(size_t bytes, Guard guard) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t dataPages = (bytes + page - 1) / page;
    mappedBytes_ = (dataPages + 2) * page;
    void* p = mmap(nullptr, mappedBytes_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) abort();
    mapping_ = static_cast<uint8_t*>(p);
    if (mprotect(mapping_, page, PROT_NONE) != 0 || mprotect(mapping_ + (dataPages + 1) * page, page, PROT_NONE) != 0)
      abort();
    data_ = guard == Guard::Before ? mapping_ + page : mapping_ + (dataPages + 1) * page - bytes;
    size_ = bytes;
  }
  GuardedPlane(const GuardedPlane&) = delete;
  GuardedPlane& operator=(const GuardedPlane&) = delete;
  GuardedPlane(GuardedPlane&& o) noexcept { *this = std::move(o); }
  GuardedPlane& operator=(GuardedPlane&& o) noexcept {
    std::swap(mapping_, o.mapping_);
    std::swap(mappedBytes_, o.mappedBytes_);
    std::swap(data_, o.data_);
    std::swap(size_, o.size_);
    return *this;
  }
  ~GuardedPlane() {
    if (mapping_ != nullptr) munmap(mapping_, mappedBytes_);
  }

  uint8_t* data() { return data_; }
  size_t size() const { return size_; }

 private:
  uint8_t* mapping_ = nullptr;
  size_t mappedBytes_ = 0;
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

// Bytes a plane of `rows` rows needs: the last row ends at its row size, not at the pitch.
inline size_t PlaneBytes(int32_t pitch, int32_t rowSize, int32_t rows) {
  if (rows <= 0 || rowSize <= 0) return 0;
  return static_cast<size_t>(pitch) * (rows - 1) + rowSize;
}

// A frame of any format with each plane against its guard, rows `padding` bytes longer than
// their samples.
struct GuardedFrame {
  VideoFormat format;
  int32_t width, height;
  int32_t pitch[kMaxPlanes] = {};
  GuardedPlane planes[kMaxPlanes];

  GuardedFrame(const VideoFormat& f, int32_t w, int32_t h, int32_t padding, Guard guard)
      : format(f), width(w), height(h) {
    for (int32_t p = 0; p < f.planeCount; ++p) {
      const int32_t rowBytes = static_cast<int32_t>(PlaneRowBytes(f, p, w));
      pitch[p] = rowBytes + padding;
      planes[p] = GuardedPlane(PlaneBytes(pitch[p], rowBytes, PlaneHeight(f, p, h)), guard);
    }
  }

  void Fill(std::mt19937& rng) {
    for (auto& plane : planes)
      for (size_t i = 0; i < plane.size(); ++i) plane.data()[i] = static_cast<uint8_t>(rng());
  }

  template <typename Byte>
  BasicFrameView<Byte> ViewAs() {
    BasicFrameView<Byte> view{};
    for (int32_t p = 0; p < format.planeCount; ++p) {
      view.planes[p] = {planes[p].data(), pitch[p], PlaneWidth(format, p, width), PlaneHeight(format, p, height)};
    }
    return view;
  }
  FrameView View() { return ViewAs<uint8_t>(); }
  SourceFrameView SourceView() { return ViewAs<const uint8_t>(); }
  bool SameBytes(GuardedFrame& other) {
    for (int32_t p = 0; p < kMaxPlanes; ++p) {
      if (planes[p].size() != other.planes[p].size()) return false;
      if (planes[p].size() != 0 && std::memcmp(planes[p].data(), other.planes[p].data(), planes[p].size()) != 0)
        return false;
    }
    return true;
  }
};

}  // namespace sorvan::testing
