// A minimal AviSynth+ of our own for the tests: the part of the C interface the plug-in uses,
// exported from a shared library as the real host library exports it, so that the plug-in finds
// these functions the way it finds AviSynth+'s. Frames are laid out as the host lays them out
// (planes by constant, 64-byte aligned, padded pitches); frames and clips are counted so that
// tests can see every reference returned.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plugin/avisynth_c/avisynth_c_interface.h"

// The host's exports that tests call directly, besides the plug-in.
extern "C" {
void AVSC_CC avs_set_to_clip(AVS_Value* value, AVS_Clip* clip);
void AVSC_CC avs_release_value(AVS_Value value);
}

namespace sorvan::avs_c_host {

// One memory plane of a frame of the given clip information: the accessor's plane constant and
// its bytes per row and rows.
struct PlaneGeometry {
  int32_t id;
  int32_t rowSize;
  int32_t height;
};
// The planes in the host's storage order (YUV: Y, V, U, A; I420: Y, U, V; planar RGB: G, B, R,
// A); empty for a pixel type the host cannot allocate.
std::vector<PlaneGeometry> FramePlanes(const AVS_VideoInfo& vi);

AVS_VideoInfo MakeVideoInfo(int32_t pixelType, int32_t width, int32_t height, int32_t frames);

// Live objects of the host, for reference-balance checks.
struct Census {
  long frames;
  long clipHandles;
  long clips;
  long clipValues;
  long nullFramesWithoutError;  // a filter returned no frame and set no error
};
Census Live();

// An owned frame reference.
class Frame {
 public:
  Frame() = default;
  explicit Frame(AVS_VideoFrame* frame) : frame_(frame) {}
  Frame(Frame&& other) noexcept : frame_(other.frame_) { other.frame_ = nullptr; }
  Frame& operator=(Frame&& other) noexcept;
  Frame(const Frame&) = delete;
  Frame& operator=(const Frame&) = delete;
  ~Frame();

  AVS_VideoFrame* get() const { return frame_; }
  explicit operator bool() const { return frame_ != nullptr; }
  // Every plane's rows without padding, plane after plane in `planes` order.
  std::vector<uint8_t> Bytes(const std::vector<PlaneGeometry>& planes) const;
  // A frame property set by the source; false when the frame does not carry it.
  bool Property(const std::string& name, int64_t* value) const;

 private:
  AVS_VideoFrame* frame_ = nullptr;
};

// An owned clip handle.
class Clip {
 public:
  Clip() = default;
  explicit Clip(AVS_Clip* handle) : handle_(handle) {}
  Clip(Clip&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
  Clip& operator=(Clip&& other) noexcept;
  Clip(const Clip&) = delete;
  Clip& operator=(const Clip&) = delete;
  ~Clip();

  AVS_Clip* get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  AVS_VideoInfo Info() const;
  // The frame, or an empty frame with *error set to the clip's error.
  Frame GetFrame(int32_t n, std::string* error = nullptr) const;
  // What the clip answers to the host's multithreading query (0: no answer).
  int32_t MtMode() const;

 private:
  AVS_Clip* handle_ = nullptr;
};

// A source clip of frames given as plane bytes without padding (FramePlanes order); each
// frame n carries the properties "test_frame" = n and "test_tag" = 1000 + n.
Clip MakeMemoryClip(const AVS_VideoInfo& vi, const std::vector<std::vector<uint8_t>>& frames);

// One script argument.
struct Argument {
  enum Kind { kClip, kInt, kLong, kBool, kFloat } kind;
  const Clip* clip = nullptr;
  int64_t integer = 0;
  bool boolean = false;
  double floating = 0;

  Argument(const Clip& c) : kind(kClip), clip(&c) {}
  Argument(int v) : kind(kInt), integer(v) {}
  Argument(int64_t v) : kind(kLong), integer(v) {}
  Argument(bool v) : kind(kBool), boolean(v) {}
  Argument(double v) : kind(kFloat), floating(v) {}
};

struct NamedArgument {
  std::string name;
  Argument value;
};

// The result of a script call: a clip, or the error message.
struct CallResult {
  Clip clip;
  std::string error;
};

struct LoadResult {
  bool loaded = false;
  std::string entry;  // the entry point called
  std::string text;   // what it returned
  std::string error;
};

class Environment {
 public:
  // A host of the given interface version (11 = AviSynth+ 3.7.5; below 8 means no frame
  // properties; below 11 the plug-in is entered through avisynth_c_plugin_init).
  explicit Environment(int32_t interfaceVersion = 11);
  ~Environment();
  Environment(const Environment&) = delete;
  Environment& operator=(const Environment&) = delete;

  AVS_ScriptEnvironment* get() const { return env_; }

  // dlopen without RTLD_GLOBAL, then the C entries in the host's order.
  LoadResult LoadPlugin(const std::string& path);
  bool FunctionExists(const std::string& name) const;
  std::string Parameters(const std::string& name) const;

  // Builds the argument array from the function's parameter string, as a script call does: the
  // host's own type checks apply (an int for an 'i' parameter may arrive as 'l' when given so).
  CallResult Invoke(const std::string& name, const std::vector<Argument>& positional,
                    const std::vector<NamedArgument>& named = {});
  // Calls the function with an array value as given, bypassing the host's checks.
  CallResult CallRaw(const std::string& name, const AVS_Value& args);

 private:
  AVS_ScriptEnvironment* env_;
};

}  // namespace sorvan::avs_c_host
