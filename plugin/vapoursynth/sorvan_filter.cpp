#include "plugin/vapoursynth/sorvan_filter.h"

#include "core/filter_request.h"
#include "plugin/vapoursynth/read_arguments.h"
#include "plugin/vapoursynth/vapoursynth_formats.h"

namespace sorvan {
namespace {

constexpr const char* kNoClipMessage = "Sorvan: clip must be a video clip";
constexpr const char* kFrameOutOfMemoryMessage = "Sorvan: out of memory while filtering a frame";
constexpr const char* kFrameMismatchMessage =
    "Sorvan: a source frame has another format or size than its clip declares";
constexpr const char* kMissingFrameMessage = "Sorvan: the host did not deliver the requested source frame";

// One call of Sorvan in a script. Written only while it is made; after that every thread reads it.
// The host holds it through the node's count and hands it back to FreeSorvan once.
struct SorvanInstance {
  static void* operator new(size_t size) noexcept { return calloc(1, size); }
  static void operator delete(void* p) { free(p); }

  VSNode* source = nullptr;
  VSVideoInfo vi{};
  OwnedPlan plan;
};

void SORVAN_VS_CC FreeSorvan(void* instanceData, VSCore*, const VSAPI* vsapi) noexcept {
  auto* instance = static_cast<SorvanInstance*>(instanceData);
  vsapi->freeNode(instance->source);
  delete instance;
}

bool SameFormat(const VSVideoFormat& a, const VSVideoFormat& b) {
  return a.colorFamily == b.colorFamily && a.sampleType == b.sampleType && a.bitsPerSample == b.bitsPerSample &&
         a.subSamplingW == b.subSamplingW && a.subSamplingH == b.subSamplingH && a.numPlanes == b.numPlanes;
}

// A plane as the core sees it; false when its stride does not fit the core's 32-bit pitch.
template <typename Byte>
bool PlaneOf(Byte* data, ptrdiff_t stride, int width, int height, BasicPlaneView<Byte>* plane) {
  if (stride > INT32_MAX || stride < INT32_MIN) return false;
  *plane = {data, static_cast<int32_t>(stride), width, height};
  return true;
}

// Filters `source` into a new frame that carries its properties and shares the planes nothing is
// smoothed in. Null with the refusal in *error.
const VSFrame* FilterFrame(const SorvanInstance& f, const VSFrame* source, VSCore* core, const VSAPI* vsapi,
                           const char** error) {
  const VSVideoFormat* format = vsapi->getVideoFrameFormat(source);
  if (format == nullptr || !SameFormat(*format, f.vi.format) || vsapi->getFrameWidth(source, 0) != f.vi.width ||
      vsapi->getFrameHeight(source, 0) != f.vi.height) {
    *error = kFrameMismatchMessage;
    return nullptr;
  }
  const int planeCount = f.vi.format.numPlanes;
  const VSFrame* planeSources[3] = {};
  const int planeNumbers[3] = {0, 1, 2};
  for (int p = 0; p < planeCount; ++p) planeSources[p] = f.plan->PlaneIsFiltered(p) ? nullptr : source;
  VSFrame* destination =
      vsapi->newVideoFrame2(&f.vi.format, f.vi.width, f.vi.height, planeSources, planeNumbers, source, core);
  if (destination == nullptr) {
    *error = kFrameOutOfMemoryMessage;
    return nullptr;
  }
  SourceFrameView src{};
  FrameView dst{};  // shared planes stay null: the core leaves them alone
  bool fits = true;
  for (int p = 0; p < planeCount; ++p) {
    const int width = vsapi->getFrameWidth(source, p);
    const int height = vsapi->getFrameHeight(source, p);
    fits = fits && PlaneOf(vsapi->getReadPtr(source, p), vsapi->getStride(source, p), width, height, &src.planes[p]);
    if (planeSources[p] == nullptr) {
      fits = fits && PlaneOf(vsapi->getWritePtr(destination, p), vsapi->getStride(destination, p), width, height,
                             &dst.planes[p]);
    }
  }
  if (!fits) {
    vsapi->freeFrame(destination);
    *error = kFrameMismatchMessage;
    return nullptr;
  }
  if (!f.plan->Process(dst, src, kMemoryCopyPlane)) {
    vsapi->freeFrame(destination);
    *error = kFrameOutOfMemoryMessage;
    return nullptr;
  }
  return destination;
}

const VSFrame* SORVAN_VS_CC GetSorvanFrame(int n, int activationReason, void* instanceData, void** /*frameData*/,
                                           VSFrameContext* frameCtx, VSCore* core, const VSAPI* vsapi) noexcept {
  const auto* f = static_cast<const SorvanInstance*>(instanceData);
  if (activationReason == arInitial) {
    vsapi->requestFrameFilter(n, f->source, frameCtx);
    return nullptr;
  }
  if (activationReason != arAllFramesReady) return nullptr;  // arError: nothing is held per frame
  const VSFrame* source = vsapi->getFrameFilter(n, f->source, frameCtx);
  if (source == nullptr) {
    vsapi->setFilterError(kMissingFrameMessage, frameCtx);
    return nullptr;
  }
  const char* error = nullptr;
  const VSFrame* result = FilterFrame(*f, source, core, vsapi, &error);
  vsapi->freeFrame(source);
  if (result == nullptr) vsapi->setFilterError(error, frameCtx);
  return result;
}

}  // namespace

void SORVAN_VS_CC CreateSorvan(const VSMap* in, VSMap* out, void* /*userData*/, VSCore* core,
                               const VSAPI* vsapi) noexcept {
  int error = peSuccess;
  VSNode* source = vsapi->mapGetNode(in, "clip", 0, &error);
  const VSVideoInfo* vi = source != nullptr ? vsapi->getVideoInfo(source) : nullptr;
  if (error != peSuccess || vi == nullptr) {
    vsapi->freeNode(source);
    vsapi->mapSetError(out, kNoClipMessage);
    return;
  }
  VideoFormat format{};
  char name[kFormatNameBytes] = {};
  ArgumentMessage argumentMessage;
  FilterRequest request{};
  request.format = ReadClipFormat(*vi, vsapi, &format, name);
  request.width = vi->width;
  request.height = vi->height;
  request.readRefusal = ReadArguments(in, vsapi, &request.arguments, &argumentMessage);
  request.scratchBlocks = 1;  // so that a lack of memory shows in the script, not at a frame
  OwnedPlan plan;
  if (const PlanRefusal refusal = MakeFilterPlan(request, &plan)) {
    vsapi->freeNode(source);
    vsapi->mapSetError(out, refusal.Message());
    return;
  }
  SorvanInstance* instance = new SorvanInstance;
  if (instance == nullptr) {
    vsapi->freeNode(source);
    vsapi->mapSetError(out, kOutOfMemoryMessage);
    return;
  }
  instance->source = source;
  instance->vi = *vi;
  instance->plan.Swap(plan);
  // Output frame n needs input frame n alone.
  const VSFilterDependency dependency = {source, rpStrictSpatial};
  vsapi->createVideoFilter(out, kVapourSynthFunction, &instance->vi, &GetSorvanFrame, &FreeSorvan, fmParallel,
                           &dependency, 1, instance, core);
  // A node that could not be made never calls FreeSorvan; the error is already on `out`.
  if (vsapi->mapGetError(out) != nullptr) FreeSorvan(instance, core, vsapi);
}

}  // namespace sorvan
