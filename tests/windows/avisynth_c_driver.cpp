// Drives the AviSynth+ C entry of the plug-in through our minimal AviSynth+, as the host does.
// On Windows the host is AviSynth.dll, loaded with this program before the plug-in, whose
// exports the plug-in finds at run time in the module that called its entry; the driver runs
// under Wine against sorvan.dll (32-bit) and sorvan64.dll (64-bit). Built for Linux it drives
// libsorvan.so through libsorvan_avs_c_host.so; the test compares the transcripts
// (driver_support.h).
//
//   avisynth_c_driver PLUGIN
#include <iterator>
#include <string>
#include <vector>

#include "hosts/avisynth_c/avs_c_host.h"
#include "hosts/avisynth_c/host_objects.h"
#include "tests/windows/cap_passes.h"

namespace sorvan::windows_test {
namespace {

using avs_c_host::Argument;
using avs_c_host::Clip;
using avs_c_host::Environment;
using avs_c_host::Frame;
using avs_c_host::NamedArgument;

struct PixelType {
  const char* name;
  uint32_t code;
  int32_t bits;  // 32: float
  bool gray;
};

// Packed and planar, 8 to 16 bits and float, with and without alpha, down to 4:1:1.
constexpr PixelType kFrameTypes[] = {
    {"YV12", 0xA0000008u, 8, false},       {"YUY2", 0x60000004u, 8, false},        {"RGB24", 0x50000001u, 8, false},
    {"RGB32", 0x50000002u, 8, false},      {"Y8", 0xE0000000u, 8, true},           {"YV411", 0xA0000309u, 8, false},
    {"YUV420P10", 0xA0050008u, 10, false}, {"YUVA422P12", 0x88060308u, 12, false}, {"RGBP14", 0x90070001u, 14, false},
    {"YUV444P16", 0xA001030Bu, 16, false}, {"RGB64", 0x50010002u, 16, false},      {"Y16", 0xE0010000u, 16, true},
    {"YUV420PS", 0xA0020008u, 32, false},  {"RGBAPS", 0x90020002u, 32, false},     {"Y32", 0xE0020000u, 32, true},
};

std::vector<std::vector<uint8_t>> Frames(const AVS_VideoInfo& vi, int32_t bits, uint64_t seed, int count) {
  std::vector<std::vector<uint8_t>> frames;
  for (int n = 0; n < count; ++n) {
    Random random(seed + static_cast<uint64_t>(n));
    std::vector<uint8_t> bytes;
    for (const avs_c_host::PlaneGeometry& plane : avs_c_host::FramePlanes(vi)) {
      const size_t start = bytes.size();
      bytes.resize(start + static_cast<size_t>(plane.rowSize) * static_cast<size_t>(plane.height));
      for (int32_t y = 0; y < plane.height; ++y) {
        FillRow(random, bytes.data() + start + static_cast<size_t>(y) * plane.rowSize,
                plane.rowSize / BytesPerSample(bits), bits, y);
      }
    }
    frames.push_back(std::move(bytes));
  }
  return frames;
}

// Sorvan(clip, …) with the named arguments given: the filter, or none with the error.
avs_c_host::CallResult Sorvan(Environment& env, const Clip& clip, const Arguments& a) {
  std::vector<NamedArgument> named;
  for (int i = 0; i < kArgumentCount; ++i) {
    if (a.given[i])
      named.push_back({kArgumentNames[i], IsSwitch(i) ? Argument(a.value[i] != 0) : Argument(a.value[i])});
  }
  return env.Invoke("Sorvan", {Argument(clip)}, named);
}

uint64_t FrameDigest(const Frame& frame, const AVS_VideoInfo& vi) {
  const std::vector<uint8_t> bytes = frame.Bytes(avs_c_host::FramePlanes(vi));
  return Digest(bytes.data(), bytes.size(), kDigestStart);
}

std::vector<uint64_t> FilterFrames(Environment& env) {
  Random random(3);
  std::vector<uint64_t> digests;
  for (const PixelType& type : kFrameTypes) {
    const AVS_VideoInfo vi = avs_c_host::MakeVideoInfo(static_cast<int32_t>(type.code), 4 * random.Between(4, 24),
                                                       4 * random.Between(3, 16), 1);
    const Arguments a = RandomArguments(random, type.gray);
    const Clip source = avs_c_host::MakeMemoryClip(vi, Frames(vi, type.bits, random.Next(), 1));
    avs_c_host::CallResult call = Sorvan(env, source, a);
    std::string error = call.error;
    const Frame frame = call.clip ? call.clip.GetFrame(0, &error) : Frame();
    digests.push_back(frame ? FrameDigest(frame, vi) : 0);
    PrintFrame(type.name, vi.width, vi.height, a, static_cast<bool>(frame), digests.back(), error.c_str());
  }
  return digests;
}

void Refusals(Environment& env) {
  const Clip yv12 =
      avs_c_host::MakeMemoryClip(avs_c_host::MakeVideoInfo(static_cast<int32_t>(0xA0000008u), 32, 24, 1), {});
  for (const ArgumentRefusal& r : kArgumentRefusals) {
    printf("refused: %s\n", Sorvan(env, yv12, RefusedArguments(r)).error.c_str());
  }
  // A type of the interface the core does not compute on, and a gray clip without ry.
  const Clip raw =
      avs_c_host::MakeMemoryClip(avs_c_host::MakeVideoInfo(static_cast<int32_t>(0x40000020u), 32, 24, 1), {});
  const Clip gray =
      avs_c_host::MakeMemoryClip(avs_c_host::MakeVideoInfo(static_cast<int32_t>(0xE0000000u), 32, 24, 1), {});
  printf("refused: %s\n", Sorvan(env, raw, NoArguments()).error.c_str());
  printf("refused: %s\n", Sorvan(env, gray, NoArguments()).error.c_str());
}

// The source clip has no frame 1: the plug-in's request of it fails while the frame is made.
void FailingSource(Environment& env) {
  const AVS_VideoInfo vi = avs_c_host::MakeVideoInfo(static_cast<int32_t>(0xA0050008u), 32, 24, 2);
  const Clip source = avs_c_host::MakeMemoryClip(vi, Frames(vi, 10, 5, 1));
  const avs_c_host::CallResult call = Sorvan(env, source, NoArguments());
  std::string error;
  Check(!call.clip.GetFrame(1, &error), "a frame came from a failed source frame");
  printf("source frame failed: %s\n", error.c_str());
  Check(static_cast<bool>(call.clip.GetFrame(0, &error)), "no frame after a failed one");
}

struct ParallelRun {
  const Clip* clip;
  const AVS_VideoInfo* vi;
  int frames;
  int threads;
  uint64_t digests[64];
};

// Each thread asks for every frame; the filter instance is one.
void ParallelWork(void* context, int index) {
  ParallelRun* run = static_cast<ParallelRun*>(context);
  for (int i = 0; i < run->frames; ++i) {
    const int n = (i + 5 * index) % run->frames;
    std::string error;
    const Frame frame = run->clip->GetFrame(n, &error);
    run->digests[index * run->frames + n] = frame ? FrameDigest(frame, *run->vi) : 0;
  }
}

void ParallelFrames(Environment& env) {
  constexpr PixelType kTypes[] = {
      {"YV12", 0xA0000008u, 8, false}, {"YUV444P16", 0xA001030Bu, 16, false}, {"RGBPS", 0x90020001u, 32, false}};
  for (const PixelType& type : kTypes) {
    const AVS_VideoInfo vi = avs_c_host::MakeVideoInfo(static_cast<int32_t>(type.code), 160, 96, 12);
    const Clip source = avs_c_host::MakeMemoryClip(vi, Frames(vi, type.bits, 9, vi.num_frames));
    Arguments a = NoArguments();
    a.given[kRy] = true;
    a.value[kRy] = 1;
    const avs_c_host::CallResult call = Sorvan(env, source, a);
    ParallelRun run{&call.clip, &vi, vi.num_frames, 4, {}};
    std::vector<uint64_t> serial;
    for (int n = 0; n < run.frames; ++n) serial.push_back(FrameDigest(call.clip.GetFrame(n), vi));
    RunOnThreads(run.threads, &ParallelWork, &run);
    bool same = true;
    for (int i = 0; i < run.threads * run.frames; ++i) same = same && run.digests[i] == serial[i % run.frames];
    Check(same, "frames made on several threads differ from those made one by one");
    printf("%s: %d frames on each of %d threads, equal to serial\n", type.name, run.frames, run.threads);
  }
}

#if defined(_WIN64)
extern "C" __declspec(dllimport) unsigned short __stdcall RtlCaptureStackBackTrace(unsigned long skip,
                                                                                   unsigned long count, void** frames,
                                                                                   unsigned long* hash);

// Whether `address` lies in the image loaded at `base` (SizeOfImage from its headers).
bool InImage(const void* address, uintptr_t base) {
  if (base == 0) return false;
  const uint32_t headers = *reinterpret_cast<const uint32_t*>(base + 0x3C);
  const uint32_t size = *reinterpret_cast<const uint32_t*>(base + headers + 24 + 56);
  const uintptr_t a = reinterpret_cast<uintptr_t>(address);
  return a >= base && a < base + size;
}

// A source clip whose frame requests, which the plug-in makes from inside its get_frame, walk
// the stack as the system does for an exception or a debugger: with each module's exception
// table. The walk must pass the DLL's frames and reach this program's.
class WalkingClip final : public avs_c_host::ClipImpl {
 public:
  WalkingClip(std::shared_ptr<avs_c_host::ClipImpl> inner, uintptr_t plugin)
      : inner_(std::move(inner)), plugin_(plugin) {}
  const AVS_VideoInfo& Info() const override { return inner_->Info(); }
  AVS_VideoFrame* GetFrame(int32_t n, std::string* error) override {
    void* frames[64];
    const int count = RtlCaptureStackBackTrace(0, 64, frames, nullptr);
    const uintptr_t program = reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr));
    bool inPlugin = false;
    for (int i = 0; i < count && !passed; ++i) {
      inPlugin = inPlugin || InImage(frames[i], plugin_);
      passed = inPlugin && InImage(frames[i], program) && !InImage(frames[i], plugin_);
    }
    return inner_->GetFrame(n, error);
  }
  bool passed = false;

 private:
  std::shared_ptr<avs_c_host::ClipImpl> inner_;
  uintptr_t plugin_;
};

void WalkThroughThePlugin(Environment& env, uintptr_t plugin) {
  const AVS_VideoInfo vi = avs_c_host::MakeVideoInfo(static_cast<int32_t>(0xA0000008u), 32, 24, 1);
  const Clip memory = avs_c_host::MakeMemoryClip(vi, Frames(vi, 8, 7, 1));
  auto walking = std::make_shared<WalkingClip>(memory.get()->clip, plugin);
  const Clip source(avs_c_host::NewHandle(walking));
  const avs_c_host::CallResult call = Sorvan(env, source, NoArguments());
  Check(call.clip && call.clip.GetFrame(0) && walking->passed,
        "a stack walk from a host call inside the plug-in did not come back through the DLL's frames");
}
#else
void WalkThroughThePlugin(Environment&, uintptr_t) {}
#endif

int Run(const char* path) {
  bool integer[std::size(kFrameTypes)];
  for (size_t i = 0; i < std::size(kFrameTypes); ++i) integer[i] = kFrameTypes[i].bits != 32;
  CapPasses passes(path);
  const bool loaded = passes.Run([&] {
    Environment env;
    const avs_c_host::LoadResult load = env.LoadPlugin(path);
    if (!Check(load.loaded, "the plug-in did not load")) {
      printf("%s\n", load.error.c_str());
      return false;
    }
    // The entry's name differs by platform (32-bit Windows: decorated); its kind does not.
    Check(load.entry.find("avisynth_c_plugin_init2") != std::string::npos, "the host did not enter through init2");
    if (passes.First())
      printf("init2 returned \"%s\"; Sorvan(%s)\n", load.text.c_str(), env.Parameters("Sorvan").c_str());
    passes.Loaded();
    passes.Filtered(FilterFrames(env).data(), integer, static_cast<int>(std::size(kFrameTypes)));
    if (passes.First()) {
      Refusals(env);
      FailingSource(env);
      ParallelFrames(env);
      WalkThroughThePlugin(env, passes.Place());
    }
    return true;
  });
  const avs_c_host::Census live = avs_c_host::Live();
  Check(live.frames == 0 && live.clipHandles == 0 && live.clips == 0 && live.clipValues == 0,
        "frames, clips or clip values left alive");
  Check(live.nullFramesWithoutError == 0, "a frame request failed without a message");
  return loaded && FailureCount() == 0 ? 0 : 1;
}

}  // namespace
}  // namespace sorvan::windows_test

int main(int argc, char** argv) { return sorvan::windows_test::DriverMain(argc, argv, &sorvan::windows_test::Run); }
