// The VapourSynth API 4 entry point: the host calls it once after loading the library. API 4.0 is
// declared so that every core of the interface loads the plug-in; it calls no later slot.
#include "plugin/parameter_strings.h"
#include "plugin/vapoursynth/sorvan_filter.h"

extern "C" SORVAN_EXPORT void SORVAN_VS_CC VapourSynthPluginInit2(VSPlugin* plugin,
                                                                  const VSPLUGINAPI* vspapi) noexcept {
  vspapi->configPlugin(sorvan::kVapourSynthIdentifier, sorvan::kVapourSynthNamespace, sorvan::kVapourSynthPluginName,
                       sorvan::kVapourSynthPluginVersion, VAPOURSYNTH_API_40, 0, plugin);
  vspapi->registerFunction(sorvan::kVapourSynthFunction, sorvan::kVapourSynthArgumentString.Text(),
                           sorvan::kVapourSynthReturnType, &sorvan::CreateSorvan, nullptr, plugin);
}
