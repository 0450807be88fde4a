// The plug-in's one exported symbol: the host calls it once after loading the library.
#include "plugin/classic/create_sorvan.h"
#include "plugin/parameter_strings.h"

extern "C" SORVAN_EXPORT const char* SORVAN_STDCALL AvisynthPluginInit2(IScriptEnvironment* env) {
  env->AddFunction("Sorvan", sorvan::kAvisynthParameterString.Text(), &sorvan::CreateSorvan, nullptr);
  return "Sorvan  Plugin";
}
