// The frame server's plug-in interface of the 2.5 series (interface version 3), written for this
// project from the binary-interface facts that real hosts rely on. Everything a plug-in and a host
// exchange crosses through virtual calls and the plain fields below, so their order, types and
// offsets are the contract; the static_asserts at the end pin them for 64-bit Linux (LP64) and
// for 32-bit Windows, where `long` and pointers are 4 bytes.
//
// The plug-in side of this header is freestanding (no C++ library): reference counts use the
// compiler's atomic builtins, and clips are allocated with malloc/free through class operators so
// that deleting one needs no C++ runtime allocator.
#pragma once

// SORVAN_STDCALL and SORVAN_CDECL, the interface's calling conventions: stdcall on 32-bit
// Windows, the platform's default elsewhere.
#include "core/portability.h"

enum { AVISYNTH_INTERFACE_VERSION = 3 };

typedef unsigned char BYTE;

// Pixel types of the 2.5 interface and the flags they are built from.
enum {
  CS_BGR = 1 << 28,
  CS_YUV = 1 << 29,
  CS_INTERLEAVED = 1 << 30,
  CS_PLANAR = static_cast<int>(1u << 31),

  CS_UNKNOWN = 0,
  CS_BGR24 = 1 << 0 | CS_BGR | CS_INTERLEAVED,
  CS_BGR32 = 1 << 1 | CS_BGR | CS_INTERLEAVED,
  CS_YUY2 = 1 << 2 | CS_YUV | CS_INTERLEAVED,
  CS_YV12 = 1 << 3 | CS_YUV | CS_PLANAR,
  CS_I420 = 1 << 4 | CS_YUV | CS_PLANAR,
  CS_IYUV = CS_I420,
};

// Plane selectors of VideoFrame's accessors; 0 means the first (or only) plane.
enum { PLANAR_Y = 1 << 0, PLANAR_U = 1 << 1, PLANAR_V = 1 << 2 };

enum { FRAME_ALIGN = 16 };

class IClip;
class IScriptEnvironment;
class VideoFrame;

namespace sorvan {
namespace host_detail {

// Reference counts change atomically: a host may hand frames and clips between threads.
template <typename Count>
inline Count AtomicIncrement(Count* count) {
  return __atomic_add_fetch(count, 1, __ATOMIC_ACQ_REL);
}
template <typename Count>
inline Count AtomicDecrement(Count* count) {
  return __atomic_sub_fetch(count, 1, __ATOMIC_ACQ_REL);
}
template <typename Count>
inline Count AtomicLoad(const Count* count) {
  return __atomic_load_n(count, __ATOMIC_ACQUIRE);
}

}  // namespace host_detail
}  // namespace sorvan

struct VideoInfo {
  int width, height;
  unsigned fps_numerator, fps_denominator;
  int num_frames;
  int pixel_type;
  int audio_samples_per_second;
  int sample_type;
  int64_t num_audio_samples;
  int nchannels;
  int image_type;

  bool IsPlanar() const { return (pixel_type & CS_PLANAR) != 0; }
  // Bits per pixel of the main image; 0 for a code this interface does not define.
  int BitsPerPixel() const {
    switch (pixel_type) {
      case CS_BGR24: return 24;
      case CS_BGR32: return 32;
      case CS_YUY2: return 16;
      case CS_YV12:
      case CS_I420: return 12;
      default: return 0;
    }
  }
  // Bytes of one row of the main image (the Y plane for planar types).
  int RowSize() const { return IsPlanar() ? width : width * (BitsPerPixel() >> 3); }
};

// A block of frame memory. Hosts may append fields after these four and recycle buffers;
// a plug-in only reads `data` and follows the counts.
class VideoFrameBuffer {
 public:
  BYTE* data;
  int data_size;
  // Incremented whenever the first plane's write pointer is handed out.
  long sequence_number;
  long refcount;

  const BYTE* GetReadPtr() const { return data; }
  BYTE* GetWritePtr() {
    sorvan::host_detail::AtomicIncrement(&sequence_number);
    return data;
  }
};

// A view of planes in a buffer. No vtable: hosts append fields after `pitchUV`, so code built
// against this header reads only these. Frames belong to the host, which recycles them once
// their count reaches 0; nobody else ever deletes one.
class VideoFrame {
 public:
  long refcount;
  VideoFrameBuffer* vfb;
  int offset, pitch, row_size, height, offsetU, offsetV, pitchUV;

  int GetPitch(int plane = 0) const { return (plane == PLANAR_U || plane == PLANAR_V) ? pitchUV : pitch; }
  int GetRowSize(int plane = 0) const {
    if (plane == PLANAR_U || plane == PLANAR_V) return pitchUV != 0 ? row_size >> 1 : 0;
    return row_size;
  }
  int GetHeight(int plane = 0) const {
    if (plane == PLANAR_U || plane == PLANAR_V) return pitchUV != 0 ? height >> 1 : 0;
    return height;
  }
  const BYTE* GetReadPtr(int plane = 0) const { return vfb->GetReadPtr() + PlaneOffset(plane); }
  // The first plane may be written only while this frame and its buffer have one holder each;
  // otherwise there is no write pointer. The chroma planes have no such condition.
  BYTE* GetWritePtr(int plane = 0) const {
    if (plane == PLANAR_U || plane == PLANAR_V) return vfb->data + PlaneOffset(plane);
    if (!IsWritable()) return nullptr;
    return vfb->GetWritePtr() + offset;
  }
  bool IsWritable() const {
    return sorvan::host_detail::AtomicLoad(&refcount) == 1 && sorvan::host_detail::AtomicLoad(&vfb->refcount) == 1;
  }

  void AddRef() { sorvan::host_detail::AtomicIncrement(&refcount); }
  // The last holder of a frame also gives up its hold on the buffer.
  void Release() {
    VideoFrameBuffer* buffer = vfb;
    if (sorvan::host_detail::AtomicDecrement(&refcount) == 0) sorvan::host_detail::AtomicDecrement(&buffer->refcount);
  }

 private:
  int PlaneOffset(int plane) const {
    if (plane == PLANAR_U) return offsetU;
    if (plane == PLANAR_V) return offsetV;
    return offset;
  }
};

// Counted reference to a frame. User-written copy and destructor on purpose: the class is not
// trivially copyable, so it is passed and returned through memory exactly as hosts expect.
class PVideoFrame {
 public:
  PVideoFrame() : p_(nullptr) {}
  PVideoFrame(VideoFrame* frame) : p_(frame) {
    if (p_) p_->AddRef();
  }
  PVideoFrame(const PVideoFrame& other) : p_(other.p_) {
    if (p_) p_->AddRef();
  }
  ~PVideoFrame() {
    if (p_) p_->Release();
  }
  PVideoFrame& operator=(const PVideoFrame& other) {
    Set(other.p_);
    return *this;
  }
  PVideoFrame& operator=(VideoFrame* frame) {
    Set(frame);
    return *this;
  }
  VideoFrame* operator->() const { return p_; }
  VideoFrame* get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  bool operator!() const { return p_ == nullptr; }

 private:
  void Set(VideoFrame* frame) {
    if (frame) frame->AddRef();
    if (p_) p_->Release();
    p_ = frame;
  }
  VideoFrame* p_;
};

// A clip: vtable pointer, then the reference count. The slot order is the interface; on Linux
// the virtual destructor takes the last two slots (complete-object and deleting destructor).
class IClip {
 public:
  IClip() : refcnt(0) {}
  IClip(const IClip&) = delete;
  IClip& operator=(const IClip&) = delete;

  virtual int SORVAN_STDCALL GetVersion() { return AVISYNTH_INTERFACE_VERSION; }
  virtual PVideoFrame SORVAN_STDCALL GetFrame(int n, IScriptEnvironment* env) = 0;
  virtual bool SORVAN_STDCALL GetParity(int n) = 0;
  virtual void SORVAN_STDCALL GetAudio(void* buf, int64_t start, int64_t count, IScriptEnvironment* env) = 0;
  virtual void SORVAN_STDCALL SetCacheHints(int cachehints, int frame_range) = 0;
  virtual const VideoInfo& SORVAN_STDCALL GetVideoInfo() = 0;
  virtual SORVAN_STDCALL ~IClip() {}

  // A clip is freed by the code that allocated it, through its own deleting destructor, so
  // these operators (plain malloc/free, zeroed memory, null on exhaustion) stay inside one
  // module. A failed allocation makes the new-expression yield null without constructing.
  static void* operator new(size_t size) noexcept { return calloc(1, size); }
  static void operator delete(void* p) noexcept { free(p); }

  void AddRef() { sorvan::host_detail::AtomicIncrement(&refcnt); }
  void Release() {
    if (sorvan::host_detail::AtomicDecrement(&refcnt) == 0) delete this;
  }
  int RefCount() const { return static_cast<int>(sorvan::host_detail::AtomicLoad(&refcnt)); }

 private:
  // `long`, like the frame and buffer counts: 8 bytes where a Linux host counts in 8 bytes,
  // 4 bytes (the same as int) on 32-bit Windows.
  long refcnt;
};

// Counted reference to a clip; non-trivial like PVideoFrame, for the same reason.
class PClip {
 public:
  PClip() : p_(nullptr) {}
  PClip(IClip* clip) : p_(clip) {
    if (p_) p_->AddRef();
  }
  PClip(const PClip& other) : p_(other.p_) {
    if (p_) p_->AddRef();
  }
  ~PClip() {
    if (p_) p_->Release();
  }
  PClip& operator=(const PClip& other) {
    Set(other.p_);
    return *this;
  }
  PClip& operator=(IClip* clip) {
    Set(clip);
    return *this;
  }
  IClip* operator->() const { return p_; }
  IClip* get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  bool operator!() const { return p_ == nullptr; }

 private:
  void Set(IClip* clip) {
    if (clip) clip->AddRef();
    if (p_) p_->Release();
    p_ = clip;
  }
  IClip* p_;
};

// A script value: a type letter ('a' array, 'b' bool, 'c' clip, 'i' int, 'f' float, 's' string,
// 'v' void), an element count for arrays, and the value. A clip value holds one reference.
// Strings and array elements are borrowed: whoever made the value keeps them alive.
class AVSValue {
 public:
  AVSValue() : type_('v'), arraySize_(0) { value_.pointer = nullptr; }
  AVSValue(IClip* clip) : type_('c'), arraySize_(0) {
    value_.pointer = nullptr;
    value_.clip = clip;
    if (clip) clip->AddRef();
  }
  AVSValue(const PClip& clip) : AVSValue(clip.get()) {}
  AVSValue(bool b) : type_('b'), arraySize_(0) {
    value_.pointer = nullptr;
    value_.boolean = b;
  }
  AVSValue(int i) : type_('i'), arraySize_(0) {
    value_.pointer = nullptr;
    value_.integer = i;
  }
  AVSValue(float f) : type_('f'), arraySize_(0) {
    value_.pointer = nullptr;
    value_.floatingPoint = f;
  }
  AVSValue(double f) : AVSValue(static_cast<float>(f)) {}
  AVSValue(const char* s) : type_('s'), arraySize_(0) {
    value_.pointer = nullptr;
    value_.string = s;
  }
  AVSValue(const AVSValue* elements, int count) : type_('a'), arraySize_(static_cast<short>(count)) {
    value_.pointer = nullptr;
    value_.array = elements;
  }
  AVSValue(const AVSValue& other) : type_(other.type_), arraySize_(other.arraySize_), value_(other.value_) {
    if (IsClip() && value_.clip) value_.clip->AddRef();
  }
  ~AVSValue() {
    if (IsClip() && value_.clip) value_.clip->Release();
  }
  AVSValue& operator=(const AVSValue& other) {
    if (other.IsClip() && other.value_.clip) other.value_.clip->AddRef();
    if (IsClip() && value_.clip) value_.clip->Release();
    type_ = other.type_;
    arraySize_ = other.arraySize_;
    value_ = other.value_;
    return *this;
  }

  bool Defined() const { return type_ != 'v'; }
  bool IsClip() const { return type_ == 'c'; }
  bool IsBool() const { return type_ == 'b'; }
  bool IsInt() const { return type_ == 'i'; }
  bool IsFloat() const { return type_ == 'f' || type_ == 'i'; }
  bool IsString() const { return type_ == 's'; }
  bool IsArray() const { return type_ == 'a'; }
  char Type() const { return static_cast<char>(type_); }

  // A counted reference to the clip, or none when this is not a clip.
  PClip AsClip() const { return IsClip() ? PClip(value_.clip) : PClip(); }
  bool AsBool() const { return value_.boolean; }
  int AsInt() const { return value_.integer; }
  float AsFloat() const { return IsInt() ? static_cast<float>(value_.integer) : value_.floatingPoint; }
  const char* AsString() const { return IsString() ? value_.string : nullptr; }
  bool AsBool(bool fallback) const { return IsBool() ? value_.boolean : fallback; }
  int AsInt(int fallback) const { return IsInt() ? value_.integer : fallback; }
  float AsFloat(float fallback) const { return IsFloat() ? AsFloat() : fallback; }
  const char* AsString(const char* fallback) const { return IsString() ? value_.string : fallback; }

  int ArraySize() const { return IsArray() ? arraySize_ : 1; }
  // Element i of an array that has it; otherwise the value itself.
  const AVSValue& operator[](int index) const {
    return (IsArray() && index >= 0 && index < arraySize_) ? value_.array[index] : *this;
  }

 private:
  friend struct AVSValueLayout;
  union Value {
    IClip* clip;
    bool boolean;
    int integer;
    float floatingPoint;
    const char* string;
    const AVSValue* array;
    void* pointer;  // spans the whole union, so copying it copies every member
  };
  short type_;
  short arraySize_;
  Value value_;
};

// The environment a host hands to plug-ins. Slot order is the interface; on Linux the
// destructor occupies slots 0 and 1, so GetCPUFlags is slot 2 and SubframePlanar slot 25.
// The variadic members are cdecl on every platform (a variadic function cannot be stdcall).
class IScriptEnvironment {
 public:
  typedef AVSValue(SORVAN_CDECL* ApplyFunc)(AVSValue args, void* user_data, IScriptEnvironment* env);
  typedef void(SORVAN_CDECL* ShutdownFunc)(void* user_data, IScriptEnvironment* env);
  enum PlanarChromaAlignmentMode { PlanarChromaAlignmentOff, PlanarChromaAlignmentOn, PlanarChromaAlignmentTest };

  virtual SORVAN_STDCALL ~IScriptEnvironment() {}
  virtual int SORVAN_STDCALL GetCPUFlags() = 0;
  virtual char* SORVAN_STDCALL SaveString(const char* s, int length = -1) = 0;
  virtual char* SORVAN_CDECL Sprintf(const char* fmt, ...) = 0;
  // `val` is the caller's va_list, passed as the pointer it decays to.
  virtual char* SORVAN_STDCALL VSprintf(const char* fmt, void* val) = 0;
  [[noreturn]] virtual void SORVAN_CDECL ThrowError(const char* fmt, ...) = 0;
  virtual void SORVAN_STDCALL AddFunction(const char* name, const char* params, ApplyFunc apply, void* user_data) = 0;
  virtual bool SORVAN_STDCALL FunctionExists(const char* name) = 0;
  virtual AVSValue SORVAN_STDCALL Invoke(const char* name, const AVSValue args, const char** arg_names = nullptr) = 0;
  virtual AVSValue SORVAN_STDCALL GetVar(const char* name) = 0;
  virtual bool SORVAN_STDCALL SetVar(const char* name, const AVSValue& val) = 0;
  virtual bool SORVAN_STDCALL SetGlobalVar(const char* name, const AVSValue& val) = 0;
  virtual void SORVAN_STDCALL PushContext(int level = 0) = 0;
  virtual void SORVAN_STDCALL PopContext() = 0;
  virtual PVideoFrame SORVAN_STDCALL NewVideoFrame(const VideoInfo& vi, int align = FRAME_ALIGN) = 0;
  virtual bool SORVAN_STDCALL MakeWritable(PVideoFrame* pvf) = 0;
  virtual void SORVAN_STDCALL BitBlt(BYTE* dstp, int dst_pitch, const BYTE* srcp, int src_pitch, int row_size,
                                     int height) = 0;
  virtual void SORVAN_STDCALL AtExit(ShutdownFunc function, void* user_data) = 0;
  virtual void SORVAN_STDCALL CheckVersion(int version = AVISYNTH_INTERFACE_VERSION) = 0;
  virtual PVideoFrame SORVAN_STDCALL Subframe(PVideoFrame src, int rel_offset, int new_pitch, int new_row_size,
                                              int new_height) = 0;
  virtual int SORVAN_STDCALL SetMemoryMax(int mem) = 0;
  virtual int SORVAN_STDCALL SetWorkingDir(const char* newdir) = 0;
  virtual void* SORVAN_STDCALL ManageCache(int key, void* data) = 0;
  virtual bool SORVAN_STDCALL PlanarChromaAlignment(PlanarChromaAlignmentMode key) = 0;
  virtual PVideoFrame SORVAN_STDCALL SubframePlanar(PVideoFrame src, int rel_offset, int new_pitch, int new_row_size,
                                                    int new_height, int rel_offsetU, int rel_offsetV,
                                                    int new_pitchUV) = 0;
};

// The usual base of filters: a counted reference to the child and a copy of its VideoInfo;
// every clip operation passes to the child.
class GenericVideoFilter : public IClip {
 public:
  explicit GenericVideoFilter(const PClip& clip) : child(clip), vi(clip->GetVideoInfo()) {}

  PVideoFrame SORVAN_STDCALL GetFrame(int n, IScriptEnvironment* env) override { return child->GetFrame(n, env); }
  bool SORVAN_STDCALL GetParity(int n) override { return child->GetParity(n); }
  void SORVAN_STDCALL GetAudio(void* buf, int64_t start, int64_t count, IScriptEnvironment* env) override {
    child->GetAudio(buf, start, count, env);
  }
  void SORVAN_STDCALL SetCacheHints(int, int) override {}
  const VideoInfo& SORVAN_STDCALL GetVideoInfo() override { return vi; }

 protected:
  PClip child;
  VideoInfo vi;
};

// The layout every host of this interface shares.
struct AVSValueLayout {
  static_assert(sizeof(short) == 2 && sizeof(int) == 4 && sizeof(int64_t) == 8, "fixed-width fields");
  static_assert(offsetof(AVSValue, type_) == 0, "AVSValue type letter first");
  static_assert(offsetof(AVSValue, arraySize_) == 2, "AVSValue element count at 2");
  static_assert(offsetof(AVSValue, value_) == (sizeof(void*) == 8 ? 8 : 4), "AVSValue value after the two shorts");
  static_assert(sizeof(AVSValue) == (sizeof(void*) == 8 ? 16 : 8), "AVSValue: two shorts and a pointer-sized union");
};

static_assert(sizeof(VideoInfo) == 48, "VideoInfo is 48 bytes everywhere");
static_assert(offsetof(VideoInfo, width) == 0 && offsetof(VideoInfo, height) == 4, "VideoInfo size fields");
static_assert(offsetof(VideoInfo, fps_numerator) == 8 && offsetof(VideoInfo, fps_denominator) == 12, "VideoInfo rate");
static_assert(offsetof(VideoInfo, num_frames) == 16 && offsetof(VideoInfo, pixel_type) == 20, "VideoInfo frames");
static_assert(offsetof(VideoInfo, audio_samples_per_second) == 24 && offsetof(VideoInfo, sample_type) == 28,
              "VideoInfo audio format");
static_assert(offsetof(VideoInfo, num_audio_samples) == 32, "VideoInfo audio length");
static_assert(offsetof(VideoInfo, nchannels) == 40 && offsetof(VideoInfo, image_type) == 44, "VideoInfo tail");

#if defined(_WIN64)
#error "64-bit Windows (4-byte long, 8-byte pointers) is not a target of this interface's plug-ins"
#endif
static_assert(sizeof(long) == sizeof(void*), "long: 8 bytes on 64-bit Linux, 4 on 32-bit Windows");

static_assert(offsetof(VideoFrameBuffer, data) == 0, "VideoFrameBuffer data");
static_assert(offsetof(VideoFrameBuffer, data_size) == sizeof(void*), "VideoFrameBuffer data_size");
static_assert(offsetof(VideoFrameBuffer, sequence_number) == (sizeof(void*) == 8 ? 16 : 8),
              "VideoFrameBuffer sequence_number");
static_assert(offsetof(VideoFrameBuffer, refcount) == (sizeof(void*) == 8 ? 24 : 12), "VideoFrameBuffer refcount");

static_assert(offsetof(VideoFrame, refcount) == 0, "VideoFrame refcount");
static_assert(offsetof(VideoFrame, vfb) == sizeof(void*), "VideoFrame vfb");
static_assert(offsetof(VideoFrame, offset) == 2 * sizeof(void*), "VideoFrame offset");
static_assert(offsetof(VideoFrame, pitch) == 2 * sizeof(void*) + 4, "VideoFrame pitch");
static_assert(offsetof(VideoFrame, row_size) == 2 * sizeof(void*) + 8, "VideoFrame row_size");
static_assert(offsetof(VideoFrame, height) == 2 * sizeof(void*) + 12, "VideoFrame height");
static_assert(offsetof(VideoFrame, offsetU) == 2 * sizeof(void*) + 16, "VideoFrame offsetU");
static_assert(offsetof(VideoFrame, offsetV) == 2 * sizeof(void*) + 20, "VideoFrame offsetV");
static_assert(offsetof(VideoFrame, pitchUV) == 2 * sizeof(void*) + 24, "VideoFrame pitchUV");

static_assert(sizeof(PClip) == sizeof(void*) && sizeof(PVideoFrame) == sizeof(void*), "counted references");
static_assert(!__is_trivially_copyable(PClip) && !__is_trivially_copyable(PVideoFrame) &&
                  !__is_trivially_copyable(AVSValue),
              "counted references and values travel through memory, never in registers");
// vtable pointer, then the pointer-sized count.
static_assert(sizeof(IClip) == 2 * sizeof(void*), "IClip: vtable pointer and refcnt");
