// The box average's row loop, one for every sample type: running column sums over the window's
// rows (mirrored at the top and bottom, a packed channel's rows gathered first), reflected r
// columns beyond both ends of the row, from which each output row is finished. The sample
// type's arithmetic comes from `Rows`:
//   using Sum;                                                         a column sum
//   void AddRows(Sum* sums, const T* add, const T* drop, int32_t width) const;  drop may be null
//   void FinishRow(const Sum* sums, const RowOutput<T>& out) const;    sums[−r … width − 1 + r]
// Included after the translation unit's `Isa`.
#pragma once

#include "core/mirror.h"
#include "core/simd/kernel_workspace.h"
#include "core/simd/packed_rows.h"

namespace sorvan {
namespace {

// The row buffers: `sums` with at least r entries ahead of it, three rows of samples.
template <typename T, typename Sum>
struct BoxBuffers {
  Sum* sums;
  T* addRow;
  T* dropRow;
  T* rowOut;
};

template <typename T, typename Rows>
void BoxRows(Channel<T> dst, Channel<const T> src, const ChannelShape& s, int32_t window,
             const BoxBuffers<T, typename Rows::Sum>& b, const Rows& rows) {
  const int32_t r = window / 2;
  auto row = [&](int32_t y, T* buffer) -> const T* {
    const T* p = RowOf(src, y);
    if (s.step == 1) return p;
    GatherRow(buffer, p, s.width, s.step);
    return buffer;
  };
  memset(b.sums, 0, static_cast<size_t>(s.width) * sizeof(typename Rows::Sum));
  for (int32_t dy = -r; dy <= r; ++dy) rows.AddRows(b.sums, row(Mirror(dy, s.height), b.addRow), nullptr, s.width);
  for (int32_t y = 0; y < s.height; ++y) {
    if (y > 0) {
      const T* add = row(Mirror(y + r, s.height), b.addRow);
      const T* drop = row(Mirror(y - 1 - r, s.height), b.dropRow);
      rows.AddRows(b.sums, add, drop, s.width);
    }
    ReflectEnds(b.sums, s.width, r);
    rows.FinishRow(b.sums, RowOutput<T>{RowOf(dst, y), b.rowOut, s.width, s.step});
  }
}

// The integer rows (8-bit and B-bit): a prefix sum along the padded row, so that every window
// sum is one subtraction whatever rad, edge bands included, then the product with the truncated
// scale in 20-bit fixed point, as the reference computes it. Column sums of bytes are 16-bit
// (≤ 17·255), of words 32-bit; window sums of words stay below 17²·2^16 < 2^25, and where a
// prefix of them wraps modulo 2^32 the difference of two prefixes is still the exact sum.
template <typename T>
struct BoxColumnSum;
template <>
struct BoxColumnSum<uint8_t> {
  using Type = int16_t;
};
template <>
struct BoxColumnSum<uint16_t> {
  using Type = uint32_t;
};

template <typename T>
void AddColumnSums(typename BoxColumnSum<T>::Type* sums, const T* add, const T* drop, int32_t width) {
  constexpr bool kBytes = sizeof(T) == 1;
  constexpr int32_t kLanes = kBytes ? Isa::kLanes16 : Isa::kLanes32;
  int32_t x = 0;
  for (; x + kLanes <= width; x += kLanes) {
    Isa::V s = Isa::Load(sums + x);
    if constexpr (kBytes) {
      s = Isa::Add16(s, Isa::LoadU8To16(add + x));
      if (drop != nullptr) s = Isa::Sub16(s, Isa::LoadU8To16(drop + x));
    } else {
      s = Isa::Add32(s, Isa::LoadU16To32(add + x));
      if (drop != nullptr) s = Isa::Sub32(s, Isa::LoadU16To32(drop + x));
    }
    Isa::Store(sums + x, s);
  }
  using Sum = typename BoxColumnSum<T>::Type;
  for (; x < width; ++x) sums[x] = static_cast<Sum>(sums[x] + add[x] - (drop != nullptr ? drop[x] : 0));
}

// kLanes32 column sums in 32-bit lanes.
template <typename Sum>
Isa::V LoadSums32(const Sum* p) {
  if constexpr (sizeof(Sum) == 2) return Isa::LoadI16To32(p);
  return Isa::Load(p);
}

template <typename T>
struct IntegerBoxRows {
  using Sum = typename BoxColumnSum<T>::Type;
  uint32_t* prefix;  // prefix[j]: the sum of the padded row's first j column sums
  int32_t window;
  Isa::V scale;  // ⌊2^20 / window²⌋ in every lane

  void AddRows(Sum* sums, const T* add, const T* drop, int32_t width) const {
    AddColumnSums<T>(sums, add, drop, width);
  }

  void FinishRow(const Sum* sums, const RowOutput<T>& out) const {
    const Sum* first = sums - window / 2;
    prefix[0] = 0;
    Isa::V carry = Isa::Zero();
    for (int32_t j = 0; j < out.width + window - 1; j += Isa::kLanes32) {
      const Isa::V v = Isa::Add32(Isa::PrefixSum32(LoadSums32(first + j)), carry);
      Isa::Store(prefix + 1 + j, v);
      carry = Isa::BroadcastLast32(v);
    }
    for (int32_t x = 0; x < out.width; x += Isa::kLanes32) {
      const Isa::V sum = Isa::Sub32(Isa::Load(prefix + x + window), Isa::Load(prefix + x));
      if constexpr (sizeof(T) == 1) {
        Isa::StoreLanes32As8(out.Block(x, Isa::kLanes32), Isa::ShrU32<20>(Isa::Mul32(sum, scale)));  // < 2^28
      } else {
        Isa::StoreLanes32As16(out.Block(x, Isa::kLanes32), Isa::MulShr<20>(sum, scale));
      }
    }
    out.Finish(Isa::kLanes32);
  }
};

// The integer box in the workspace: column sums with 16 entries ahead, the prefix one region
// on, the three rows of samples in the regions after.
template <typename T>
void IntegerBox(Channel<T> dst, Channel<const T> src, const ChannelShape& s, int32_t window, int32_t* workspace) {
  using Sum = typename BoxColumnSum<T>::Type;
  const size_t region = KernelWorkspaceRegion(s.width);
  uint8_t* rows = reinterpret_cast<uint8_t*>(workspace + 2 * region);
  const size_t rowBytes = (static_cast<size_t>(s.width + 64) * sizeof(T) + 63) & ~static_cast<size_t>(63);
  const BoxBuffers<T, Sum> buffers = {reinterpret_cast<Sum*>(workspace) + 16, reinterpret_cast<T*>(rows),
                                      reinterpret_cast<T*>(rows + rowBytes), reinterpret_cast<T*>(rows + 2 * rowBytes)};
  const IntegerBoxRows<T> integer = {reinterpret_cast<uint32_t*>(workspace + region), window,
                                     Isa::Set32((1 << 20) / (window * window))};  // truncated, as the reference
  BoxRows(dst, src, s, window, buffers, integer);
}

}  // namespace
}  // namespace sorvan
