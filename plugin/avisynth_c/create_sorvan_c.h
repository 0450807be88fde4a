// Registration of the script function Sorvan with an AviSynth+ environment, and its creation
// callback. Nothing is kept between calls: every callback finds the host functions again from
// its own return address, so the entry may run for any number of environments in one process.
#pragma once

#include "plugin/avisynth_c/avisynth_c_interface.h"

namespace sorvan::avs {

// Registers Sorvan; returns the entry point's text (the host shows nothing of it, a test does).
// `caller` is the entry's return address, inside the host library.
const char* RegisterSorvan(AVS_ScriptEnvironment* env, const void* caller);

}  // namespace sorvan::avs
