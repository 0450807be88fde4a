// The passes every driver makes, one per instruction-set cap, each with the plug-in loaded afresh
// through the driver's host and let go at its end: after the first, the DLL is loaded again with
// its first address taken, so that the loader relocates it; each pass probes which level's
// kernels run and counts the DLL's heap blocks; integer frames must not differ between passes;
// and once the host lets the library go, it must have freed every block and be gone.
#pragma once

#include "tests/windows/driver_platform.h"
#include "tests/windows/driver_support.h"
#include "tests/windows/heap_census.h"
#include "tests/windows/kernel_probe.h"

namespace sorvan::windows_test {

class CapPasses {
 public:
  explicit CapPasses(const char* path) : path_(path) {}

  // Calls pass() with each cap set; pass loads the plug-in, calls Loaded and Filtered, and lets
  // it go before it returns, false when the plug-in did not load (which ends the passes).
  template <typename Pass>
  bool Run(Pass pass) {
    for (const char* cap : kInstructionSetCaps) {
      cap_ = cap;
      SetInstructionSetCap(cap);
      if (!pass()) return false;
      Check(HeapCensus::Live() == 0, "the plug-in left blocks of the heap allocated");
      Check(LoadedAt(path_) == 0, "the library is still loaded after the host let it go");
      if (First()) OccupyAddress(firstPlace_);
    }
    return true;
  }

  bool First() const { return cap_ == nullptr; }
  uintptr_t Place() const { return place_; }

  // Once the plug-in is loaded, before any frame.
  void Loaded() {
    place_ = LoadedAt(path_);
    if (First()) {
      firstPlace_ = place_;
    } else {
      Check(!kRelocatesOnReload || place_ != firstPlace_, "loaded again over the address it was kept from");
    }
    probe_.Arm(path_, place_);
    HeapCensus::Attach(place_);
    printf("frames, SORVAN_MAX_ISA %s:\n", First() ? "unset" : cap_);
  }

  // After the frames of every format: their digests, and which are of integer samples.
  void Filtered(const uint64_t* digests, const bool* integer, int count) {
    probe_.Expect(cap_);
    probe_.Disarm();
    for (int i = 0; i < count && i < kMaxFormats; ++i) {
      if (First()) {
        unlimited_[i] = digests[i];
      } else if (integer[i]) {
        Check(digests[i] == unlimited_[i], "integer frames differ between instruction sets");
      }
    }
  }

 private:
  static constexpr int kMaxFormats = 32;
  const char* path_;
  const char* cap_ = nullptr;
  uintptr_t place_ = 0;
  uintptr_t firstPlace_ = 0;
  KernelProbe probe_;
  uint64_t unlimited_[kMaxFormats] = {};
};

}  // namespace sorvan::windows_test
