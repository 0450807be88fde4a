#include "plugin/avisynth_c/sorvan_c_filter.h"

namespace sorvan::avs {
namespace {

constexpr const char* kNoOutputFrame = "Sorvan: the host could not allocate an output frame";
constexpr const char* kNoSourceFrame = "Sorvan: the source clip gave no frame";
constexpr const char* kFrameMismatch = "Sorvan: a source frame does not have the clip's format and size";
constexpr const char* kOutOfScratch = "Sorvan: out of memory while filtering a frame";

SorvanCFilter* FilterOf(AVS_FilterInfo* fi) { return static_cast<SorvanCFilter*>(fi->user_data); }

// Several threads may fail at once on one instance: each stores a message that outlives the call.
void SetError(AVS_FilterInfo* fi, const char* message) { AtomicStorePointer(&fi->error, message); }

// The host's plane copy for the planes no channel is smoothed in.
void HostCopy(void* context, uint8_t* dst, int32_t dstPitch, const uint8_t* src, int32_t srcPitch, int32_t rowSize,
              int32_t height) {
  auto* fi = static_cast<AVS_FilterInfo*>(context);
  FilterOf(fi)->host.bit_blt(fi->env, dst, dstPitch, src, srcPitch, rowSize, height);
}

// Views of both frames, plane by plane by the host's constants; false when the source frame's
// planes are not the size the output frame (made from the clip's information) has, so that no
// plane is read or written beyond what both frames hold.
bool Views(const SorvanCFilter& filter, const AVS_VideoFrame* src, const AVS_VideoFrame* dst, SourceFrameView* in,
           FrameView* out) {
  const HostFunctions& h = filter.host;
  const VideoFormat& format = filter.format.format;
  *in = {};
  *out = {};
  for (int32_t p = 0; p < format.planeCount; ++p) {
    const int32_t id = filter.format.planeIds[p];
    const int32_t rowSize = h.get_row_size_p(dst, id);
    const int32_t height = h.get_height_p(dst, id);
    if (h.get_row_size_p(src, id) != rowSize || h.get_height_p(src, id) != height) return false;
    const int32_t pixelBytes = BytesPerSample(format) * format.planes[p].samplesPerPixel;
    const int32_t width = rowSize / pixelBytes;
    in->planes[p] = {h.get_read_ptr_p(src, id), h.get_pitch_p(src, id), width, height};
    out->planes[p] = {h.get_write_ptr_p(dst, id), h.get_pitch_p(dst, id), width, height};
    if (in->planes[p].data == nullptr || out->planes[p].data == nullptr || width * pixelBytes != rowSize) return false;
  }
  return true;
}

// The failure of the child's frame request, copied into the host's string store: under the
// host's multithreading the child's own error slot may be cleared by another request before the
// host reads it.
const char* ChildError(AVS_FilterInfo* fi) {
  const HostFunctions& h = FilterOf(fi)->host;
  const char* message = h.clip_get_error(fi->child);
  if (message == nullptr) return kNoSourceFrame;
  const char* saved = h.save_string(fi->env, message, -1);
  return saved != nullptr ? saved : kNoSourceFrame;
}

AVS_VideoFrame* AVSC_CC GetFrame(AVS_FilterInfo* fi, int32_t n) {
  const SorvanCFilter& filter = *FilterOf(fi);
  const HostFunctions& h = filter.host;
  AVS_VideoFrame* src = h.get_frame(fi->child, n);
  if (src == nullptr) {
    SetError(fi, ChildError(fi));
    return nullptr;
  }
  AVS_VideoFrame* dst = filter.carryProperties ? h.new_video_frame_p(fi->env, &fi->vi, src)
                                               : h.new_video_frame_a(fi->env, &fi->vi, kFrameAlign);
  if (dst == nullptr) {
    h.release_video_frame(src);
    SetError(fi, kNoOutputFrame);
    return nullptr;
  }
  SourceFrameView in;
  FrameView out;
  const char* error = nullptr;
  if (!Views(filter, src, dst, &in, &out)) {
    error = kFrameMismatch;
  } else if (!filter.plan->Process(out, in, CopyPlane{&HostCopy, fi})) {
    error = kOutOfScratch;
  }
  h.release_video_frame(src);
  if (error != nullptr) {
    h.release_video_frame(dst);
    SetError(fi, error);
    return nullptr;
  }
  return dst;
}

int32_t AVSC_CC SetCacheHints(AVS_FilterInfo* /*fi*/, int32_t hint, int32_t /*frameRange*/) {
  // The plan is read-only and each request takes its own scratch: one instance serves all threads.
  return hint == kCacheGetMtMode ? kMtNiceFilter : 0;
}

void AVSC_CC FreeFilter(AVS_FilterInfo* fi) {
  DestroyFilter(FilterOf(fi));
  fi->user_data = nullptr;
}

}  // namespace

SorvanCFilter* NewFilter() { return new SorvanCFilter(); }

void DestroyFilter(SorvanCFilter* filter) { delete filter; }

void AttachFilter(AVS_FilterInfo* fi, SorvanCFilter* filter) {
  fi->user_data = filter;
  fi->get_frame = &GetFrame;
  fi->set_cache_hints = &SetCacheHints;
  fi->free_filter = &FreeFilter;
  // Parity and audio stay null: the host forwards them to the child.
  fi->get_parity = nullptr;
  fi->get_audio = nullptr;
}

}  // namespace sorvan::avs
