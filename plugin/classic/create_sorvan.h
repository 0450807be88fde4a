// The script function Sorvan of the 2.5 interface: its argument reading and its creation callback.
#pragma once

#include "core/parameters.h"
#include "plugin/classic/classic_interface.h"

namespace sorvan {

// Reads the twelve values from the argument array (elements 1 to 12); an argument left out
// takes its default from the core's table.
FilterArguments ReadSorvanArguments(const AVSValue& args);

// The creation callback registered with AddFunction.
AVSValue SORVAN_CDECL CreateSorvan(AVSValue args, void* user_data, IScriptEnvironment* env);

}  // namespace sorvan
