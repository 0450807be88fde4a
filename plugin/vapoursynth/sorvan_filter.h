// The filter as this interface runs it: the create function the host calls for
// core.sorvan.Sorvan(clip, ...), and the instance it makes, whose frames any number of threads
// may ask for at once.
#pragma once

#include "core/version.h"
#include "plugin/vapoursynth/vapoursynth_interface.h"

namespace sorvan {

inline constexpr const char* kVapourSynthIdentifier = "org.sorvan.sorvan";
inline constexpr const char* kVapourSynthNamespace = "sorvan";
inline constexpr const char* kVapourSynthPluginName = "Sorvan";
inline constexpr const char* kVapourSynthFunction = "Sorvan";
inline constexpr const char* kVapourSynthReturnType = "clip:vnode;";
// The project version as the interface encodes it: (major << 16) | minor.
inline constexpr int kVapourSynthPluginVersion = (SORVAN_VERSION_MAJOR << 16) | SORVAN_VERSION_MINOR;

// Checks the clip and the arguments in the fixed order and makes the filter, or sets the first
// refusal on `out` holding no reference.
void SORVAN_VS_CC CreateSorvan(const VSMap* in, VSMap* out, void* userData, VSCore* core, const VSAPI* vsapi) noexcept;

}  // namespace sorvan
