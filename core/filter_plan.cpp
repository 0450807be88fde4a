#include "core/filter_plan.h"

#include "core/kernels/reference_kernels.h"

namespace sorvan {
namespace {

constexpr size_t kBlockAlignment = 64;

size_t AlignUp(size_t bytes) { return (bytes + kBlockAlignment - 1) & ~(kBlockAlignment - 1); }

// The kernel table of a sample type, type-erased for the plan, with the row buffers it needs.
struct ChosenKernels {
  const void* table;
  const char* name;
  size_t workspaceBytes;
};

template <typename T>
ChosenKernels Chosen(const SampleKernels<T>& k, int32_t maxWidth) {
  return {&k, k.name, k.workspaceBytes(maxWidth)};
}

ChosenKernels ChooseKernels(int32_t bytesPerSample, InstructionSet cap, bool reference, int32_t maxWidth) {
  switch (bytesPerSample) {
    case 1: return Chosen(reference ? ReferenceKernels<uint8_t>() : SelectKernels<uint8_t>(cap), maxWidth);
    case 2: return Chosen(reference ? ReferenceKernels<uint16_t>() : SelectKernels<uint16_t>(cap), maxWidth);
    default: return Chosen(reference ? ReferenceKernels<float>() : SelectKernels<float>(cap), maxWidth);
  }
}

// The limits of the script (in 8-bit levels) at the format's depth.
template <typename T>
MergeLimits<T> ScaledLimits(int32_t positive, int32_t negative, int32_t bits) {
  if constexpr (SampleTraits<T>::kFloat) {
    (void)bits;
    return {positive / 255.0, negative / 255.0};
  } else {
    return {positive << (bits - 8), negative << (bits - 8)};
  }
}

template <typename T>
Channel<T> ChannelOf(const BasicPlaneView<typename ConstLike<T, uint8_t>::Type>& plane, const ChannelPlacement& c) {
  return {reinterpret_cast<T*>(plane.data) + c.offset, plane.pitch};
}

ChannelShape ShapeOf(const SourcePlaneView& plane, const ChannelPlacement& c, int32_t samplesPerPixel) {
  const int32_t width = plane.width > 0 ? plane.width >> c.widthShift : 0;
  return {width, plane.height > 0 ? plane.height : 0, c.step > 0 ? c.step : samplesPerPixel};
}

}  // namespace

PlanStatus FilterPlan::Init(const FilterArguments& arguments, const VideoFormat& format, int32_t width, int32_t height,
                            InstructionSet cap) {
  if (!IsProcessableFormat(format)) return PlanStatus::kUnsupportedFormat;
  if (FirstArgumentError(arguments) != nullptr || ChannelSelectionError(arguments, format) != nullptr) {
    return PlanStatus::kInvalidArguments;
  }
  arguments_ = arguments;
  format_ = format;
  window_ = 2 * arguments[kRad] + 1;
  const bool force = arguments.Flag(kForce);
  if (!force) weights_ = BuildGaussianWeights(arguments[kRad], arguments[kStr]);

  // The largest channel that is smoothed sizes the row-sum plane and the row buffers.
  size_t largestArea = 0;
  size_t widest = 0;
  for (int32_t c = 0; c < kColourChannels; ++c) {
    smooth_[c] = c < ColourChannelCount(format) && arguments.Flag(kChannelParameters[c].enabled);
    if (!smooth_[c]) continue;
    const ChannelPlacement& placement = format.channels[c];
    const size_t w = static_cast<size_t>(PlaneWidth(format, placement.plane, width) >> placement.widthShift);
    const size_t h = static_cast<size_t>(PlaneHeight(format, placement.plane, height));
    if (w * h > largestArea) largestArea = w * h;
    if (w > widest) widest = w;
  }
  const ChosenKernels chosen = ChooseKernels(BytesPerSample(format), cap, false, static_cast<int32_t>(widest));
  kernels_ = chosen.table;
  kernelName_ = chosen.name;
  const size_t workspaceBytes = chosen.workspaceBytes;
  const size_t rowSumBytes = BytesPerSample(format) == 4 ? sizeof(double) : sizeof(int32_t);

  planeEntries_ = force ? 0 : largestArea;
  if (planeEntries_ > (SIZE_MAX / 4) / rowSumBytes) return PlanStatus::kOutOfMemory;
  ScratchLayout layout{};
  layout.planeOffset = 0;
  layout.planeBytes = AlignUp(planeEntries_ * rowSumBytes);
  layout.boxOffset = layout.planeBytes;
  layout.boxBytes = force ? AlignUp(static_cast<size_t>(window_) * window_ * sizeof(int32_t)) : 0;
  layout.workspaceOffset = layout.boxOffset + layout.boxBytes;
  layout.workspaceBytes = AlignUp(workspaceBytes);
  layout.totalBytes = layout.workspaceOffset + layout.workspaceBytes + kBlockAlignment;
  pool_.SetLayout(layout);
  return PlanStatus::kOk;
}

bool FilterPlan::ReserveScratch(int32_t count) {
  if (pool_.Reserve(count)) return true;
  ScratchLayout layout = pool_.Layout();
  if (layout.workspaceBytes == 0) return false;
  layout.totalBytes -= layout.workspaceBytes;
  layout.workspaceBytes = 0;
  pool_.SetLayout(layout);
  const ChosenKernels reference = ChooseKernels(BytesPerSample(format_), InstructionSet::kScalar, true, 0);
  kernels_ = reference.table;
  kernelName_ = reference.name;
  return pool_.Reserve(count);
}

bool FilterPlan::PlaneIsFiltered(int32_t plane) const {
  for (int32_t c = 0; c < kColourChannels; ++c) {
    if (smooth_[c] && format_.channels[c].plane == plane) return true;
  }
  return false;
}

template <typename T>
void FilterPlan::SmoothChannel(int32_t c, const FrameView& dst, const SourceFrameView& src,
                               const ScratchBlock& scratch) const {
  const ChannelPlacement& placement = format_.channels[c];
  const SourcePlaneView& plane = src.planes[placement.plane];
  const Channel<T> d = ChannelOf<T>(dst.planes[placement.plane], placement);
  const Channel<const T> s = ChannelOf<const T>(plane, placement);
  const ChannelShape shape = ShapeOf(plane, placement, format_.planes[placement.plane].samplesPerPixel);
  const SampleKernels<T>* k = static_cast<const SampleKernels<T>*>(kernels_);

  const size_t area = static_cast<size_t>(shape.width) * static_cast<size_t>(shape.height);
  const int32_t rad = arguments_[kRad];
  const bool force = arguments_.Flag(kForce);
  // A channel too small for its average is copied unchanged; so is one larger than the scratch
  // was sized for (a frame bigger than the clip said), rather than overrunning it.
  const bool fits = force ? shape.width >= window_ && shape.height >= window_
                          : shape.width >= 2 * rad && shape.height >= 2 * rad && area <= planeEntries_;
  if (!fits) {
    k->copy(d, s, shape);
    return;
  }
  // Row buffers sized for a narrower channel: the reference needs none.
  if (k->workspaceBytes(shape.width) > scratch.layout.workspaceBytes) k = &ReferenceKernels<T>();

  const ChannelParameters& names = kChannelParameters[c];
  const MergeLimits<T> limits =
      ScaledLimits<T>(arguments_[names.positive], arguments_[names.negative], format_.bitsPerSample);
  const GaussianParams g = weights_.Params();
  if (!force && k->gaussianMerge != nullptr) {
    k->gaussianMerge(d, s, shape, g, limits, scratch);
    return;
  }
  if (force) {
    k->box(d, s, shape, window_, scratch);
  } else {
    k->gaussian(d, s, shape, g, scratch);
  }
  k->limitMerge(d, s, Channel<const T>{d.base, d.pitch}, shape, limits);
}

template <typename T>
void FilterPlan::ProcessTyped(const FrameView& dst, const SourceFrameView& src, const ScratchBlock& scratch) const {
  const SampleKernels<T>* k = static_cast<const SampleKernels<T>*>(kernels_);
  for (int32_t c = 0; c < kColourChannels; ++c) {
    const ChannelPlacement& placement = format_.channels[c];
    if (!HasChannel(placement) || !PlaneIsFiltered(placement.plane)) continue;
    if (dst.planes[placement.plane].data == nullptr) continue;
    if (smooth_[c]) {
      SmoothChannel<T>(c, dst, src, scratch);
    } else {
      // The other channels of a packed plane that is being smoothed.
      const SourcePlaneView& plane = src.planes[placement.plane];
      k->copy(ChannelOf<T>(dst.planes[placement.plane], placement), ChannelOf<const T>(plane, placement),
              ShapeOf(plane, placement, format_.planes[placement.plane].samplesPerPixel));
    }
  }
  const ChannelPlacement& alpha = format_.alpha;
  if (HasChannel(alpha) && PlaneIsFiltered(alpha.plane) && dst.planes[alpha.plane].data != nullptr) {
    const SourcePlaneView& plane = src.planes[alpha.plane];
    k->copy(ChannelOf<T>(dst.planes[alpha.plane], alpha), ChannelOf<const T>(plane, alpha),
            ShapeOf(plane, alpha, format_.planes[alpha.plane].samplesPerPixel));
  }
}

bool FilterPlan::Process(const FrameView& dst, const SourceFrameView& src, const CopyPlane& copyPlane) const {
  // Whole planes that nothing is smoothed in are the host's plane copy.
  const int32_t bytes = BytesPerSample(format_);
  for (int32_t p = 0; p < format_.planeCount; ++p) {
    if (PlaneIsFiltered(p) || dst.planes[p].data == nullptr) continue;
    const SourcePlaneView& plane = src.planes[p];
    const int64_t rowBytes = static_cast<int64_t>(plane.width) * format_.planes[p].samplesPerPixel * bytes;
    if (rowBytes <= 0 || plane.height <= 0 || rowBytes > INT32_MAX) continue;
    copyPlane(dst.planes[p].data, dst.planes[p].pitch, plane.data, plane.pitch, static_cast<int32_t>(rowBytes),
              plane.height);
  }

  ScratchLease lease(pool_);
  if (!lease.Valid()) return false;
  switch (bytes) {
    case 1: ProcessTyped<uint8_t>(dst, src, lease.Block()); break;
    case 2: ProcessTyped<uint16_t>(dst, src, lease.Block()); break;
    default: ProcessTyped<float>(dst, src, lease.Block()); break;
  }
  return true;
}

void CopyPlaneRows(void* /*context*/, uint8_t* dst, int32_t dstPitch, const uint8_t* src, int32_t srcPitch,
                   int32_t rowSize, int32_t height) {
  if (rowSize <= 0 || height <= 0) return;
  for (int32_t y = 0; y < height; ++y) {
    memcpy(dst + static_cast<ptrdiff_t>(y) * dstPitch, src + static_cast<ptrdiff_t>(y) * srcPitch,
           static_cast<size_t>(rowSize));
  }
}

}  // namespace sorvan
