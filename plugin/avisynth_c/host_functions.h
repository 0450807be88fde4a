// The host functions the binding calls, found at run time in the host library that called us:
// the plug-in has no link-time dependency on any AviSynth+ library, so it loads in any process,
// and a host too old for a function is told so instead of the process dying at the first call.
#pragma once

#include "plugin/avisynth_c/avisynth_c_interface.h"

namespace sorvan::avs {

struct HostFunctions {
  // Needed by every filter.
  avs_add_function_func add_function;
  avs_check_version_func check_version;
  avs_new_c_filter_func new_c_filter;
  avs_take_clip_func take_clip;
  avs_release_clip_func release_clip;
  avs_get_video_info_func get_video_info;
  avs_set_to_clip_func set_to_clip;
  avs_get_frame_func get_frame;
  avs_clip_get_error_func clip_get_error;
  avs_release_video_frame_func release_video_frame;
  avs_new_video_frame_a_func new_video_frame_a;
  avs_get_plane_int_func get_pitch_p;
  avs_get_plane_int_func get_row_size_p;
  avs_get_plane_int_func get_height_p;
  avs_get_read_ptr_p_func get_read_ptr_p;
  avs_get_write_ptr_p_func get_write_ptr_p;
  avs_bit_blt_func bit_blt;
  avs_save_string_func save_string;
  // Interface 8 and later; null on older hosts, whose output frames are then plainly new.
  avs_new_video_frame_p_func new_video_frame_p;
};

// The outcome of a look-up: `missing` is the refusal naming the first required function the host
// lacks (a literal; null when all were found). `functions.add_function` may be set even when another one is missing,
// so that the script function can still be registered to report it.
struct HostLookup {
  HostFunctions functions;
  const char* missing;
};

// Looks the functions up in the library that contains `callerAddress` (the return address of an
// exported entry or callback, which lies in the host library), then, failing that, in a loaded
// library whose name contains "libavisynth", then in the process's global scope.
HostLookup FindHostFunctions(const void* callerAddress);

}  // namespace sorvan::avs
