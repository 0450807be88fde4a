// What the Windows test drivers share with their Linux twins. Each driver is one source built
// twice: for Windows (run under Wine against sorvan.dll or sorvan64.dll) and for Linux (against
// libsorvan.so). Both make the same random choices in the same order and print the same
// transcript (registration, a digest of every output frame, every refusal's text), so that the
// test compares the two transcripts: equal lines mean byte-identical frames and messages.
// Checks that need no comparison (references balanced, the library unloaded) print "FAIL: …"
// and make the driver exit non-zero. Freestanding enough for the Microsoft-ABI build, which has
// no C++ library: only the C headers the plug-in's own Windows build has.
#pragma once

#include <stddef.h>
#include <stdint.h>

#if defined(_MSC_VER)
extern "C" __declspec(dllimport) int __cdecl printf(const char* format, ...);
#else
#include <stdio.h>
#endif

namespace sorvan::windows_test {

// SplitMix64: one sequence on every platform and compiler.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // In 32 bits: a 64-bit remainder is a slow library call on 32-bit x86.
  int32_t Between(int32_t low, int32_t high) {
    return low + static_cast<int32_t>(static_cast<uint32_t>(Next() >> 32) % static_cast<uint32_t>(high - low + 1));
  }

 private:
  uint64_t state_;
};

// FNV-1a, continued from `hash`.
inline constexpr uint64_t kDigestStart = 14695981039346656037ull;
inline uint64_t Digest(const void* bytes, size_t size, uint64_t hash) {
  const uint8_t* p = static_cast<const uint8_t*>(bytes);
  for (size_t i = 0; i < size; ++i) hash = (hash ^ p[i]) * 1099511628211ull;
  return hash;
}

// Printed in two halves: msvcrt.dll's printf of old Windows knows no 64-bit conversion.
inline void PrintDigest(uint64_t digest) {
  printf("%08x%08x", static_cast<unsigned>(digest >> 32), static_cast<unsigned>(digest));
}

// One row of samples at `bits` bits (32: float in 0…1): a gradient with small noise and now and
// then a spike, so that both the averages and the limits have work. Integer arithmetic only, so
// that an x87 build draws the very samples an SSE2 build does.
inline void FillRow(Random& random, void* row, int32_t samples, int32_t bits, int32_t y) {
  for (int32_t x = 0; x < samples; ++x) {
    int32_t level = 60 + 2 * x + y + random.Between(-5, 5);
    if (random.Between(0, 9) == 0) level += random.Between(-40, 40);
    const int32_t full = level < 0 ? 0 : level > 255 ? 65535 : level * 257;  // 16-bit scale
    if (bits == 32) {
      // Full 24-bit mantissas, so that the order of the additions can show in the last bit.
      const uint32_t fixed = static_cast<uint32_t>(full) << 16 | static_cast<uint32_t>(random.Next() >> 48);
      static_cast<float*>(row)[x] = static_cast<float>(fixed) * (1.0f / 4294967296.0f);
    } else if (bits > 8) {
      static_cast<uint16_t*>(row)[x] = static_cast<uint16_t>(full >> (16 - bits));
    } else {
      static_cast<uint8_t*>(row)[x] = static_cast<uint8_t>(full >> 8);
    }
  }
}

inline int32_t BytesPerSample(int32_t bits) { return bits == 32 ? 4 : bits > 8 ? 2 : 1; }

// The script function's arguments in their order; the switches are 0 or 1.
inline constexpr int kArgumentCount = 12;
inline constexpr const char* kArgumentNames[kArgumentCount] = {"rad", "str", "ry",  "gu",  "bv",  "force",
                                                               "pry", "pgu", "pbv", "nry", "ngu", "nbv"};
inline constexpr bool IsSwitch(int i) { return i >= 2 && i <= 5; }
enum : int { kRad, kStr, kRy, kGu, kBv, kForce, kPry, kPgu, kPbv, kNry, kNgu, kNbv };

// Arguments given by name; the others are left out.
struct Arguments {
  int32_t value[kArgumentCount];
  bool given[kArgumentCount];
};

inline Arguments NoArguments() { return Arguments{}; }

// Every argument given, each in its range, with at least one channel on (channel 0 always, for
// a clip without colour planes) and no channel whose limits are both 0.
inline Arguments RandomArguments(Random& random, bool grayClip) {
  Arguments a{};
  for (int i = 0; i < kArgumentCount; ++i) {
    a.given[i] = true;
    a.value[i] = i < kRy ? random.Between(1, 8) : IsSwitch(i) ? random.Between(0, 1) : random.Between(0, 10);
  }
  if (grayClip || (a.value[kRy] == 0 && a.value[kGu] == 0 && a.value[kBv] == 0)) a.value[kRy] = 1;
  for (int c = 0; c < 3; ++c) {
    if (a.value[kPry + c] == 0 && a.value[kNry + c] == 0) a.value[kPry + c] = 1;
  }
  return a;
}

// The transcript's line for one filtered frame: its format, size and arguments, then its digest,
// or the error that came instead.
inline void PrintFrame(const char* format, int width, int height, const Arguments& a, bool made, uint64_t digest,
                       const char* error) {
  printf("  %s %dx%d", format, width, height);
  for (int i = 0; i < kArgumentCount; ++i) {
    if (a.given[i]) printf(" %s=%d", kArgumentNames[i], static_cast<int>(a.value[i]));
  }
  printf(": ");
  if (made) {
    PrintDigest(digest);
  } else {
    printf("%s", error);
  }
  printf("\n");
}

// The argument refusals every interface shares, in the checks' order.
struct ArgumentRefusal {
  const char* label;
  int count;
  int index[3];
  int32_t value[3];
};
inline constexpr ArgumentRefusal kArgumentRefusals[] = {
    {"rad below its range", 1, {kRad}, {0}},       {"str above its range", 1, {kStr}, {9}},
    {"no channel", 3, {kRy, kGu, kBv}, {0, 0, 0}}, {"pry above its range", 2, {kRy, kPry}, {1, 11}},
    {"ngu below its range", 1, {kNgu}, {-1}},      {"both limits of bv zero", 2, {kPbv, kNbv}, {0, 0}},
};

inline Arguments RefusedArguments(const ArgumentRefusal& r) {
  Arguments a{};
  for (int i = 0; i < r.count; ++i) {
    a.given[r.index[i]] = true;
    a.value[r.index[i]] = r.value[i];
  }
  return a;
}

// The caps a run goes through: none, then each level SORVAN_MAX_ISA names. The library is loaded
// afresh for each, so a choice made once per process could not hide.
inline constexpr const char* kInstructionSetCaps[] = {nullptr, "scalar", "sse2", "avx2", "avx512"};

inline int& FailureCount() {
  static int failures = 0;
  return failures;
}

inline bool Check(bool ok, const char* what) {
  if (!ok) {
    printf("FAIL: %s\n", what);
    ++FailureCount();
  }
  return ok;
}

// A driver's main: one argument, the plug-in's path.
inline int DriverMain(int argc, char** argv, int (*run)(const char* plugin)) {
  if (argc != 2) {
    printf("usage: %s PLUGIN\n", argv[0]);
    return 2;
  }
  return run(argv[1]);
}

}  // namespace sorvan::windows_test
