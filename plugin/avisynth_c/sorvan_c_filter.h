// The filter behind one AviSynth+ C clip: the host functions, the format with the host's plane
// constants and the core's plan, fixed at creation and only read afterwards, so that the host may
// call the frame callback from any number of threads at once on one instance.
#pragma once

#include "plugin/avisynth_c/host_functions.h"
#include "plugin/avisynth_c/pixel_format.h"

namespace sorvan::avs {

struct SorvanCFilter {
  HostFunctions host;
  HostFormat format;
  // Whether output frames are made with the source frame's properties (interface 8 and later).
  bool carryProperties;
  OwnedPlan plan;

  // Plain malloc and free, null on exhaustion (the new-expression then constructs nothing), as
  // the other bindings' objects: no C++ runtime allocator in the plug-in.
  static void* operator new(size_t size) noexcept { return malloc(size); }
  static void operator delete(void* p) noexcept { free(p); }
};

// Allocates a filter with malloc; null when out of memory. Freed by DestroyFilter only.
SorvanCFilter* NewFilter();
void DestroyFilter(SorvanCFilter* filter);

// Owns a filter until it is handed to the host's filter information.
class FilterHolder {
 public:
  FilterHolder() : filter_(NewFilter()) {}
  ~FilterHolder() { DestroyFilter(filter_); }
  FilterHolder(const FilterHolder&) = delete;
  FilterHolder& operator=(const FilterHolder&) = delete;

  SorvanCFilter* get() const { return filter_; }
  SorvanCFilter* Release() {
    SorvanCFilter* filter = filter_;
    filter_ = nullptr;
    return filter;
  }

 private:
  SorvanCFilter* filter_;
};

// Installs the callbacks and the filter in `fi`, which takes the filter over.
void AttachFilter(AVS_FilterInfo* fi, SorvanCFilter* filter);

}  // namespace sorvan::avs
