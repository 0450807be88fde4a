// Clips: handles, clip values, the memory source and the host side of a C filter.
#include "hosts/avisynth_c/host_objects.h"

namespace sorvan::avs_c_host {
namespace {

class MemoryClip final : public ClipImpl {
 public:
  MemoryClip(const AVS_VideoInfo& vi, const std::vector<std::vector<uint8_t>>& frames) : vi_(vi) {
    for (size_t n = 0; n < frames.size(); ++n) {
      AVS_VideoFrame* frame =
          NewFrame(vi, {{"test_frame", static_cast<int64_t>(n)}, {"test_tag", 1000 + static_cast<int64_t>(n)}});
      size_t offset = 0;
      for (const PlaneSlot& slot : frame->planes) {
        for (int32_t y = 0; y < slot.height; ++y) {
          if (offset + static_cast<size_t>(slot.rowSize) <= frames[n].size()) {
            memcpy(frame->buffer->data + slot.offset + static_cast<size_t>(y) * slot.pitch, frames[n].data() + offset,
                   static_cast<size_t>(slot.rowSize));
          }
          offset += static_cast<size_t>(slot.rowSize);
        }
      }
      frames_.push_back(frame);
    }
  }
  ~MemoryClip() override {
    for (AVS_VideoFrame* frame : frames_) avs_release_video_frame(frame);
  }

  const AVS_VideoInfo& Info() const override { return vi_; }

  // Each request gets a frame object of its own over the shared pixels, as a cache hands out
  // frames: the buffer is shared, so the frame is not writable.
  AVS_VideoFrame* GetFrame(int32_t n, std::string* error) override {
    if (n < 0 || static_cast<size_t>(n) >= frames_.size()) {
      *error = "MemoryClip: no frame " + std::to_string(n);
      return nullptr;
    }
    const AVS_VideoFrame* stored = frames_[static_cast<size_t>(n)];
    auto frame = new AVS_VideoFrame;
    frame->buffer = stored->buffer;
    frame->planes = stored->planes;
    frame->properties = stored->properties;
    ++Count().frames;
    return frame;
  }

 private:
  AVS_VideoInfo vi_;
  std::vector<AVS_VideoFrame*> frames_;
};

// A filter created through avs_new_c_filter: the information the plug-in fills, and its child.
class CFilterClip final : public ClipImpl {
 public:
  CFilterClip(AVS_ScriptEnvironment* env, AVS_Clip* child) {
    info_ = {};
    info_.env = env;
    info_.child = child;
    if (child != nullptr) info_.vi = child->clip->Info();
  }
  ~CFilterClip() override {
    if (info_.free_filter != nullptr) info_.free_filter(&info_);
    if (info_.child != nullptr) avs_release_clip(info_.child);
  }

  AVS_FilterInfo* FilterInfo() { return &info_; }
  const AVS_VideoInfo& Info() const override { return info_.vi; }

  AVS_VideoFrame* GetFrame(int32_t n, std::string* error) override {
    if (info_.get_frame == nullptr) {
      AVS_VideoFrame* frame = avs_get_frame(info_.child, n);
      if (frame == nullptr) *error = avs_clip_get_error(info_.child);
      return frame;
    }
    AVS_VideoFrame* frame = info_.get_frame(&info_, n);
    if (frame != nullptr) return frame;
    const char* message = __atomic_load_n(&info_.error, __ATOMIC_ACQUIRE);
    if (message == nullptr && info_.child != nullptr) message = avs_clip_get_error(info_.child);
    if (message == nullptr) {
      ++Count().nullFramesWithoutError;
      message = "filter returned no frame and no error";
    }
    *error = message;
    return nullptr;
  }

  int32_t MtMode() override {
    return info_.set_cache_hints != nullptr ? info_.set_cache_hints(&info_, avs::kCacheGetMtMode, 0) : 0;
  }

 private:
  AVS_FilterInfo info_;
};

ClipHolder* HolderOf(const AVS_Value& value) { return static_cast<ClipHolder*>(value.d.clip); }

}  // namespace

AVS_Clip* NewHandle(std::shared_ptr<ClipImpl> clip) {
  auto handle = new AVS_Clip;
  handle->clip = std::move(clip);
  ++Count().clipHandles;
  return handle;
}

Clip MakeMemoryClip(const AVS_VideoInfo& vi, const std::vector<std::vector<uint8_t>>& frames) {
  return Clip(NewHandle(std::make_shared<MemoryClip>(vi, frames)));
}

Clip& Clip::operator=(Clip&& other) noexcept {
  if (this != &other) {
    avs_release_clip(handle_);
    handle_ = other.handle_;
    other.handle_ = nullptr;
  }
  return *this;
}

Clip::~Clip() { avs_release_clip(handle_); }

AVS_VideoInfo Clip::Info() const { return handle_->clip->Info(); }

Frame Clip::GetFrame(int32_t n, std::string* error) const {
  AVS_VideoFrame* frame = avs_get_frame(handle_, n);
  if (frame == nullptr && error != nullptr) {
    const char* message = avs_clip_get_error(handle_);
    *error = message != nullptr ? message : "";
  }
  return Frame(frame);
}

int32_t Clip::MtMode() const { return handle_->clip->MtMode(); }

Census Live() {
  Counters& c = Count();
  return {c.frames.load(), c.clipHandles.load(), c.clips.load(), c.clipValues.load(), c.nullFramesWithoutError.load()};
}

// Created here so that the filter clip's class stays private to this file.
AVS_Clip* NewCFilter(AVS_ScriptEnvironment* env, AVS_FilterInfo** fi, const AVS_Value& child, bool storeChild) {
  AVS_Clip* childHandle = nullptr;
  if (child.type == avs::kClip && storeChild) childHandle = NewHandle(HolderOf(child)->clip);
  auto filter = std::make_shared<CFilterClip>(env, childHandle);
  if (child.type == avs::kClip && !storeChild) filter->FilterInfo()->vi = HolderOf(child)->clip->Info();
  *fi = filter->FilterInfo();
  return NewHandle(std::move(filter));
}

}  // namespace sorvan::avs_c_host

using namespace sorvan::avs_c_host;

extern "C" {

AVS_Clip* AVSC_CC avs_new_c_filter(AVS_ScriptEnvironment* env, AVS_FilterInfo** fi, AVS_Value child,
                                   int32_t storeChild) {
  return NewCFilter(env, fi, child, storeChild != 0);
}

AVS_Clip* AVSC_CC avs_take_clip(AVS_Value value, AVS_ScriptEnvironment* env) {
  if (value.type != sorvan::avs::kClip || value.d.clip == nullptr) {
    env->error = Intern("avs_take_clip: not a clip");
    return nullptr;
  }
  return NewHandle(static_cast<ClipHolder*>(value.d.clip)->clip);
}

AVS_Clip* AVSC_CC avs_copy_clip(AVS_Clip* clip) { return NewHandle(clip->clip); }

void AVSC_CC avs_release_clip(AVS_Clip* clip) {
  if (clip == nullptr) return;
  --Count().clipHandles;
  delete clip;
}

const AVS_VideoInfo* AVSC_CC avs_get_video_info(AVS_Clip* clip) { return &clip->clip->Info(); }

int32_t AVSC_CC avs_get_version(AVS_Clip* /*clip*/) { return 11; }

void AVSC_CC avs_set_to_clip(AVS_Value* value, AVS_Clip* clip) {
  *value = {};
  value->type = sorvan::avs::kClip;
  value->d.clip = new ClipHolder(clip->clip);
}

void AVSC_CC avs_release_value(AVS_Value value) {
  if (value.type == sorvan::avs::kClip) delete static_cast<ClipHolder*>(value.d.clip);
}

void AVSC_CC avs_copy_value(AVS_Value* dest, AVS_Value src) {
  *dest = src;
  if (src.type == sorvan::avs::kClip) dest->d.clip = new ClipHolder(static_cast<ClipHolder*>(src.d.clip)->clip);
}

AVS_VideoFrame* AVSC_CC avs_get_frame(AVS_Clip* clip, int32_t n) {
  clip->error = nullptr;
  std::string error;
  AVS_VideoFrame* frame = clip->clip->GetFrame(n, &error);
  if (frame == nullptr) clip->error = Intern(error);
  return frame;
}

const char* AVSC_CC avs_clip_get_error(AVS_Clip* clip) { return clip->error; }

}  // extern "C"
