// The host functions the binding looks up, by name, with where each goes in HostFunctions and the
// refusal when a required one is missing. Shared by the loaders of every platform.
#pragma once

#include "plugin/avisynth_c/host_functions.h"

namespace sorvan::avs {

struct HostFunctionEntry {
  const char* name;
  size_t offset;               // of the pointer in HostFunctions
  const char* missingMessage;  // null: optional
};

// Each refusal is a literal: it is handed to the host as an error value, which must outlive
// the call, and the host's own string store may be what is missing.
#define SORVAN_HOST_FUNCTION(field, required)                                                                     \
  {                                                                                                               \
    "avs_" #field, offsetof(HostFunctions, field),                                                                \
        required ? "Sorvan: this AviSynth+ lacks the C interface function avs_" #field ", which the filter needs" \
                 : nullptr                                                                                        \
  }
inline constexpr HostFunctionEntry kHostFunctionEntries[] = {
    SORVAN_HOST_FUNCTION(add_function, true),
    SORVAN_HOST_FUNCTION(check_version, true),
    SORVAN_HOST_FUNCTION(new_c_filter, true),
    SORVAN_HOST_FUNCTION(take_clip, true),
    SORVAN_HOST_FUNCTION(release_clip, true),
    SORVAN_HOST_FUNCTION(get_video_info, true),
    SORVAN_HOST_FUNCTION(set_to_clip, true),
    SORVAN_HOST_FUNCTION(get_frame, true),
    SORVAN_HOST_FUNCTION(clip_get_error, true),
    SORVAN_HOST_FUNCTION(release_video_frame, true),
    SORVAN_HOST_FUNCTION(new_video_frame_a, true),
    SORVAN_HOST_FUNCTION(get_pitch_p, true),
    SORVAN_HOST_FUNCTION(get_row_size_p, true),
    SORVAN_HOST_FUNCTION(get_height_p, true),
    SORVAN_HOST_FUNCTION(get_read_ptr_p, true),
    SORVAN_HOST_FUNCTION(get_write_ptr_p, true),
    SORVAN_HOST_FUNCTION(bit_blt, true),
    SORVAN_HOST_FUNCTION(save_string, true),
    SORVAN_HOST_FUNCTION(new_video_frame_p, false),
};
#undef SORVAN_HOST_FUNCTION

// Fills `functions` with `find(handle, name)` for every entry; returns the refusal for the first
// required function that is missing, or null. `find` returns the address as void* (function and
// object pointers have one size on every target we build).
template <typename Handle, typename Find>
const char* ResolveHostFunctions(Handle handle, Find find, HostFunctions* functions) {
  const char* missing = nullptr;
  for (const HostFunctionEntry& entry : kHostFunctionEntries) {
    void* symbol = find(handle, entry.name);
    memcpy(reinterpret_cast<uint8_t*>(functions) + entry.offset, &symbol, sizeof symbol);
    if (symbol == nullptr && entry.missingMessage != nullptr && missing == nullptr) missing = entry.missingMessage;
  }
  return missing;
}

}  // namespace sorvan::avs
