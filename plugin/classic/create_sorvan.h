// The script function Sorvan: its parameter string, its argument checks and its creation callback.
#pragma once

#include "core/filter_settings.h"
#include "plugin/classic/classic_interface.h"

namespace sorvan {

// One unnamed clip and twelve optional named arguments, in this order.
inline constexpr const char* kSorvanParameters =
    "c[rad]i[str]i[ry]b[gu]b[bv]b[force]b[pry]i[pgu]i[pbv]i[nry]i[ngu]i[nbv]i";

// Reads the twelve values from the argument array (elements 1 to 12); an argument left out
// takes the filter's default, which FilterSettings holds. No table is built here.
FilterSettings ReadSorvanArguments(const AVSValue& args);

// The message of the first failing check after the colour format, in the fixed order, or null.
const char* FirstArgumentError(const FilterSettings& a);

// The creation callback registered with AddFunction.
AVSValue SORVAN_CDECL CreateSorvan(AVSValue args, void* user_data, IScriptEnvironment* env);

}  // namespace sorvan
