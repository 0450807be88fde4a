#include "plugin/avisynth_c/create_sorvan_c.h"

#include "core/version.h"
#include "plugin/avisynth_c/arguments.h"
#include "plugin/avisynth_c/sorvan_c_filter.h"

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

// "Sorvan: <name> is not supported: …" in the environment's string store, which keeps it as long
// as the host may show it.
const char* UnsupportedFormat(const HostFunctions& h, AVS_ScriptEnvironment* env, int32_t pixelType) {
  char name[48];
  char message[160];
  UnsupportedFormatMessage(message, sizeof message, PixelTypeName(pixelType, name, sizeof name));
  const char* saved = h.save_string(env, message, -1);
  return saved != nullptr ? saved : "Sorvan: this color format is not supported";
}

// The checks in their fixed order, then the plan; null when the filter is ready.
const char* PrepareFilter(const HostFunctions& h, AVS_ScriptEnvironment* env, const AVS_Value& args,
                          const AVS_VideoInfo& vi, SorvanCFilter* filter) {
  if (!MapPixelType(vi.pixel_type, &filter->format)) return UnsupportedFormat(h, env, vi.pixel_type);
  if (vi.width <= 0 || vi.height <= 0) return kNoVideo;
  FilterArguments arguments;
  if (const char* error = ReadArguments(args, &arguments)) return error;
  if (const char* error = FirstArgumentError(arguments)) return error;
  if (const char* error = ChannelSelectionError(arguments, filter->format.format)) return error;
  switch (filter->plan.Init(arguments, filter->format.format, vi.width, vi.height)) {
    case PlanStatus::kOk: break;
    case PlanStatus::kUnsupportedFormat: return UnsupportedFormat(h, env, vi.pixel_type);
    case PlanStatus::kInvalidArguments: return FirstArgumentError(arguments);
    case PlanStatus::kOutOfMemory: return kOutOfMemoryMessage;
  }
  // One request's scratch now, so that a lack of memory shows in the script, not at a frame.
  if (!filter->plan.ReserveScratch(1)) return kOutOfMemoryMessage;
  filter->host = h;
  filter->carryProperties = h.new_video_frame_p != nullptr && h.check_version(env, kFramePropertiesVersion) == 0;
  return nullptr;
}

AVS_Value Create(const HostFunctions& h, AVS_ScriptEnvironment* env, const AVS_Value& args) {
  const AVS_Value* clip = ClipArgument(args);
  if (clip == nullptr) return ErrorValue(kNoClip);
  AVS_VideoInfo vi{};
  if (!ChildVideoInfo(h, env, *clip, &vi)) return ErrorValue(kNoClip);
  FilterHolder filter;
  if (filter.get() == nullptr) return ErrorValue(kOutOfMemoryMessage);
  if (const char* error = PrepareFilter(h, env, args, vi, filter.get())) return ErrorValue(error);

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
          ? lookup.functions.add_function(env, "Sorvan", kAvisynthParameterString.text, &CreateSorvan, nullptr)
          : lookup.functions.add_function(env, "Sorvan", kAvisynthParameterString.text, &RefuseIncompleteHost, missing);
  if (status != 0) return kNotRegistered;
  return lookup.missing != nullptr ? lookup.missing : kRegistered;
}

}  // namespace sorvan::avs
