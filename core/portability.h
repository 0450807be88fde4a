// The one place where the plug-in's code meets its platform. Everything in core/ and plugin/
// includes this instead of any standard-library header, so that the plug-in also builds for
// 32-bit Windows with a compiler that has no C++ standard library there.
#pragma once

#include <math.h>
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

// The Advanced SIMD intrinsics (part of every AArch64 target), for the ARM64 fast paths.
#if defined(__aarch64__) || defined(_M_ARM64)
#include <arm_neon.h>
#endif

// The calling conventions of the hosts' interfaces: stdcall and cdecl on 32-bit Windows, the
// platform's one convention everywhere else.
#if defined(_WIN32) && !defined(_WIN64)
#define SORVAN_STDCALL __stdcall
#define SORVAN_CDECL __cdecl
#else
#define SORVAN_STDCALL
#define SORVAN_CDECL
#endif

#if defined(_WIN32)
#define SORVAN_EXPORT __declspec(dllexport)
#else
#define SORVAN_EXPORT __attribute__((visibility("default")))
#endif

namespace sorvan {

// Gives U the constness of T (for byte views of typed samples).
template <typename T, typename U>
struct ConstLike {
  using Type = U;
};
template <typename T, typename U>
struct ConstLike<const T, U> {
  using Type = const U;
};

// Atomics for the few places where threads meet (the scratch pool), without <atomic>.
template <typename T>
inline T* AtomicExchangePointer(T** slot, T* value) {
  return __atomic_exchange_n(slot, value, __ATOMIC_ACQ_REL);
}
template <typename T>
inline bool AtomicReplaceNull(T** slot, T* value) {
  T* expected = nullptr;
  return __atomic_compare_exchange_n(slot, &expected, value, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE);
}
template <typename T>
inline T* AtomicLoadPointer(T* const* slot) {
  return __atomic_load_n(slot, __ATOMIC_ACQUIRE);
}
template <typename T>
inline void AtomicStorePointer(T** slot, T* value) {
  __atomic_store_n(slot, value, __ATOMIC_RELEASE);
}

}  // namespace sorvan
