// Helpers for differential tests of the kernel tables of every sample type: channels in exactly
// sized buffers (a read or write past the channel shows under AddressSanitizer), scratch laid
// out as a plan lays it out, and the float comparison rule of the formats note.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/dispatch.h"
#include "core/kernels/reference_kernels.h"

namespace sorvan::testing {

// A channel of width × height samples of type T at `step`, with `extraSamples` of padding per
// row, over a buffer that ends exactly at the channel's last sample. Every sample of the
// buffer (the other channels' too) is random.
template <typename T>
struct SampleBuffer {
  std::vector<T> samples;
  int32_t pitch = 0;  // bytes
  Channel<T> View() { return {samples.data(), pitch}; }
  Channel<const T> ConstView() const { return {samples.data(), pitch}; }
  T& At(int32_t y, int32_t x, int32_t step) {
    return samples[static_cast<size_t>(y) * (pitch / sizeof(T)) + static_cast<size_t>(x) * step];
  }
};

template <typename T>
SampleBuffer<T> MakeSampleBuffer(const ChannelShape& s, int32_t extraSamples) {
  SampleBuffer<T> b;
  const size_t stride = static_cast<size_t>(s.width) * s.step + extraSamples;
  b.samples.resize(static_cast<size_t>(s.height - 1) * stride + static_cast<size_t>(s.width - 1) * s.step + 1);
  b.pitch = static_cast<int32_t>(stride * sizeof(T));
  return b;
}

// Scratch for one call, laid out as the plan lays it out (row-sum plane, box offsets, the
// table's workspace), each part in its own exactly sized allocation.
template <typename T>
class TestScratch {
 public:
  TestScratch(const SampleKernels<T>& k, const ChannelShape& s, int32_t window) {
    const size_t entries = static_cast<size_t>(s.width) * s.height;
    const size_t planeBytes = entries * sizeof(typename SampleTraits<T>::RowSum);
    const size_t boxBytes = static_cast<size_t>(window) * window * sizeof(int32_t);
    const size_t workspaceBytes = k.workspaceBytes(s.width);
    storage_.resize((planeBytes + boxBytes + workspaceBytes) / sizeof(uint64_t) + 3);
    uint8_t* base = reinterpret_cast<uint8_t*>(storage_.data());
    block_.base = base;
    block_.layout.planeOffset = 0;
    block_.layout.planeBytes = planeBytes;
    block_.layout.boxOffset = (planeBytes + 7) & ~size_t{7};
    block_.layout.boxBytes = boxBytes;
    block_.layout.workspaceOffset = (block_.layout.boxOffset + boxBytes + 7) & ~size_t{7};
    block_.layout.workspaceBytes = workspaceBytes;
    block_.layout.totalBytes = storage_.size() * sizeof(uint64_t);
  }
  const ScratchBlock& Block() const { return block_; }

 private:
  std::vector<uint64_t> storage_;
  ScratchBlock block_;
};

// The fast tables of T this build has (the reference left out), by name, whether or not this CPU
// runs them: each is a test instance of its own, skipped where the CPU cannot run it.
template <typename T>
std::vector<KernelVariant<T>> FastVariants() {
  KernelVariant<T> variants[kMaxKernelVariants];
  const int32_t count = ListKernelVariants<T>(variants, kMaxKernelVariants);
  return std::vector<KernelVariant<T>>(variants + 1, variants + count);
}
template <typename T>
std::vector<std::string> FastPathNames() {
  std::vector<std::string> names;
  for (const KernelVariant<T>& v : FastVariants<T>()) names.push_back(v.name);
  return names;
}
template <typename T>
const SampleKernels<T>* FastPath(const std::string& name) {
  for (const KernelVariant<T>& v : FastVariants<T>()) {
    if (name == v.name) return v.kernels;
  }
  return nullptr;
}

// A test shape: random size from the minimum the average needs up, random step and padding.
inline ChannelShape RandomShape(std::mt19937& rng, int32_t minimum, const std::vector<int32_t>& steps) {
  const int32_t width = minimum + static_cast<int32_t>(rng() % 70);
  const int32_t height = minimum + static_cast<int32_t>(rng() % 24);
  return {width, height, steps[rng() % steps.size()]};
}

// Float: the reference differs from a fast path by at most 2^−20 per averaged sample; where the
// source lies within 2^−20 of a limit, either choice of the merge is correct. `smoothed` is the
// reference's average (for the limit test), `merged` the outputs.
inline constexpr double kFloatTolerance = 1.0 / (1 << 20);

inline bool FloatAverageAgrees(float reference, float fast) {
  if (std::isnan(reference) || std::isnan(fast)) return std::isnan(reference) == std::isnan(fast);
  if (std::isinf(reference) || std::isinf(fast)) return reference == fast;
  return std::fabs(static_cast<double>(reference) - static_cast<double>(fast)) <= kFloatTolerance;
}

// A merged sample: the fast path's value must be what one of the merge choices the rule allows
// gives (the source where s − a is within the tolerance of a limit, either choice).
inline bool FloatMergeAgrees(float source, float referenceAverage, float referenceOut, float fastOut, double positive,
                             double negative) {
  if (FloatAverageAgrees(referenceOut, fastOut)) return true;
  const double d = static_cast<double>(source) - static_cast<double>(referenceAverage);
  const bool nearLimit = std::fabs(d - positive) <= kFloatTolerance || std::fabs(d + negative) <= kFloatTolerance;
  if (!nearLimit) return false;
  // The other choice: the source itself, or an average within the tolerance.
  return fastOut == source || FloatAverageAgrees(referenceAverage, fastOut);
}

}  // namespace sorvan::testing
