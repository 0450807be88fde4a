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
#include "plugin/classic/pixel_type.h"
#include "support/classic_view.h"

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

struct GuardedFrame {
  int32_t type, width, height, pitch, rowSize, chromaPitch, chromaRowSize, chromaHeight;
  GuardedPlane planes[3];

  GuardedFrame(int32_t t, int32_t w, int32_t h, int32_t padding, int32_t chromaPadding, Guard guard)
      : type(t), width(w), height(h) {
    const bool planar = (t & CS_PLANAR) != 0;
    rowSize = w * (planar ? 1 : BitsPerPixel(t) / 8);
    pitch = rowSize + padding;
    chromaRowSize = planar ? w / 2 : 0;
    chromaHeight = planar ? h / 2 : 0;
    chromaPitch = planar ? chromaRowSize + chromaPadding : 0;
    planes[0] = GuardedPlane(PlaneBytes(pitch, rowSize, h), guard);
    if (planar) {
      planes[1] = GuardedPlane(PlaneBytes(chromaPitch, chromaRowSize, chromaHeight), guard);
      planes[2] = GuardedPlane(PlaneBytes(chromaPitch, chromaRowSize, chromaHeight), guard);
    }
  }

  void Fill(std::mt19937& rng) {
    for (auto& plane : planes)
      for (size_t i = 0; i < plane.size(); ++i) plane.data()[i] = static_cast<uint8_t>(rng());
  }

  template <typename Byte>
  BasicFrameView<Byte> ViewAs() {
    const ClassicPlanes f = {type, width, height, pitch, rowSize, chromaPitch, chromaRowSize, chromaHeight};
    return ClassicView<Byte>(f, static_cast<Byte*>(planes[0].data()), static_cast<Byte*>(planes[1].data()),
                             static_cast<Byte*>(planes[2].data()));
  }
  FrameView View() { return ViewAs<uint8_t>(); }
  SourceFrameView SourceView() { return ViewAs<const uint8_t>(); }
  bool SameBytes(GuardedFrame& other) {
    for (int i = 0; i < 3; ++i) {
      if (planes[i].size() != other.planes[i].size()) return false;
      if (planes[i].size() != 0 && std::memcmp(planes[i].data(), other.planes[i].data(), planes[i].size()) != 0)
        return false;
    }
    return true;
  }
};

}  // namespace sorvan::testing
