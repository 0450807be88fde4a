// Our own declarations of the AviSynth+ C plug-in interface (interface version 11): the value,
// clip-information and filter-information structures, the constants the filter uses and the
// signatures of the host functions it looks up at run time. Only what the binding needs is here;
// the host's structures are reproduced field for field and pinned by the static_asserts below,
// because the host reads and writes them directly.
#pragma once

#include "core/portability.h"

// The interface's calling convention: stdcall against the usual 32-bit Windows host (a host
// built with GCC for 32-bit x86 uses cdecl and is selected with SORVAN_AVSC_CDECL), nothing
// anywhere else.
#if defined(_WIN32) && !defined(_WIN64) && !defined(SORVAN_AVSC_CDECL)
#define AVSC_CC __stdcall
#else
#define AVSC_CC
#endif

extern "C" {

// Host-private objects, handled only by pointer.
struct AVS_Clip;
struct AVS_ScriptEnvironment;
struct AVS_VideoFrame;

// A script value. `type` holds an ASCII code; the union needs an integer/pointer member so that
// the x86-64 System V convention passes and returns the whole value in integer registers, as the
// host's C compiler does.
struct AVS_Value {
  int16_t type;
  int16_t array_size;
  union {
    void* clip;
    char boolean;
    int32_t integer;
    float floating_pt;
    const char* string;
    const AVS_Value* array;
#if UINTPTR_MAX > 0xFFFFFFFFu
    int64_t longlong;
    double double_pt;
#else
    int64_t* longlong_ptr;
    double* double_pt_ptr;
#endif
  } d;
};

struct AVS_VideoInfo {
  int32_t width;
  int32_t height;
  uint32_t fps_numerator;
  uint32_t fps_denominator;
  int32_t num_frames;
  int32_t pixel_type;
  int32_t audio_samples_per_second;
  int32_t sample_type;
  int64_t num_audio_samples;
  int32_t nchannels;
  int32_t image_type;
};

struct AVS_FilterInfo;
typedef AVS_VideoFrame*(AVSC_CC* AVS_GetFrameFunc)(AVS_FilterInfo* fi, int32_t n);
typedef int32_t(AVSC_CC* AVS_GetParityFunc)(AVS_FilterInfo* fi, int32_t n);
typedef int32_t(AVSC_CC* AVS_GetAudioFunc)(AVS_FilterInfo* fi, void* buf, int64_t start, int64_t count);
typedef int32_t(AVSC_CC* AVS_SetCacheHintsFunc)(AVS_FilterInfo* fi, int32_t hint, int32_t frame_range);
typedef void(AVSC_CC* AVS_FreeFilterFunc)(AVS_FilterInfo* fi);

// Owned by the host; the plug-in fills the callbacks and user_data during creation.
struct AVS_FilterInfo {
  AVS_Clip* child;
  AVS_VideoInfo vi;
  AVS_ScriptEnvironment* env;
  AVS_GetFrameFunc get_frame;
  AVS_GetParityFunc get_parity;
  AVS_GetAudioFunc get_audio;
  AVS_SetCacheHintsFunc set_cache_hints;
  AVS_FreeFilterFunc free_filter;
  const char* error;
  void* user_data;
};

// The script function's creation callback, and the plug-in's entry point.
typedef AVS_Value(AVSC_CC* AVS_ApplyFunc)(AVS_ScriptEnvironment* env, AVS_Value args, void* user_data);
typedef const char*(AVSC_CC* AVS_PluginInitFunc)(AVS_ScriptEnvironment* env);

// Host functions, in the order of HostFunctions (host_functions.h).
typedef int32_t(AVSC_CC* avs_add_function_func)(AVS_ScriptEnvironment* env, const char* name, const char* params,
                                                AVS_ApplyFunc apply, void* user_data);
typedef int32_t(AVSC_CC* avs_check_version_func)(AVS_ScriptEnvironment* env, int32_t version);
typedef AVS_Clip*(AVSC_CC* avs_new_c_filter_func)(AVS_ScriptEnvironment* env, AVS_FilterInfo** fi, AVS_Value child,
                                                  int32_t store_child);
typedef AVS_Clip*(AVSC_CC* avs_take_clip_func)(AVS_Value value, AVS_ScriptEnvironment* env);
typedef void(AVSC_CC* avs_release_clip_func)(AVS_Clip* clip);
typedef const AVS_VideoInfo*(AVSC_CC* avs_get_video_info_func)(AVS_Clip* clip);
typedef void(AVSC_CC* avs_set_to_clip_func)(AVS_Value* value, AVS_Clip* clip);
typedef AVS_VideoFrame*(AVSC_CC* avs_get_frame_func)(AVS_Clip* clip, int32_t n);
typedef const char*(AVSC_CC* avs_clip_get_error_func)(AVS_Clip* clip);
typedef void(AVSC_CC* avs_release_video_frame_func)(AVS_VideoFrame* frame);
typedef AVS_VideoFrame*(AVSC_CC* avs_new_video_frame_a_func)(AVS_ScriptEnvironment* env, const AVS_VideoInfo* vi,
                                                             int32_t align);
typedef AVS_VideoFrame*(AVSC_CC* avs_new_video_frame_p_func)(AVS_ScriptEnvironment* env, const AVS_VideoInfo* vi,
                                                             const AVS_VideoFrame* prop_src);
typedef int32_t(AVSC_CC* avs_get_plane_int_func)(const AVS_VideoFrame* frame, int32_t plane);
typedef const uint8_t*(AVSC_CC* avs_get_read_ptr_p_func)(const AVS_VideoFrame* frame, int32_t plane);
typedef uint8_t*(AVSC_CC* avs_get_write_ptr_p_func)(const AVS_VideoFrame* frame, int32_t plane);
typedef void(AVSC_CC* avs_bit_blt_func)(AVS_ScriptEnvironment* env, uint8_t* dst, int32_t dst_pitch, const uint8_t* src,
                                        int32_t src_pitch, int32_t row_size, int32_t height);
typedef char*(AVSC_CC* avs_save_string_func)(AVS_ScriptEnvironment* env, const char* s, int32_t length);

}  // extern "C"

namespace sorvan::avs {

// Value type codes.
inline constexpr int16_t kVoid = 'v';
inline constexpr int16_t kClip = 'c';
inline constexpr int16_t kBool = 'b';
inline constexpr int16_t kInt = 'i';
inline constexpr int16_t kLong = 'l';
inline constexpr int16_t kFloat = 'f';
inline constexpr int16_t kDouble = 'd';
inline constexpr int16_t kString = 's';
inline constexpr int16_t kArray = 'a';
inline constexpr int16_t kError = 'e';

// Planes, as the frame accessors take them.
inline constexpr int32_t kDefaultPlane = 0;
inline constexpr int32_t kPlaneY = 1;
inline constexpr int32_t kPlaneU = 2;
inline constexpr int32_t kPlaneV = 4;
inline constexpr int32_t kPlaneA = 16;
inline constexpr int32_t kPlaneR = 32;
inline constexpr int32_t kPlaneG = 64;
inline constexpr int32_t kPlaneB = 128;

// Pixel-type bits and fields.
inline constexpr uint32_t kCsPlanar = 0x80000000u;
inline constexpr uint32_t kCsInterleaved = 0x40000000u;
inline constexpr uint32_t kCsYuv = 0x20000000u;
inline constexpr uint32_t kCsBgr = 0x10000000u;
inline constexpr uint32_t kCsYuva = 0x08000000u;
inline constexpr uint32_t kCsSampleBitsMask = 0x70000u;
inline constexpr int32_t kCsSampleBitsShift = 16;
inline constexpr uint32_t kCsVerticalMask = 0x700u;
inline constexpr int32_t kCsVerticalShift = 8;
inline constexpr uint32_t kCsHorizontalMask = 0x7u;
inline constexpr uint32_t kCsUPlaneFirst = 0x10u;
inline constexpr uint32_t kCsVPlaneFirst = 0x08u;
inline constexpr uint32_t kCsRgbType = 0x1u;
inline constexpr uint32_t kCsRgbaType = 0x2u;
inline constexpr uint32_t kCsYuy2 = 0x60000004u;
inline constexpr uint32_t kCsI420 = 0xA0000010u;

// Cache hints and the multithreading answers.
inline constexpr int32_t kCacheGetMtMode = 509;
inline constexpr int32_t kMtNiceFilter = 1;

// The interface version that brought frame properties (and the _p frame allocators).
inline constexpr int32_t kFramePropertiesVersion = 8;

inline constexpr int32_t kFrameAlign = 64;

}  // namespace sorvan::avs

// The layouts the host compiles against (see the table of each structure).
#if defined(__x86_64__) || defined(__aarch64__) || defined(_WIN64)
static_assert(sizeof(AVS_Value) == 16 && alignof(AVS_Value) == 8, "AVS_Value: 16 bytes, 8-aligned on 64-bit");
static_assert(offsetof(AVS_Value, d) == 8, "AVS_Value: the union at 8 on 64-bit");
static_assert(sizeof(AVS_FilterInfo) == 120, "AVS_FilterInfo: 120 bytes on 64-bit");
static_assert(offsetof(AVS_FilterInfo, vi) == 8 && offsetof(AVS_FilterInfo, env) == 56 &&
                  offsetof(AVS_FilterInfo, get_frame) == 64 && offsetof(AVS_FilterInfo, get_parity) == 72 &&
                  offsetof(AVS_FilterInfo, get_audio) == 80 && offsetof(AVS_FilterInfo, set_cache_hints) == 88 &&
                  offsetof(AVS_FilterInfo, free_filter) == 96 && offsetof(AVS_FilterInfo, error) == 104 &&
                  offsetof(AVS_FilterInfo, user_data) == 112,
              "AVS_FilterInfo: 64-bit offsets");
#elif defined(_WIN32)
static_assert(sizeof(AVS_Value) == 8 && alignof(AVS_Value) == 4, "AVS_Value: 8 bytes, 4-aligned on 32-bit");
static_assert(offsetof(AVS_Value, d) == 4, "AVS_Value: the union at 4 on 32-bit");
static_assert(sizeof(AVS_FilterInfo) == 88 && offsetof(AVS_FilterInfo, vi) == 8 &&
                  offsetof(AVS_FilterInfo, env) == 56 && offsetof(AVS_FilterInfo, get_frame) == 60 &&
                  offsetof(AVS_FilterInfo, free_filter) == 76 && offsetof(AVS_FilterInfo, error) == 80 &&
                  offsetof(AVS_FilterInfo, user_data) == 84,
              "AVS_FilterInfo: 32-bit Windows offsets (int64 8-aligned inside structures)");
#elif defined(__i386__)
static_assert(sizeof(AVS_Value) == 8 && alignof(AVS_Value) == 4, "AVS_Value: 8 bytes, 4-aligned on 32-bit");
static_assert(sizeof(AVS_FilterInfo) == 84 && offsetof(AVS_FilterInfo, vi) == 4 &&
                  offsetof(AVS_FilterInfo, env) == 52 && offsetof(AVS_FilterInfo, get_frame) == 56 &&
                  offsetof(AVS_FilterInfo, free_filter) == 72 && offsetof(AVS_FilterInfo, error) == 76 &&
                  offsetof(AVS_FilterInfo, user_data) == 80,
              "AVS_FilterInfo: i386 Linux offsets (int64 4-aligned)");
#endif
static_assert(offsetof(AVS_Value, type) == 0 && offsetof(AVS_Value, array_size) == 2,
              "AVS_Value: 16-bit type and size");
static_assert(sizeof(AVS_VideoInfo) == 48, "AVS_VideoInfo: 48 bytes on every target");
static_assert(offsetof(AVS_VideoInfo, pixel_type) == 20 && offsetof(AVS_VideoInfo, audio_samples_per_second) == 24 &&
                  offsetof(AVS_VideoInfo, num_audio_samples) == 32 && offsetof(AVS_VideoInfo, nchannels) == 40 &&
                  offsetof(AVS_VideoInfo, image_type) == 44,
              "AVS_VideoInfo: field offsets");
