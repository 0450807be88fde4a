// Everything one filter fixes at construction: the twelve values, the weights, the window, the
// channels to smooth with their limits at the format's depth, and the kernels. A plan is never
// written after Init; frames go through Process, which takes its scratch from the plan's pool
// for the length of the call, so any number of threads may filter frames through one plan.
// Callers with a host's values make their plans through MakeFilterPlan (core/filter_request.h),
// which checks them and says why it refuses; Init alone, for callers that hold values known to
// be good (tests, benchmarks), refuses bad ones with no more than a status.
#pragma once

#include "core/dispatch.h"
#include "core/frame_view.h"
#include "core/kernels/gaussian_weights.h"
#include "core/parameters.h"
#include "core/scratch_pool.h"

namespace sorvan {

enum class PlanStatus : uint8_t {
  kOk,
  kUnsupportedFormat,  // not a sample type or layout the core computes on
  kInvalidArguments,   // FirstArgumentError or ChannelSelectionError has a message
  kOutOfMemory,
};

class FilterPlan {
 public:
  FilterPlan() = default;
  FilterPlan(const FilterPlan&) = delete;
  FilterPlan& operator=(const FilterPlan&) = delete;

  // Plain malloc and free, null on exhaustion (the new-expression then constructs nothing), as
  // the bindings' objects: no C++ runtime allocator in the plug-in.
  static void* operator new(size_t size) noexcept { return malloc(size); }
  static void operator delete(void* p) noexcept { free(p); }

  // Fixes the plan for frames of `format` at width × height pixels (the clip's size, which sizes
  // the scratch; frames larger than that have the channels that do not fit copied instead).
  // The kernels are the best the CPU has, no higher than `cap` nor SORVAN_MAX_ISA. Call once.
  PlanStatus Init(const FilterArguments& arguments, const VideoFormat& format, int32_t width, int32_t height,
                  InstructionSet cap = kBestInstructionSet);

  // Part of construction, where wanted: makes `count` scratch blocks ready now, so that a lack of
  // memory shows here rather than at the first frame. The fast paths' row buffers only speed
  // things up: when they cannot be had the plan falls back to the reference, which needs none.
  // False when even that memory cannot be had.
  bool ReserveScratch(int32_t count);

  // Filters `src` into `dst` (same format, no overlap). Planes of the destination that no
  // channel is smoothed in are copied through `copyPlane`, unless their data is null. False,
  // with the destination unspecified, only when no scratch could be had (memory).
  bool Process(const FrameView& dst, const SourceFrameView& src, const CopyPlane& copyPlane) const;

  // Whether any channel of memory plane `plane` is smoothed; a host may share the other planes.
  bool PlaneIsFiltered(int32_t plane) const;

  const FilterArguments& Arguments() const { return arguments_; }
  const VideoFormat& Format() const { return format_; }
  const char* KernelName() const { return kernelName_; }
  // Entries of the Gaussian average's row-sum plane: the largest channel it smooths (0 in box mode).
  size_t ScratchPlaneEntries() const { return planeEntries_; }

 private:
  template <typename T>
  void ProcessTyped(const FrameView& dst, const SourceFrameView& src, const ScratchBlock& scratch) const;
  template <typename T>
  void SmoothChannel(int32_t channel, const FrameView& dst, const SourceFrameView& src,
                     const ScratchBlock& scratch) const;

  FilterArguments arguments_{};
  VideoFormat format_{};
  int32_t window_ = 0;
  GaussianWeights weights_{};
  bool smooth_[kColourChannels] = {};
  const void* kernels_ = nullptr;  // the SampleKernels<T> of the format's sample type
  const char* kernelName_ = "reference";
  size_t planeEntries_ = 0;  // row-sum plane (Gaussian) of the largest smoothed channel
  mutable ScratchPool pool_;
};

}  // namespace sorvan
