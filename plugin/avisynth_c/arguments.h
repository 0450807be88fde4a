// The creation callback's argument array read into the core's argument values, by the core's
// parameter table: the clip first, then the twelve parameters in the table's order.
#pragma once

#include "core/parameters.h"
#include "plugin/avisynth_c/avisynth_c_interface.h"

namespace sorvan::avs {

// Elements of the array the host passes: the clip and one per parameter.
inline constexpr int32_t kArgumentCount = 1 + kParameterCount;

// The clip element, or null when the array does not start with a clip.
const AVS_Value* ClipArgument(const AVS_Value& args);

// Reads the parameters: an omitted one ('v') takes the table's default; integers arrive as 32-bit
// 'i' or, from a host that knows the plug-in handles them, 64-bit 'l' (saturated to 32 bits, so
// the range check still refuses a huge value). Null on success, else the refusal (a value of a
// type the parameter string does not allow, which only a broken host passes).
const char* ReadArguments(const AVS_Value& args, FilterArguments* out);

}  // namespace sorvan::avs
