// Drives the 2.5 entry of the plug-in as a classic frame server does. The interface is C++, so
// the driver must have the host's ABI: on Windows it is built the way sorvan.dll is (clang for
// i686-pc-windows-msvc, no C++ library, msvcrt.dll and kernel32.dll only) and runs under Wine,
// throwing the host's errors as C++ exceptions through the DLL's frames with the system's
// dispatcher and msvcrt.dll's frame handler. Built for Linux it drives libsorvan.so; the test
// compares the transcripts (driver_support.h). Its host is this file: an environment, a source
// clip and counted frames, the least a 2.5 host is.
//
//   classic_driver PLUGIN
#include <stdarg.h>
#include <string.h>

#include "plugin/classic/classic_interface.h"
#include "tests/windows/cap_passes.h"

#if defined(_WIN32)
extern "C" {
__declspec(dllimport) void* __stdcall LoadLibraryA(const char* name);
__declspec(dllimport) void* __stdcall GetProcAddress(void* module, const char* name);
__declspec(dllimport) int __stdcall FreeLibrary(void* module);
__declspec(dllimport) int __cdecl _vsnprintf(char* buffer, size_t size, const char* format, va_list arguments);
}
#define vsnprintf _vsnprintf
#else
#include <dlfcn.h>
#include <stdio.h>
#endif

namespace sorvan::windows_test {
namespace {

// What ThrowError throws: like a classic host's error object, one message pointer, by value.
struct HostError {
  const char* message;
};

using PluginEntry = const char*(SORVAN_STDCALL*)(IScriptEnvironment* env);

void* OpenPlugin(const char* path) {
#if defined(_WIN32)
  return LoadLibraryA(path);
#else
  return dlopen(path, RTLD_NOW | RTLD_LOCAL);
#endif
}
PluginEntry FindEntry(void* library) {
#if defined(_WIN32)
  return reinterpret_cast<PluginEntry>(GetProcAddress(library, "AvisynthPluginInit2"));
#else
  return reinterpret_cast<PluginEntry>(dlsym(library, "AvisynthPluginInit2"));
#endif
}
void ClosePlugin(void* library) {
#if defined(_WIN32)
  FreeLibrary(library);
#else
  dlclose(library);
#endif
}

// A frame and its buffer in one block, as the host owns them: the plug-in only counts.
struct FrameBlock {
  VideoFrame frame;
  VideoFrameBuffer buffer;
};

int32_t Align16(int32_t n) { return (n + 15) & ~15; }

class Environment final : public IScriptEnvironment {
 public:
  // The tables live on the heap: a stack frame of more than a page would need the stack probe,
  // which Wine's msvcrt.dll lacks.
  Environment()
      : frames_(static_cast<FrameBlock**>(calloc(kMaxFrames, sizeof(FrameBlock*)))),
        strings_(static_cast<char**>(calloc(kMaxStrings, sizeof(char*)))) {}
  ~Environment() override {
    for (int i = 0; i < frameCount_; ++i) {
      free(frames_[i]->buffer.data);
      free(frames_[i]);
    }
    for (int i = 0; i < stringCount_; ++i) free(strings_[i]);
    free(frames_);
    free(strings_);
  }
  Environment(const Environment&) = delete;
  Environment& operator=(const Environment&) = delete;

  // Frames somebody still holds.
  int HeldFrames() const {
    int held = 0;
    for (int i = 0; i < frameCount_; ++i) held += frames_[i]->frame.refcount != 0 || frames_[i]->buffer.refcount != 0;
    return held;
  }
  // The next NewVideoFrame calls succeed `calls` more times, then fail once; -1: never fail.
  void FailNewFrameAfter(int calls) { failAfter_ = calls; }
  // The one function the plug-in registers.
  const char* functionName = nullptr;
  const char* parameters = nullptr;
  ApplyFunc apply = nullptr;
  void* userData = nullptr;

  // Frames of the host's layout: rows padded, planes apart, V before U in YV12.
  PVideoFrame SORVAN_STDCALL NewVideoFrame(const VideoInfo& vi, int) override {
    if (failAfter_ >= 0 && __atomic_fetch_sub(&failAfter_, 1, __ATOMIC_ACQ_REL) == 0) {
      ThrowError("NewVideoFrame: out of frame memory for %dx%d", vi.width, vi.height);
    }
    const bool planar = vi.IsPlanar();
    const int32_t pitch = Align16(vi.RowSize()) + 16;
    const int32_t pitchUV = planar ? Align16(vi.width / 2) + 16 : 0;
    const int32_t chroma = pitchUV * (vi.height / 2);
    FrameBlock* block = static_cast<FrameBlock*>(calloc(1, sizeof(FrameBlock)));
    block->buffer.data_size = 16 + pitch * vi.height + 2 * chroma + 16;
    block->buffer.data = static_cast<BYTE*>(malloc(static_cast<size_t>(block->buffer.data_size)));
    memset(block->buffer.data, 0xA5, static_cast<size_t>(block->buffer.data_size));
    block->buffer.refcount = 1;
    const int32_t first = 16 + pitch * vi.height;
    const bool vFirst = vi.pixel_type == CS_YV12;
    block->frame = {0,
                    &block->buffer,
                    16,
                    pitch,
                    vi.RowSize(),
                    vi.height,
                    vFirst ? first + chroma : first,
                    vFirst ? first : first + chroma,
                    pitchUV};
    const int slot = __atomic_fetch_add(&frameCount_, 1, __ATOMIC_ACQ_REL);
    Check(slot < kMaxFrames, "more frames than the test host keeps");
    frames_[slot] = block;
    return PVideoFrame(&block->frame);
  }

  [[noreturn]] void SORVAN_CDECL ThrowError(const char* fmt, ...) override {
    char text[512];
    va_list arguments;
    va_start(arguments, fmt);
    vsnprintf(text, sizeof text - 1, fmt, arguments);
    va_end(arguments);
    text[sizeof text - 1] = '\0';
    throw HostError{SaveString(text, -1)};
  }

  char* SORVAN_STDCALL SaveString(const char* s, int length) override {
    const size_t n = length < 0 ? strlen(s) : static_cast<size_t>(length);
    char* copy = static_cast<char*>(malloc(n + 1));
    memcpy(copy, s, n);
    copy[n] = '\0';
    const int slot = __atomic_fetch_add(&stringCount_, 1, __ATOMIC_ACQ_REL);
    Check(slot < kMaxStrings, "more strings than the test host keeps");
    strings_[slot] = copy;
    return copy;
  }

  void SORVAN_STDCALL AddFunction(const char* name, const char* params, ApplyFunc f, void* data) override {
    functionName = name;
    parameters = params;
    apply = f;
    userData = data;
  }

  void SORVAN_STDCALL BitBlt(BYTE* dst, int dstPitch, const BYTE* src, int srcPitch, int rowSize, int height) override {
    for (int y = 0; y < height; ++y) memcpy(dst + y * dstPitch, src + y * srcPitch, static_cast<size_t>(rowSize));
  }

  // What the filter has no business calling.
  int SORVAN_STDCALL GetCPUFlags() override { return Unexpected("GetCPUFlags"), 0; }
  char* SORVAN_CDECL Sprintf(const char*, ...) override { return Unexpected("Sprintf"), nullptr; }
  char* SORVAN_STDCALL VSprintf(const char*, void*) override { return Unexpected("VSprintf"), nullptr; }
  bool SORVAN_STDCALL FunctionExists(const char*) override { return Unexpected("FunctionExists"), false; }
  AVSValue SORVAN_STDCALL Invoke(const char*, const AVSValue, const char**) override {
    return Unexpected("Invoke"), AVSValue();
  }
  AVSValue SORVAN_STDCALL GetVar(const char*) override { return Unexpected("GetVar"), AVSValue(); }
  bool SORVAN_STDCALL SetVar(const char*, const AVSValue&) override { return Unexpected("SetVar"), false; }
  bool SORVAN_STDCALL SetGlobalVar(const char*, const AVSValue&) override { return Unexpected("SetGlobalVar"), false; }
  void SORVAN_STDCALL PushContext(int) override { Unexpected("PushContext"); }
  void SORVAN_STDCALL PopContext() override { Unexpected("PopContext"); }
  bool SORVAN_STDCALL MakeWritable(PVideoFrame*) override { return Unexpected("MakeWritable"), false; }
  void SORVAN_STDCALL AtExit(ShutdownFunc, void*) override { Unexpected("AtExit"); }
  void SORVAN_STDCALL CheckVersion(int) override { Unexpected("CheckVersion"); }
  PVideoFrame SORVAN_STDCALL Subframe(PVideoFrame, int, int, int, int) override {
    return Unexpected("Subframe"), PVideoFrame();
  }
  int SORVAN_STDCALL SetMemoryMax(int) override { return Unexpected("SetMemoryMax"), 0; }
  int SORVAN_STDCALL SetWorkingDir(const char*) override { return Unexpected("SetWorkingDir"), 0; }
  void* SORVAN_STDCALL ManageCache(int, void*) override { return Unexpected("ManageCache"), nullptr; }
  bool SORVAN_STDCALL PlanarChromaAlignment(PlanarChromaAlignmentMode) override {
    return Unexpected("PlanarChromaAlignment"), false;
  }
  PVideoFrame SORVAN_STDCALL SubframePlanar(PVideoFrame, int, int, int, int, int, int, int) override {
    return Unexpected("SubframePlanar"), PVideoFrame();
  }

 private:
  static void Unexpected(const char* what) { Check(false, what); }

  static constexpr int kMaxFrames = 1024;
  static constexpr int kMaxStrings = 64;
  FrameBlock** frames_;
  int frameCount_ = 0;
  char** strings_;
  int stringCount_ = 0;
  int failAfter_ = -1;
};

int& LiveSourceClips() {
  static int live = 0;
  return live;
}

// The filter's child: frame n is random content from seed + n, or the host's error.
class SourceClip final : public IClip {
 public:
  SourceClip(const VideoInfo& vi, uint64_t seed, int failingFrame) : vi_(vi), seed_(seed), failingFrame_(failingFrame) {
    __atomic_add_fetch(&LiveSourceClips(), 1, __ATOMIC_ACQ_REL);
  }
  ~SourceClip() override { __atomic_sub_fetch(&LiveSourceClips(), 1, __ATOMIC_ACQ_REL); }

  PVideoFrame SORVAN_STDCALL GetFrame(int n, IScriptEnvironment* env) override {
    if (n == failingFrame_) env->ThrowError("source: frame %d is damaged", n);
    PVideoFrame frame = env->NewVideoFrame(vi_);
    Random random(seed_ + static_cast<uint64_t>(n));
    const int planes[] = {0, PLANAR_U, PLANAR_V};
    for (int p = 0; p < (vi_.IsPlanar() ? 3 : 1); ++p) {
      BYTE* base = frame->GetWritePtr(planes[p]);
      for (int y = 0; y < frame->GetHeight(planes[p]); ++y) {
        FillRow(random, base + y * frame->GetPitch(planes[p]), frame->GetRowSize(planes[p]), 8, y);
      }
    }
    return frame;
  }
  bool SORVAN_STDCALL GetParity(int n) override { return (n & 1) != 0; }
  void SORVAN_STDCALL GetAudio(void* buffer, int64_t start, int64_t count, IScriptEnvironment*) override {
    audioBuffer = buffer;
    audioStart = start;
    audioCount = count;
  }
  void SORVAN_STDCALL SetCacheHints(int, int) override {}
  const VideoInfo& SORVAN_STDCALL GetVideoInfo() override { return vi_; }

  // The last audio request that reached this clip.
  void* audioBuffer = nullptr;
  int64_t audioStart = 0;
  int64_t audioCount = 0;

 private:
  VideoInfo vi_;
  uint64_t seed_;
  int failingFrame_;
};

VideoInfo ClipInfo(int pixelType, int width, int height, int frames) {
  VideoInfo vi{};
  vi.width = width;
  vi.height = height;
  vi.fps_numerator = 25;
  vi.fps_denominator = 1;
  vi.num_frames = frames;
  vi.pixel_type = pixelType;
  return vi;
}

uint64_t FrameDigest(const PVideoFrame& frame, bool planar) {
  uint64_t digest = kDigestStart;
  const int planes[] = {0, PLANAR_U, PLANAR_V};
  for (int p = 0; p < (planar ? 3 : 1); ++p) {
    for (int y = 0; y < frame->GetHeight(planes[p]); ++y) {
      digest = Digest(frame->GetReadPtr(planes[p]) + y * frame->GetPitch(planes[p]),
                      static_cast<size_t>(frame->GetRowSize(planes[p])), digest);
    }
  }
  return digest;
}

// Sorvan(clip, …) as a script calls it: the array of every declared parameter, those left out
// void. The filter, or none with the host's error message in *error.
PClip Sorvan(Environment& env, IClip* source, const Arguments& a, const char** error) {
  AVSValue elements[1 + kArgumentCount];
  elements[0] = AVSValue(source);
  for (int i = 0; i < kArgumentCount; ++i) {
    if (a.given[i]) elements[1 + i] = IsSwitch(i) ? AVSValue(a.value[i] != 0) : AVSValue(static_cast<int>(a.value[i]));
  }
  try {
    const AVSValue result = env.apply(AVSValue(elements, 1 + kArgumentCount), env.userData, &env);
    return result.AsClip();
  } catch (const HostError& e) {
    *error = e.message;
    return PClip();
  }
}

struct PixelType {
  const char* name;
  int code;
};
constexpr PixelType kPixelTypes[] = {
    {"YV12", CS_YV12}, {"I420", CS_I420}, {"YUY2", CS_YUY2}, {"RGB24", CS_BGR24}, {"RGB32", CS_BGR32}};

void FilterFrames(Environment& env, uint64_t* digests) {
  Random random(2);
  int i = 0;
  for (const PixelType& type : kPixelTypes) {
    for (int repeat = 0; repeat < 2; ++repeat, ++i) {
      const VideoInfo vi = ClipInfo(type.code, 4 * random.Between(4, 24), 4 * random.Between(3, 16), 1);
      const Arguments a = RandomArguments(random, false);
      const char* error = "";
      const PClip filter = Sorvan(env, new SourceClip(vi, random.Next(), -1), a, &error);
      digests[i] = filter ? FrameDigest(filter->GetFrame(0, &env), vi.IsPlanar()) : 0;
      PrintFrame(type.name, vi.width, vi.height, a, static_cast<bool>(filter), digests[i], error);
    }
  }
}

void Refusals(Environment& env) {
  const VideoInfo yv12 = ClipInfo(CS_YV12, 32, 24, 1);
  for (const ArgumentRefusal& r : kArgumentRefusals) {
    const char* error = "(accepted)";
    Check(!Sorvan(env, new SourceClip(yv12, 1, -1), RefusedArguments(r), &error), "a refused call gave a filter");
    printf("refused: %s\n", error);
  }
  // A modern host's 4:4:4 type contains every bit of CS_YV12; this interface cannot describe it.
  const char* error = "(accepted)";
  Sorvan(env, new SourceClip(ClipInfo(CS_YV12 | 0x30B, 32, 24, 1), 1, -1), NoArguments(), &error);
  printf("refused: %s\n", error);
}

// The host's exceptions thrown through the filter's GetFrame: from the source clip, and from
// NewVideoFrame while the filter holds the source frame. Both reach the caller, and unwinding
// the DLL's frames releases what they held.
void HostErrors(Environment& env) {
  const char* error = "";
  const PClip filter = Sorvan(env, new SourceClip(ClipInfo(CS_YV12, 48, 32, 4), 6, 2), NoArguments(), &error);
  const char* what[] = {"source frame failed", "NewVideoFrame failed"};
  for (int failure = 0; failure < 2; ++failure) {
    if (failure == 1) env.FailNewFrameAfter(1);  // the source frame comes, the output does not
    try {
      filter->GetFrame(failure == 0 ? 2 : 1, &env);
      Check(false, "the host's error did not come through GetFrame");
    } catch (const HostError& e) {
      printf("%s: %s\n", what[failure], e.message);
    }
    Check(env.HeldFrames() == 0, "a frame is still held after the host's error");
  }
  Check(static_cast<bool>(filter->GetFrame(3, &env)), "no frame after the host's errors");
}

// The clip methods a filter passes on to its child, called as the host calls them: 64-bit
// arguments by value (on 32-bit Windows, two stack words each), bool and reference results.
void ChildMethods(Environment& env) {
  SourceClip* source = new SourceClip(ClipInfo(CS_YUY2, 32, 24, 9), 3, -1);
  const char* error = "";
  const PClip filter = Sorvan(env, source, NoArguments(), &error);
  char buffer[16];
  filter->GetAudio(buffer, 0x123456789ll, 4096, &env);
  filter->SetCacheHints(1, 100);
  const VideoInfo& vi = filter->GetVideoInfo();
  Check(source->audioBuffer == buffer && source->audioStart == 0x123456789ll && source->audioCount == 4096,
        "GetAudio reached the child with other arguments");
  printf("GetVersion %d, GetParity(0, 1) %d %d, GetVideoInfo %dx%d type 0x%08x\n", filter->GetVersion(),
         filter->GetParity(0), filter->GetParity(1), vi.width, vi.height, static_cast<unsigned>(vi.pixel_type));
}

struct ParallelRun {
  IClip* filter;
  Environment* env;
  bool planar;
  int frames;
  uint64_t digests[64];
};

void ParallelWork(void* context, int index) {
  ParallelRun* run = static_cast<ParallelRun*>(context);
  for (int i = 0; i < run->frames; ++i) {
    const int n = (i + 5 * index) % run->frames;
    run->digests[index * run->frames + n] = FrameDigest(run->filter->GetFrame(n, run->env), run->planar);
  }
}

void ParallelFrames(Environment& env) {
  constexpr PixelType kTypes[] = {{"YV12", CS_YV12}, {"RGB32", CS_BGR32}};
  for (const PixelType& type : kTypes) {
    const VideoInfo vi = ClipInfo(type.code, 160, 96, 12);
    Arguments a = NoArguments();
    a.given[kRy] = true;
    a.value[kRy] = 1;
    const char* error = "";
    const PClip filter = Sorvan(env, new SourceClip(vi, 9, -1), a, &error);
    constexpr int kThreads = 4;
    ParallelRun run{filter.get(), &env, vi.IsPlanar(), vi.num_frames, {}};
    uint64_t serial[12];
    for (int n = 0; n < run.frames; ++n) serial[n] = FrameDigest(filter->GetFrame(n, &env), run.planar);
    RunOnThreads(kThreads, &ParallelWork, &run);
    bool same = true;
    for (int i = 0; i < kThreads * run.frames; ++i) same = same && run.digests[i] == serial[i % run.frames];
    Check(same, "frames made on several threads differ from those made one by one");
    printf("%s: %d frames on each of %d threads, equal to serial\n", type.name, run.frames, kThreads);
  }
}

// The compiler's 64-bit division helpers (the plug-in's runtime file has them on 32-bit
// Windows, and so does this driver there) against quotients and remainders worked out exactly.
void Divisions() {
  static const uint64_t kUnsigned[][4] = {
      {0x64ull, 0x7ull, 0xeull, 0x2ull},
      {0x100000005ull, 0x3ull, 0x55555557ull, 0x0ull},
      {0xffffffffffffffffull, 0x100000001ull, 0xffffffffull, 0x0ull},
      {0xffffffffffffffffull, 0x8000000000003039ull, 0x1ull, 0x7fffffffffffcfc6ull},
      {0x3039ull, 0x10000000000ull, 0x0ull, 0x3039ull},
      {0x1000000000000ull, 0xcb700ull, 0x14224a66ull, 0x91600ull},
      {0x123456789abcdefull, 0xfedcba9ull, 0x12492492ull, 0xe38e38dull},
      {0x8000000000000000ull, 0x7fffffffffffffffull, 0x1ull, 0x1ull},
      {0x7ull, 0x7ull, 0x1ull, 0x0ull},
      {0x0ull, 0x5ull, 0x0ull, 0x0ull},
  };
  static const int64_t kSigned[][4] = {
      {-100, 7, -14, -2},
      {100, -7, -14, 2},
      {-100, -7, 14, -2},
      {-9223372036854775807ll - 1, 3, -3074457345618258602ll, -2},
      {9223372036854775807ll, -2147483648ll, -4294967295ll, 2147483647ll},
      {-5, 1099511627776ll, 0, -5},
      {-1099511627779ll, 8589934592ll, -128, -3},
  };
  int exact = 0;
  for (const auto& row : kUnsigned) {
    volatile uint64_t a = row[0], b = row[1];  // computed at run time, through the helpers
    exact += a / b == row[2] && a % b == row[3];
  }
  for (const auto& row : kSigned) {
    volatile int64_t a = row[0], b = row[1];
    exact += a / b == row[2] && a % b == row[3];
  }
  Check(exact == 17, "a 64-bit quotient or remainder is wrong");
  printf("64-bit division: %d operand pairs exact\n", exact);
}

int Run(const char* path) {
  CapPasses passes(path);
  const bool loaded = passes.Run([&] {
    void* library = OpenPlugin(path);
    const PluginEntry entry = library != nullptr ? FindEntry(library) : nullptr;
    if (!Check(entry != nullptr, "the plug-in or its entry AvisynthPluginInit2 is missing")) return false;
    Environment env;
    const char* text = entry(&env);
    if (!Check(env.apply != nullptr, "the entry registered no function")) return false;
    if (passes.First()) printf("AvisynthPluginInit2 returned \"%s\"; %s(%s)\n", text, env.functionName, env.parameters);
    passes.Loaded();
    uint64_t digests[10];
    const bool integer[10] = {true, true, true, true, true, true, true, true, true, true};
    FilterFrames(env, digests);
    passes.Filtered(digests, integer, 10);
    if (passes.First()) {
      ChildMethods(env);
      Refusals(env);
      HostErrors(env);
      ParallelFrames(env);
    }
    Check(env.HeldFrames() == 0 && LiveSourceClips() == 0, "frames or clips left held");
    ClosePlugin(library);
    return true;
  });
  Divisions();
  return loaded && FailureCount() == 0 ? 0 : 1;
}

}  // namespace
}  // namespace sorvan::windows_test

int main(int argc, char** argv) { return sorvan::windows_test::DriverMain(argc, argv, &sorvan::windows_test::Run); }
