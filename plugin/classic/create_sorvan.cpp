#include "plugin/classic/create_sorvan.h"

#include "core/pixel_type.h"
#include "plugin/classic/sorvan_filter.h"

namespace sorvan {
namespace {

constexpr int kMaxLimit = 10;

bool InRange(int value, int low, int high) { return value >= low && value <= high; }

// Pixel type of the clip in element 0, 0 when there is none. The temporary reference is dropped
// before returning, so no reference is held when an error is thrown.
int ChildPixelType(const AVSValue& value) {
  const PClip child = value.AsClip();
  return child ? child->GetVideoInfo().pixel_type : 0;
}

// Drops an object that was never handed out; it had no holder until now.
void Discard(IClip* clip) { PClip last(clip); }

// Checks of one channel's limits, run only when the channel is switched on.
const char* LimitError(int positive, int negative, const char* positiveMessage, const char* negativeMessage,
                       const char* bothZeroMessage) {
  if (!InRange(positive, 0, kMaxLimit)) return positiveMessage;
  if (!InRange(negative, 0, kMaxLimit)) return negativeMessage;
  if (positive == 0 && negative == 0) return bothZeroMessage;
  return nullptr;
}

}  // namespace

FilterSettings ReadSorvanArguments(const AVSValue& args) {
  const FilterSettings defaults;
  FilterSettings a;
  a.rad = args[1].AsInt(defaults.rad);
  a.str = args[2].AsInt(defaults.str);
  a.ry = args[3].AsBool(defaults.ry);
  a.gu = args[4].AsBool(defaults.gu);
  a.bv = args[5].AsBool(defaults.bv);
  a.force = args[6].AsBool(defaults.force);
  a.pry = args[7].AsInt(defaults.pry);
  a.pgu = args[8].AsInt(defaults.pgu);
  a.pbv = args[9].AsInt(defaults.pbv);
  a.nry = args[10].AsInt(defaults.nry);
  a.ngu = args[11].AsInt(defaults.ngu);
  a.nbv = args[12].AsInt(defaults.nbv);
  return a;
}

const char* FirstArgumentError(const FilterSettings& a) {
  if (!InRange(a.rad, kMinRadius, kMaxRadius)) return "Sorvan:rad must be between 1 and 8";
  if (!InRange(a.str, 1, 8)) return "Sorvan:str must be between 1 and 8";
  if (!a.ry && !a.gu && !a.bv) return "Sorvan: At least one of ry, gu and bv must be true";
  const char* error = nullptr;
  if (a.ry) {
    error = LimitError(a.pry, a.nry, "Sorvan: limit pry must be between 0 and 10",
                       "Sorvan: limit nry must be between 0 and 10",
                       "Sorvan: both limits pry and nry are specified as zero");
    if (error) return error;
  }
  if (a.gu) {
    error = LimitError(a.pgu, a.ngu, "Sorvan: limit pgu must be between 0 and 10",
                       "Sorvan: limit ngu must be between 0 and 10",
                       "Sorvan: both limits pgu and ngu are specified as zero");
    if (error) return error;
  }
  if (a.bv) {
    error = LimitError(a.pbv, a.nbv, "Sorvan: limit pbv must be between 0 and 10",
                       "Sorvan: limit nbv must be between 0 and 10",
                       "Sorvan: both limits pbv and nbv are specified as zero");
    if (error) return error;
  }
  return nullptr;
}

// Every ThrowError below is reached with no counted reference or buffer held in this frame, so
// nothing leaks even where the host's exception passes through code built without unwinding.
AVSValue SORVAN_CDECL CreateSorvan(AVSValue args, void* /*user_data*/, IScriptEnvironment* env) {
  // Exactly the five codes: modern hosts have further pixel types that contain all bits of one
  // of them (planar 4:4:4, 16-bit 4:2:0, ...), which the filter would process wrongly.
  if (!IsSupportedPixelType(ChildPixelType(args[0]))) {
    env->ThrowError("%s", "Sorvan: This color format is not supported by this old avisynth version");
  }
  const FilterSettings a = ReadSorvanArguments(args);
  if (const char* error = FirstArgumentError(a)) env->ThrowError("%s", error);

  Sorvan* filter = new Sorvan(args[0].AsClip(), a.rad, a.str, a.ry, a.gu, a.bv, a.force, a.pry, a.pgu, a.pbv, a.nry,
                              a.ngu, a.nbv, env);
  if (filter == nullptr) env->ThrowError("%s", "Sorvan: out of memory while creating the filter");
  if (!filter->IsComplete()) {
    Discard(filter);
    env->ThrowError("%s", "Sorvan: out of memory while allocating the filter's tables");
  }
  return AVSValue(filter);
}

}  // namespace sorvan
