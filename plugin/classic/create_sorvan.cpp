#include "plugin/classic/create_sorvan.h"

#include "core/filter_request.h"
#include "plugin/classic/classic_formats.h"
#include "plugin/classic/sorvan_filter.h"

namespace sorvan {
namespace {

// Exactly the five codes: modern hosts have further pixel types that contain all bits of one of
// them (planar 4:4:4, 16-bit 4:2:0, ...), which this interface cannot describe to us.
constexpr const char* kNotOneOfTheFive = "Sorvan: This color format is not supported by this old avisynth version";
// As the C binding says it: to these hosts a clip of no size is one without video.
constexpr const char* kNoVideo = "Sorvan: the clip has no video";

// The video information of the clip in element 0, empty (pixel type 0) when there is none. The
// temporary reference is dropped before returning, so no reference is held when an error is thrown.
VideoInfo ChildVideoInfo(const AVSValue& value) {
  const PClip child = value.AsClip();
  return child ? child->GetVideoInfo() : VideoInfo{};
}

}  // namespace

FilterArguments ReadSorvanArguments(const AVSValue& args) {
  FilterArguments a = DefaultArguments();
  for (int32_t i = 0; i < kParameterCount; ++i) {
    const AVSValue& value = args[i + 1];
    a.values[i] = kParameters[i].kind == ParameterKind::kBoolean ? (value.AsBool(a.values[i] != 0) ? 1 : 0)
                                                                 : value.AsInt(a.values[i]);
  }
  return a;
}

// Every ThrowError below is reached with no counted reference or buffer held in this frame, so
// nothing leaks even where the host's exception passes through code built without unwinding.
AVSValue SORVAN_CDECL CreateSorvan(AVSValue args, void* /*user_data*/, IScriptEnvironment* env) {
  PlanRefusal refusal;
  Sorvan* filter = nullptr;
  {
    const VideoInfo vi = ChildVideoInfo(args[0]);
    VideoFormat format{};
    const bool known = ClassicFormat(vi.pixel_type, &format);
    FilterRequest request{};
    const char* ownRefusal = vi.width <= 0 || vi.height <= 0 ? kNoVideo : known ? nullptr : kNotOneOfTheFive;
    request.format = {known ? &format : nullptr, format.name, ownRefusal};
    request.width = vi.width;
    request.height = vi.height;
    request.arguments = ReadSorvanArguments(args);
    request.scratchBlocks = 1;  // so that a lack of memory shows in the script, not at a frame
    OwnedPlan plan;
    refusal = MakeFilterPlan(request, &plan);
    if (!refusal) filter = new Sorvan(args[0].AsClip(), plan);
  }  // a plan the filter did not take is freed here
  if (refusal) env->ThrowError("%s", refusal.Message());
  if (filter == nullptr) env->ThrowError("%s", "Sorvan: out of memory while creating the filter");
  return AVSValue(filter);
}

}  // namespace sorvan
