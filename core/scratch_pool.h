// Per-call scratch: every buffer a frame writes (row sums, the box offset table, the fast
// paths' row buffers) lives in one block that belongs to one call at a time. A plan owns a
// small pool of such blocks; a call takes one and gives it back, so threads never share one,
// and once the pool holds as many blocks as calls overlap, no frame allocates.
#pragma once

#include "core/portability.h"

namespace sorvan {

// Where each buffer sits in a block, in bytes from its start (each 64-byte aligned).
struct ScratchLayout {
  size_t planeOffset;  // Gaussian row sums: int32 (integers) or double (float) entries
  size_t planeBytes;
  size_t boxOffset;  // box offset table: window² int32
  size_t boxBytes;
  size_t workspaceOffset;  // fast paths' row buffers: int32 entries
  size_t workspaceBytes;
  size_t totalBytes;
};

struct ScratchBlock {
  uint8_t* base = nullptr;
  ScratchLayout layout{};

  template <typename T>
  T* Plane() const {
    return reinterpret_cast<T*>(base + layout.planeOffset);
  }
  int32_t* BoxOffsets() const { return reinterpret_cast<int32_t*>(base + layout.boxOffset); }
  int32_t* Workspace() const { return reinterpret_cast<int32_t*>(base + layout.workspaceOffset); }
};

class ScratchPool {
 public:
  // Blocks kept for reuse; calls beyond this many at once get a block of their own that is
  // freed after the call.
  static constexpr int32_t kSlots = 64;

  ScratchPool() = default;
  ScratchPool(const ScratchPool&) = delete;
  ScratchPool& operator=(const ScratchPool&) = delete;
  ~ScratchPool() noexcept;

  // Sets the block size; only before the first Acquire.
  void SetLayout(const ScratchLayout& layout) { layout_ = layout; }
  const ScratchLayout& Layout() const { return layout_; }

  // A block for one call, or a block with a null base when memory ran out.
  ScratchBlock Acquire() noexcept;
  void Release(ScratchBlock block) noexcept;
  // Makes sure at least `count` blocks wait in the pool.
  bool Reserve(int32_t count) noexcept;

 private:
  uint8_t* Allocate() const noexcept;
  static void Free(uint8_t* base) noexcept;

  ScratchLayout layout_{};
  uint8_t* slots_[kSlots] = {};  // accessed atomically; null: empty slot
};

// Takes a block for the length of a scope.
class ScratchLease {
 public:
  explicit ScratchLease(ScratchPool& pool) : pool_(pool), block_(pool.Acquire()) {}
  ~ScratchLease() {
    if (block_.base != nullptr) pool_.Release(block_);
  }
  ScratchLease(const ScratchLease&) = delete;
  ScratchLease& operator=(const ScratchLease&) = delete;

  bool Valid() const { return block_.base != nullptr; }
  ScratchBlock& Block() { return block_; }

 private:
  ScratchPool& pool_;
  ScratchBlock block_;
};

}  // namespace sorvan
