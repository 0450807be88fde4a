// Frames: geometry by pixel type, allocation, the plane accessors and the frame functions of
// the C interface.
#include <cstring>

#include "hosts/avisynth_c/host_objects.h"

namespace sorvan::avs_c_host {
namespace {

using namespace sorvan::avs;

int32_t SampleBytes(uint32_t t) {
  switch ((t & kCsSampleBitsMask) >> kCsSampleBitsShift) {
    case 0: return 1;
    case 1:
    case 5:
    case 6:
    case 7: return 2;
    case 2: return 4;
    default: return 0;
  }
}

int32_t Shift(uint32_t field) { return field == 3 ? 0 : field == 0 ? 1 : field == 1 ? 2 : -1; }

// Rows are padded beyond the 64-byte alignment so that pitch and row size differ in tests.
int32_t PitchFor(int32_t rowSize) { return (rowSize + 63) / 64 * 64 + 64; }

}  // namespace

Counters& Count() {
  static Counters counters;
  return counters;
}

const char* Intern(const std::string& text) {
  static std::mutex mutex;
  static std::unordered_set<std::string> strings;
  std::lock_guard<std::mutex> lock(mutex);
  return strings.insert(text).first->c_str();
}

AVS_VideoInfo MakeVideoInfo(int32_t pixelType, int32_t width, int32_t height, int32_t frames) {
  AVS_VideoInfo vi{};
  vi.width = width;
  vi.height = height;
  vi.fps_numerator = 25;
  vi.fps_denominator = 1;
  vi.num_frames = frames;
  vi.pixel_type = pixelType;
  return vi;
}

std::vector<PlaneGeometry> FramePlanes(const AVS_VideoInfo& vi) {
  const uint32_t t = static_cast<uint32_t>(vi.pixel_type);
  const int32_t w = vi.width;
  const int32_t h = vi.height;
  const int32_t bytes = SampleBytes(t);
  if (w <= 0 || h <= 0) return {};
  if (t == kCsYuy2)
    return w % 2 == 0 ? std::vector<PlaneGeometry>{{kDefaultPlane, 2 * w, h}} : std::vector<PlaneGeometry>{};
  const bool planar = (t & kCsPlanar) != 0;
  const bool interleaved = (t & kCsInterleaved) != 0;
  if (bytes == 0) return {};
  if (planar && interleaved) return {{kPlaneY, w * bytes, h}};
  if (!planar && interleaved && (t & kCsBgr) != 0) {
    const int32_t components = (t & 7) == kCsRgbaType ? 4 : 3;
    return {{kDefaultPlane, w * bytes * components, h}};
  }
  if (planar && (t & kCsBgr) != 0) {
    std::vector<PlaneGeometry> planes = {{kPlaneG, w * bytes, h}, {kPlaneB, w * bytes, h}, {kPlaneR, w * bytes, h}};
    if ((t & 7) == kCsRgbaType) planes.push_back({kPlaneA, w * bytes, h});
    return planes;
  }
  if (planar && (t & (kCsYuv | kCsYuva)) != 0) {
    const bool i420 = t == kCsI420;
    const int32_t ws = i420 ? 1 : Shift(t & 7);
    const int32_t hs = i420 ? 1 : Shift((t >> 8) & 7);
    if (ws < 0 || hs < 0 || w % (1 << ws) != 0 || h % (1 << hs) != 0) return {};
    const PlaneGeometry chromaU{kPlaneU, (w >> ws) * bytes, h >> hs};
    const PlaneGeometry chromaV{kPlaneV, (w >> ws) * bytes, h >> hs};
    std::vector<PlaneGeometry> planes = {{kPlaneY, w * bytes, h}};
    if (i420) {
      planes.push_back(chromaU);
      planes.push_back(chromaV);
    } else {
      planes.push_back(chromaV);
      planes.push_back(chromaU);
    }
    if ((t & kCsYuva) != 0) planes.push_back({kPlaneA, w * bytes, h});
    return planes;
  }
  return {};
}

AVS_VideoFrame* NewFrame(const AVS_VideoInfo& vi, const Properties& properties) {
  const std::vector<PlaneGeometry> geometry = FramePlanes(vi);
  if (geometry.empty()) return nullptr;
  auto frame = new AVS_VideoFrame;
  size_t offset = 0;
  for (const PlaneGeometry& g : geometry) {
    const int32_t pitch = PitchFor(g.rowSize);
    frame->planes.push_back({g.id, offset, pitch, g.rowSize, g.height});
    offset += static_cast<size_t>(pitch) * static_cast<size_t>(g.height);
  }
  frame->buffer = std::make_shared<FrameBuffer>(offset);
  // Fresh frames hold a pattern, not zeros, so that an unwritten plane shows in a comparison.
  memset(frame->buffer->data, 0xA5, offset);
  frame->properties = properties;
  ++Count().frames;
  return frame;
}

AVS_VideoFrame_Impl* Impl(const AVS_VideoFrame* frame) { return const_cast<AVS_VideoFrame*>(frame); }

const PlaneSlot* FindPlane(const AVS_VideoFrame* frame, int32_t plane) {
  if (frame == nullptr) return nullptr;
  plane &= ~8;  // the _ALIGNED variants name the same plane
  const AVS_VideoFrame_Impl* f = Impl(frame);
  if (plane == kDefaultPlane) return f->planes.empty() ? nullptr : &f->planes[0];
  for (const PlaneSlot& slot : f->planes) {
    if (slot.id == plane) return &slot;
  }
  return nullptr;
}

Frame& Frame::operator=(Frame&& other) noexcept {
  if (this != &other) {
    avs_release_video_frame(frame_);
    frame_ = other.frame_;
    other.frame_ = nullptr;
  }
  return *this;
}

Frame::~Frame() { avs_release_video_frame(frame_); }

std::vector<uint8_t> Frame::Bytes(const std::vector<PlaneGeometry>& planes) const {
  std::vector<uint8_t> out;
  for (const PlaneGeometry& g : planes) {
    const PlaneSlot* slot = FindPlane(frame_, g.id);
    if (slot == nullptr) return {};
    const uint8_t* base = frame_->buffer->data + slot->offset;
    for (int32_t y = 0; y < slot->height; ++y)
      out.insert(out.end(), base + y * slot->pitch, base + y * slot->pitch + slot->rowSize);
  }
  return out;
}

bool Frame::Property(const std::string& name, int64_t* value) const {
  const auto it = frame_->properties.find(name);
  if (it == frame_->properties.end()) return false;
  *value = it->second;
  return true;
}

}  // namespace sorvan::avs_c_host

using namespace sorvan::avs_c_host;

extern "C" {

void AVSC_CC avs_release_video_frame(AVS_VideoFrame* frame) {
  if (frame == nullptr) return;
  if (--frame->references == 0) {
    --Count().frames;
    delete frame;
  }
}

AVS_VideoFrame* AVSC_CC avs_copy_video_frame(AVS_VideoFrame* frame) {
  ++frame->references;
  return frame;
}

AVS_VideoFrame* AVSC_CC avs_new_video_frame_a(AVS_ScriptEnvironment* env, const AVS_VideoInfo* vi, int32_t /*align*/) {
  AVS_VideoFrame* frame = NewFrame(*vi, {});
  if (frame == nullptr) env->error = Intern("avs_new_video_frame_a: cannot allocate this format");
  return frame;
}

#ifndef SORVAN_TEST_HOST_WITHOUT_PROPERTIES
AVS_VideoFrame* AVSC_CC avs_new_video_frame_p(AVS_ScriptEnvironment* env, const AVS_VideoInfo* vi,
                                              const AVS_VideoFrame* propSrc) {
  AVS_VideoFrame* frame = NewFrame(*vi, Impl(propSrc)->properties);
  if (frame == nullptr) env->error = Intern("avs_new_video_frame_p: cannot allocate this format");
  return frame;
}
#endif

int32_t AVSC_CC avs_get_pitch_p(const AVS_VideoFrame* frame, int32_t plane) {
  const PlaneSlot* slot = FindPlane(frame, plane);
  return slot != nullptr ? slot->pitch : 0;
}

int32_t AVSC_CC avs_get_row_size_p(const AVS_VideoFrame* frame, int32_t plane) {
  const PlaneSlot* slot = FindPlane(frame, plane);
  if (slot == nullptr) return 0;
  if ((plane & 8) != 0 && (slot->rowSize + 63) / 64 * 64 <= slot->pitch) return (slot->rowSize + 63) / 64 * 64;
  return slot->rowSize;
}

int32_t AVSC_CC avs_get_height_p(const AVS_VideoFrame* frame, int32_t plane) {
  const PlaneSlot* slot = FindPlane(frame, plane);
  return slot != nullptr ? slot->height : 0;
}

const uint8_t* AVSC_CC avs_get_read_ptr_p(const AVS_VideoFrame* frame, int32_t plane) {
  const PlaneSlot* slot = FindPlane(frame, plane);
  return slot != nullptr ? Impl(frame)->buffer->data + slot->offset : nullptr;
}

int32_t AVSC_CC avs_is_writable(const AVS_VideoFrame* frame) {
  return Impl(frame)->references == 1 && Impl(frame)->buffer.use_count() == 1 ? 1 : 0;
}

// As the host does: the first plane only through a writable frame, the others unchecked.
uint8_t* AVSC_CC avs_get_write_ptr_p(const AVS_VideoFrame* frame, int32_t plane) {
  const PlaneSlot* slot = FindPlane(frame, plane);
  if (slot == nullptr) return nullptr;
  if (slot == &Impl(frame)->planes[0] && avs_is_writable(frame) == 0) return nullptr;
  return Impl(frame)->buffer->data + slot->offset;
}

#ifndef SORVAN_TEST_HOST_WITHOUT_BIT_BLT
void AVSC_CC avs_bit_blt(AVS_ScriptEnvironment* /*env*/, uint8_t* dst, int32_t dstPitch, const uint8_t* src,
                         int32_t srcPitch, int32_t rowSize, int32_t height) {
  for (int32_t y = 0; y < height; ++y) {
    memcpy(dst + static_cast<ptrdiff_t>(y) * dstPitch, src + static_cast<ptrdiff_t>(y) * srcPitch,
           static_cast<size_t>(rowSize));
  }
}
#endif

}  // extern "C"
