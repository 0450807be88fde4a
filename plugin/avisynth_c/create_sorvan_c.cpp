#include "plugin/avisynth_c/create_sorvan_c.h"

#include "core/version.h"
#include "plugin/avisynth_c/arguments.h"
#include "plugin/avisynth_c/sorvan_c_filter.h"
#include "plugin/parameter_strings.h"

namespace sorvan::avs {
namespace {

// What the entry returns (the host shows it nowhere, but a caller of the entry may): the name and version.
constexpr const char* kRegistered = "Sorvan " SORVAN_VERSION_STRING;
constexpr const char* kNoHost = "Sorvan: no AviSynth+ C interface found in the calling program";
constexpr const char* kNotRegistered = "Sorvan: the host refused to register the function Sorvan";
constexpr const char* kNoClip = "Sorvan: the first argument must be a clip";
constexpr const char* kNoVideo = "Sorvan: the clip has no video";
constexpr const char* kFilterNotCreated = "Sorvan: the host could not create the filter";

AVS_Value ErrorValue(const char* message) {
  AVS_Value value{};
  value.type = kError;
  value.d.string = message;
  return value;
}

// The video information of the clip argument; the temporary handle is gone before returning.
bool ChildVideoInfo(const HostFunctions& h, AVS_ScriptEnvironment* env, const AVS_Value& clip, AVS_VideoInfo* vi) {
  AVS_Clip* child = h.take_clip(clip, env);
  if (child == nullptr) return false;
  const AVS_VideoInfo* info = h.get_video_info(child);
  if (info != nullptr) *vi = *info;
  h.release_clip(child);
  return info != nullptr;
}

// The clip and the arguments through the core's checks to a plan; null when `plan` is ready,
// else the refusal as text that outlives the call (composed ones go to the environment's string
// store, which keeps them as long as the host may show them).
const char* PrepareFilter(const HostFunctions& h, AVS_ScriptEnvironment* env, const AVS_Value& args,
                          const AVS_VideoInfo& vi, HostFormat* format, OwnedPlan* plan) {
  FormatName name;
  PixelTypeName(vi.pixel_type, &name);
  const bool known = MapPixelType(vi.pixel_type, format);
  FilterRequest request{};
  request.format = {known ? &format->format : nullptr, name.Text(),
                    vi.width <= 0 || vi.height <= 0 ? kNoVideo : nullptr};
  request.width = vi.width;
  request.height = vi.height;
  request.readRefusal = ReadArguments(args, &request.arguments);
  request.scratchBlocks = 1;  // so that a lack of memory shows in the script, not at a frame
  const PlanRefusal refusal = MakeFilterPlan(request, plan);
  if (!refusal) return nullptr;
  if (!refusal.Composed()) return refusal.Message();
  const char* saved = h.save_string(env, refusal.Message(), -1);
  return saved != nullptr ? saved : "Sorvan: this color format is not supported";
}

AVS_Value Create(const HostFunctions& h, AVS_ScriptEnvironment* env, const AVS_Value& args) {
  const AVS_Value* clip = ClipArgument(args);
  if (clip == nullptr) return ErrorValue(kNoClip);
  AVS_VideoInfo vi{};
  if (!ChildVideoInfo(h, env, *clip, &vi)) return ErrorValue(kNoClip);
  HostFormat format{};
  OwnedPlan plan;
  if (const char* error = PrepareFilter(h, env, args, vi, &format, &plan)) return ErrorValue(error);
  FilterHolder filter;
  if (filter.get() == nullptr) return ErrorValue(kOutOfMemoryMessage);
  filter.get()->host = h;
  filter.get()->format = format;
  filter.get()->carryProperties = h.new_video_frame_p != nullptr && h.check_version(env, kFramePropertiesVersion) == 0;
  filter.get()->plan.Swap(plan);

  AVS_FilterInfo* fi = nullptr;
  AVS_Clip* clipHandle = h.new_c_filter(env, &fi, *clip, 1);
  if (clipHandle == nullptr || fi == nullptr) {
    if (clipHandle != nullptr) h.release_clip(clipHandle);
    return ErrorValue(kFilterNotCreated);
  }
  AttachFilter(fi, filter.Release());
  AVS_Value result{};
  h.set_to_clip(&result, clipHandle);
  h.release_clip(clipHandle);
  return result;
}

AVS_Value AVSC_CC CreateSorvan(AVS_ScriptEnvironment* env, AVS_Value args, void* /*user_data*/) {
  const HostLookup lookup = FindHostFunctions(__builtin_return_address(0));
  if (lookup.missing != nullptr) return ErrorValue(lookup.missing);
  return Create(lookup.functions, env, args);
}

// Registered instead of CreateSorvan when the host lacks a function: the script gets the name.
AVS_Value AVSC_CC RefuseIncompleteHost(AVS_ScriptEnvironment* /*env*/, AVS_Value /*args*/, void* message) {
  return ErrorValue(static_cast<const char*>(message));
}

}  // namespace

const char* RegisterSorvan(AVS_ScriptEnvironment* env, const void* caller) {
  if (env == nullptr) return kNoHost;
  const HostLookup lookup = FindHostFunctions(caller);
  if (lookup.functions.add_function == nullptr) return kNoHost;
  void* missing = const_cast<char*>(lookup.missing);
  const int32_t status =
      lookup.missing == nullptr
          ? lookup.functions.add_function(env, "Sorvan", kAvisynthParameterString.Text(), &CreateSorvan, nullptr)
          : lookup.functions.add_function(env, "Sorvan", kAvisynthParameterString.Text(), &RefuseIncompleteHost,
                                          missing);
  if (status != 0) return kNotRegistered;
  return lookup.missing != nullptr ? lookup.missing : kRegistered;
}

}  // namespace sorvan::avs
