// The twelve arguments out of a call's argument map, by the core's parameter table.
#pragma once

#include "core/bounded_text.h"
#include "core/parameters.h"
#include "plugin/vapoursynth/vapoursynth_interface.h"

namespace sorvan {

// A refusal the table has no text for: "Sorvan: <name> must be one integer".
using ArgumentMessage = BoundedText<96>;

// Fills `arguments` (defaults for what is left out) and returns null, or the refusal of the first
// argument in the table's order that is not a single integer or, for a switch, not 0 or 1.
// Values beyond the int range saturate, so that the range checks refuse them rather than
// reading a truncated value. `message` holds refusals the table has no text for.
const char* ReadArguments(const VSMap* in, const VSAPI* vsapi, FilterArguments* arguments, ArgumentMessage* message);

}  // namespace sorvan
