#include "plugin/classic/create_sorvan.h"

#include "plugin/classic/classic_formats.h"
#include "plugin/classic/sorvan_filter.h"

namespace sorvan {
namespace {

// Pixel type of the clip in element 0, 0 when there is none. The temporary reference is dropped
// before returning, so no reference is held when an error is thrown.
int ChildPixelType(const AVSValue& value) {
  const PClip child = value.AsClip();
  return child ? child->GetVideoInfo().pixel_type : 0;
}

// Drops an object that was never handed out; it had no holder until now.
void Discard(IClip* clip) { PClip last(clip); }

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
  // Exactly the five codes: modern hosts have further pixel types that contain all bits of one
  // of them (planar 4:4:4, 16-bit 4:2:0, ...), which this interface cannot describe to us.
  VideoFormat format{};
  if (!ClassicFormat(ChildPixelType(args[0]), &format)) {
    env->ThrowError("%s", "Sorvan: This color format is not supported by this old avisynth version");
  }
  const FilterArguments a = ReadSorvanArguments(args);
  if (const char* error = FirstArgumentError(a)) env->ThrowError("%s", error);
  Sorvan* filter = new Sorvan(args[0].AsClip(), a, format);
  if (filter == nullptr) env->ThrowError("%s", "Sorvan: out of memory while creating the filter");
  if (!filter->IsComplete()) {
    Discard(filter);
    env->ThrowError("%s", kOutOfMemoryMessage);
  }
  return AVSValue(filter);
}

}  // namespace sorvan
