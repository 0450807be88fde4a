#include "core/scratch_pool.h"

namespace sorvan {
namespace {

constexpr size_t kAlignment = 64;

}  // namespace

ScratchPool::~ScratchPool() noexcept {
  for (uint8_t*& slot : slots_) {
    Free(slot);
    slot = nullptr;
  }
}

// One malloc per block; the address malloc gave sits just before the aligned base.
uint8_t* ScratchPool::Allocate() const noexcept {
  const size_t bytes = layout_.totalBytes;
  if (bytes > SIZE_MAX - 2 * kAlignment) return nullptr;
  uint8_t* raw = static_cast<uint8_t*>(malloc(bytes + 2 * kAlignment));
  if (raw == nullptr) return nullptr;
  const uintptr_t base =
      (reinterpret_cast<uintptr_t>(raw) + kAlignment + kAlignment - 1) & ~(uintptr_t)(kAlignment - 1);
  uint8_t* block = reinterpret_cast<uint8_t*>(base);
  memcpy(block - sizeof(void*), &raw, sizeof(void*));
  memset(block, 0, bytes);
  return block;
}

void ScratchPool::Free(uint8_t* base) noexcept {
  if (base == nullptr) return;
  void* raw = nullptr;
  memcpy(&raw, base - sizeof(void*), sizeof(void*));
  free(raw);
}

ScratchBlock ScratchPool::Acquire() noexcept {
  ScratchBlock block;
  block.layout = layout_;
  for (uint8_t*& slot : slots_) {
    if (AtomicLoadPointer(&slot) == nullptr) continue;
    block.base = AtomicExchangePointer(&slot, static_cast<uint8_t*>(nullptr));
    if (block.base != nullptr) return block;
  }
  block.base = Allocate();
  return block;
}

void ScratchPool::Release(ScratchBlock block) noexcept {
  if (block.base == nullptr) return;
  for (uint8_t*& slot : slots_) {
    if (AtomicReplaceNull(&slot, block.base)) return;
  }
  Free(block.base);
}

bool ScratchPool::Reserve(int32_t count) noexcept {
  int32_t held = 0;
  for (uint8_t* const& slot : slots_) held += AtomicLoadPointer(&slot) != nullptr ? 1 : 0;
  for (; held < count && held < kSlots; ++held) {
    ScratchBlock block;
    block.layout = layout_;
    block.base = Allocate();
    if (block.base == nullptr) return false;
    Release(block);
  }
  return true;
}

}  // namespace sorvan
