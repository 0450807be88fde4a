// The host's private objects behind the C interface's opaque pointers.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <unordered_set>
#include <vector>

#include "hosts/avisynth_c/avs_c_host.h"

namespace sorvan::avs_c_host {

struct Counters {
  std::atomic<long> frames{0};
  std::atomic<long> clipHandles{0};
  std::atomic<long> clips{0};
  std::atomic<long> clipValues{0};
  std::atomic<long> nullFramesWithoutError{0};
};
Counters& Count();

// Pixel storage shared by the frames that reference it, 64-byte aligned as the host's frames.
struct FrameBuffer {
  explicit FrameBuffer(size_t size)
      : data(static_cast<uint8_t*>(::operator new (size, std::align_val_t{kFrameAlignment}))), bytes(size) {}
  ~FrameBuffer() { ::operator delete (data, std::align_val_t{kFrameAlignment}); }
  FrameBuffer(const FrameBuffer&) = delete;
  FrameBuffer& operator=(const FrameBuffer&) = delete;

  static constexpr size_t kFrameAlignment = 64;
  uint8_t* data;
  size_t bytes;
};

struct PlaneSlot {
  int32_t id;
  size_t offset;
  int32_t pitch;
  int32_t rowSize;
  int32_t height;
};

using Properties = std::map<std::string, int64_t>;

// Every field is fixed at allocation except the count.
struct AVS_VideoFrame_Impl {
  std::atomic<long> references{1};
  std::shared_ptr<FrameBuffer> buffer;
  std::vector<PlaneSlot> planes;
  Properties properties;
};

// Frames of this clip information with empty or given properties; null for a pixel type the
// host cannot allocate or a size that is not a multiple of the subsampling.
AVS_VideoFrame* NewFrame(const AVS_VideoInfo& vi, const Properties& properties);
AVS_VideoFrame_Impl* Impl(const AVS_VideoFrame* frame);
const PlaneSlot* FindPlane(const AVS_VideoFrame* frame, int32_t plane);

class ClipImpl {
 public:
  ClipImpl() { ++Count().clips; }
  virtual ~ClipImpl() { --Count().clips; }
  ClipImpl(const ClipImpl&) = delete;
  ClipImpl& operator=(const ClipImpl&) = delete;

  virtual const AVS_VideoInfo& Info() const = 0;
  // A new frame reference, or null with *error set.
  virtual AVS_VideoFrame* GetFrame(int32_t n, std::string* error) = 0;
  virtual int32_t MtMode() { return 0; }
};

}  // namespace sorvan::avs_c_host

// The opaque structures, as this host defines them.
struct AVS_VideoFrame : sorvan::avs_c_host::AVS_VideoFrame_Impl {};

struct AVS_Clip {
  std::shared_ptr<sorvan::avs_c_host::ClipImpl> clip;
  // The last error of a request through this handle; an interned string, so readers on other
  // threads never see it freed.
  std::atomic<const char*> error{nullptr};
};

struct AVS_ScriptEnvironment {
  struct Function {
    std::string name;
    std::string params;
    AVS_ApplyFunc apply;
    void* userData;
  };

  int32_t interfaceVersion = 11;
  std::map<std::string, Function> functions;  // by lower-case name
  std::vector<void*> plugins;
  std::atomic<const char*> error{nullptr};
};

namespace sorvan::avs_c_host {

// Strings that live as long as the process: messages handed across the interface.
const char* Intern(const std::string& text);

// The value a clip value points to: its own share of the clip.
struct ClipHolder {
  std::shared_ptr<ClipImpl> clip;
  explicit ClipHolder(std::shared_ptr<ClipImpl> c) : clip(std::move(c)) { ++Count().clipValues; }
  ~ClipHolder() { --Count().clipValues; }
};

AVS_Clip* NewHandle(std::shared_ptr<ClipImpl> clip);

}  // namespace sorvan::avs_c_host

// The host's exports that its own code also calls.
extern "C" {
void AVSC_CC avs_release_video_frame(AVS_VideoFrame* frame);
void AVSC_CC avs_release_clip(AVS_Clip* clip);
AVS_Clip* AVSC_CC avs_copy_clip(AVS_Clip* clip);
AVS_VideoFrame* AVSC_CC avs_get_frame(AVS_Clip* clip, int32_t n);
const char* AVSC_CC avs_clip_get_error(AVS_Clip* clip);
void AVSC_CC avs_set_to_clip(AVS_Value* value, AVS_Clip* clip);
void AVSC_CC avs_release_value(AVS_Value value);
}
