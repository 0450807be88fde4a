// Helpers for the fast-path tests: random channels in exactly sized buffers (so that a read or
// write past the channel shows up under AddressSanitizer), and the kernel tables to walk.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "core/dispatch.h"
#include "core/kernels/reference_kernels.h"
#include "tests/support/run_kernels.h"

namespace sorvan::testing {

// The 8-bit fast paths this build has (the reference left out), whether or not this CPU runs
// them; a path this CPU lacks has no kernels.
inline std::vector<KernelVariant<uint8_t>> FastPaths() {
  KernelVariant<uint8_t> variants[kMaxKernelVariants];
  const int32_t count = ListKernelVariants<uint8_t>(variants, kMaxKernelVariants);
  return std::vector<KernelVariant<uint8_t>>(variants + 1, variants + count);
}

inline const KernelVariant<uint8_t>* FastPathVariant(const std::string& name) {
  static const std::vector<KernelVariant<uint8_t>> paths = FastPaths();
  for (const KernelVariant<uint8_t>& v : paths) {
    if (name == v.name) return &v;
  }
  return nullptr;
}

inline const SampleKernels<uint8_t>* FastPath(const std::string& name) {
  const KernelVariant<uint8_t>* v = FastPathVariant(name);
  return v != nullptr ? v->kernels : nullptr;
}

inline std::vector<std::string> FastPathNames() {
  std::vector<std::string> names;
  for (const KernelVariant<uint8_t>& v : FastPaths()) names.push_back(v.name);
  return names;
}

// Skips the current test when the CPU lacks the path, and checks that the path under test is
// really not the reference.
#define SORVAN_REQUIRE_FAST_PATH(name, kernels)                                                 \
  do {                                                                                          \
    kernels = ::sorvan::testing::FastPath(name);                                                \
    if (kernels == nullptr) GTEST_SKIP() << "this CPU (or build) has no " << (name) << " path"; \
    const ::sorvan::SampleKernels<uint8_t>& reference = ::sorvan::ReferenceKernels<uint8_t>();  \
    ASSERT_NE(kernels, &reference);                                                             \
    ASSERT_NE(kernels->gaussian, reference.gaussian);                                           \
    ASSERT_NE(kernels->box, reference.box);                                                     \
    ASSERT_NE(kernels->limitMerge, reference.limitMerge);                                       \
    ASSERT_NE(kernels->copy, reference.copy);                                                   \
  } while (0)

// One channel view over its own buffer, which ends exactly at the channel's last sample.
struct TestChannel {
  std::vector<uint8_t> buffer;
  int32_t pitch = 0;
  ptrdiff_t baseOffset = 0;  // where sample (0, 0) lies in the buffer
  uint8_t* base() { return buffer.data() + baseOffset; }
  const uint8_t* base() const { return buffer.data() + baseOffset; }
};

inline Channel<uint8_t> Out(TestChannel& c) { return {c.base(), c.pitch}; }
inline Channel<const uint8_t> In(const TestChannel& c) { return {c.base(), c.pitch}; }

// A channel of width × height samples at `step`, with `extra` bytes of padding per row (so the
// pitch may be odd) and, when `bottomUp`, a negative pitch. Every byte is random.
inline TestChannel MakeChannel(int32_t width, int32_t height, int32_t step, int32_t extra, bool bottomUp,
                               std::mt19937& rng) {
  TestChannel c;
  const int32_t rowBytes = (width - 1) * step + 1;
  const int32_t stride = width * step + extra;
  const size_t bytes = static_cast<size_t>(height - 1) * stride + rowBytes;
  c.buffer.resize(bytes);
  for (auto& b : c.buffer) b = static_cast<uint8_t>(rng());
  c.pitch = bottomUp ? -stride : stride;
  c.baseOffset = bottomUp ? static_cast<ptrdiff_t>(height - 1) * stride : 0;
  return c;
}

// Overwrites the channel's samples with content of one of several kinds: noise, a smooth ramp
// with small noise (so both branches of the merge occur), flat areas, extremes.
inline void FillSamples(TestChannel& c, int32_t width, int32_t height, int32_t step, int32_t kind, std::mt19937& rng) {
  const int32_t level = static_cast<int32_t>(rng() % 256);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      int32_t v = 0;
      switch (kind % 5) {
        case 0: v = static_cast<int32_t>(rng() % 256); break;
        case 1: v = level + (x + y) % 40 - 20 + static_cast<int32_t>(rng() % 9) - 4; break;
        case 2: v = level; break;
        case 3: v = (rng() % 8 == 0) ? 0 : 255; break;
        default: v = (rng() % 2 == 0) ? 0 : 255; break;
      }
      v = v < 0 ? 0 : (v > 255 ? 255 : v);
      c.base()[static_cast<ptrdiff_t>(y) * c.pitch + static_cast<ptrdiff_t>(x) * step] = static_cast<uint8_t>(v);
    }
  }
}

}  // namespace sorvan::testing
