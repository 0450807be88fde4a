// The C interface's entry points. AviSynth+ tries them before the 2.5 one and calls only the
// first it finds: init2 on hosts of interface 11 and later (64-bit values may arrive), init on
// older ones. Each is one call whose return address lies in the host library.
#include "plugin/avisynth_c/create_sorvan_c.h"

extern "C" SORVAN_EXPORT const char* AVSC_CC avisynth_c_plugin_init2(AVS_ScriptEnvironment* env) {
  return sorvan::avs::RegisterSorvan(env, __builtin_return_address(0));
}

extern "C" SORVAN_EXPORT const char* AVSC_CC avisynth_c_plugin_init(AVS_ScriptEnvironment* env) {
  return sorvan::avs::RegisterSorvan(env, __builtin_return_address(0));
}
