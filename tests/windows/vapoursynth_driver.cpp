// Drives the VapourSynth API 4 entry of the plug-in through our minimal VapourSynth host, as a
// core does: built for Windows it loads sorvan64.dll under Wine, built for Linux libsorvan.so;
// the test compares the two transcripts (driver_support.h).
//
//   vapoursynth_driver PLUGIN
#include <iterator>
#include <string>
#include <vector>

#include "hosts/vapoursynth/vapoursynth_host.h"
#include "tests/windows/cap_passes.h"

namespace sorvan::windows_test {
namespace {

using vshost::FramePtr;
using vshost::MapPtr;
using vshost::NodePtr;

// 8 to 16 bits and float, every colour family, and subsampling down to 4:1:0.
constexpr uint32_t kFrameFormats[] = {pfGray8,     pfYUV420P8, pfYUV410P8, pfRGB24,    pfYUV422P10,
                                      pfYUV444P16, pfGray16,   pfRGBS,     pfYUV420PS, pfGrayS};

NodePtr Source(vshost::Host& host, const VSVideoInfo& vi, uint64_t seed, int failingFrame = -1) {
  return host.SourceClip(vi, [seed, failingFrame](int n, VSFrame* frame) {
    if (n == failingFrame) throw vshost::HostError("source: frame " + std::to_string(n) + " is damaged");
    Random random(seed + static_cast<uint64_t>(n));
    for (int p = 0; p < frame->format.numPlanes; ++p) {
      for (int y = 0; y < frame->PlaneHeight(p); ++y) {
        FillRow(random, frame->planes[p]->data + y * frame->strides[p], frame->PlaneWidth(p),
                frame->format.bitsPerSample, y);
      }
    }
  });
}

uint64_t FrameDigest(const VSFrame& frame) {
  uint64_t digest = kDigestStart;
  for (int p = 0; p < frame.format.numPlanes; ++p) {
    const size_t row = static_cast<size_t>(frame.PlaneWidth(p)) * frame.format.bytesPerSample;
    for (int y = 0; y < frame.PlaneHeight(p); ++y)
      digest = Digest(frame.planes[p]->data + y * frame.strides[p], row, digest);
  }
  return digest;
}

// core.sorvan.Sorvan(clip, …): the filter node, or null with the refusal in *error.
NodePtr Sorvan(vshost::Host& host, VSNode* clip, const Arguments& a, std::string* error) {
  MapPtr in = vshost::NewMap();
  vshost::SetNode(in.get(), "clip", clip);
  for (int i = 0; i < kArgumentCount; ++i) {
    if (a.given[i]) vshost::SetInt(in.get(), kArgumentNames[i], a.value[i]);
  }
  MapPtr out = host.Invoke("sorvan", "Sorvan", *in);
  if (const char* refusal = vshost::ErrorOf(*out)) *error = refusal;
  return vshost::GetNode(*out, "clip");
}

void PrintRegistration(const VSPlugin& plugin) {
  printf("configPlugin(\"%s\", \"%s\", \"%s\", 0x%x, 0x%x, %d)\n", plugin.identifier.c_str(),
         plugin.pluginNamespace.c_str(), plugin.name.c_str(), plugin.pluginVersion, plugin.apiVersion, plugin.flags);
  for (const vshost::RegisteredFunction& f : plugin.functions) {
    printf("registerFunction(\"%s\", \"%s\", \"%s\")\n", f.name.c_str(), f.arguments.c_str(), f.returnType.c_str());
  }
}

// Random settings and sizes on every format; the digests of frame 0 by format, in order.
std::vector<uint64_t> FilterFrames(vshost::Host& host) {
  Random random(4);
  std::vector<uint64_t> digests;
  for (uint32_t id : kFrameFormats) {
    const VSVideoInfo vi = vshost::ConstantClipInfo(id, 4 * random.Between(4, 24), 4 * random.Between(3, 16), 2);
    const Arguments a = RandomArguments(random, vi.format.colorFamily == cfGray);
    NodePtr source = Source(host, vi, random.Next());
    std::string error;
    NodePtr filter = Sorvan(host, source.get(), a, &error);
    FramePtr frame = filter ? host.GetFrame(filter.get(), 0, &error) : nullptr;
    digests.push_back(frame ? FrameDigest(*frame) : 0);
    PrintFrame(vshost::VideoFormatName(vi.format).c_str(), vi.width, vi.height, a, frame != nullptr, digests.back(),
               error.c_str());
  }
  return digests;
}

void Refusals(vshost::Host& host) {
  NodePtr yuv = Source(host, vshost::ConstantClipInfo(pfYUV420P8, 32, 24, 2), 1);
  std::vector<std::pair<VSNode*, Arguments>> calls;
  for (const ArgumentRefusal& r : kArgumentRefusals) calls.emplace_back(yuv.get(), RefusedArguments(r));
  Arguments switchTwo = NoArguments();
  switchTwo.given[kRy] = true;
  switchTwo.value[kRy] = 2;  // what a script's True never is
  calls.emplace_back(yuv.get(), switchTwo);
  NodePtr half = Source(host, vshost::ConstantClipInfo(pfYUV420PH, 16, 12, 1), 2);
  NodePtr gray = Source(host, vshost::ConstantClipInfo(pfGray8, 16, 12, 1), 3);
  VSVideoInfo variable = vshost::ConstantClipInfo(pfYUV422P10, 0, 0, 1);
  NodePtr variableSize = host.RawSourceClip(variable, [](int) { return vshost::WritableFramePtr(); });
  calls.emplace_back(half.get(), NoArguments());
  calls.emplace_back(gray.get(), NoArguments());
  calls.emplace_back(variableSize.get(), NoArguments());
  for (const auto& [clip, arguments] : calls) {
    std::string error;
    NodePtr filter = Sorvan(host, clip, arguments, &error);
    Check(filter == nullptr, "a refused call gave a filter");
    printf("refused: %s\n", error.c_str());
  }
}

// A source frame that fails while the filter makes its frame: the caller gets the source's
// message, the next frame still comes.
void FailingSource(vshost::Host& host) {
  NodePtr source = Source(host, vshost::ConstantClipInfo(pfYUV420P10, 32, 24, 3), 5, 1);
  std::string error;
  NodePtr filter = Sorvan(host, source.get(), NoArguments(), &error);
  FramePtr failed = host.GetFrame(filter.get(), 1, &error);
  Check(failed == nullptr, "a frame came from a failed source frame");
  printf("source frame failed: %s\n", error.c_str());
  Check(host.GetFrame(filter.get(), 2, &error) != nullptr, "no frame after a failed one");
}

// Frames of one filter asked for by several Windows threads at once equal those asked for one by
// one.
void ParallelFrames(vshost::Host& host) {
  for (uint32_t id : {pfYUV420P8, pfYUV444P16, pfRGBS}) {
    const VSVideoInfo vi = vshost::ConstantClipInfo(id, 160, 96, 12);
    NodePtr source = Source(host, vi, 9);
    std::string error;
    Arguments a = NoArguments();
    a.given[kRy] = true;
    a.value[kRy] = 1;
    NodePtr filter = Sorvan(host, source.get(), a, &error);
    std::vector<uint64_t> serial;
    for (int n = 0; n < vi.numFrames; ++n) serial.push_back(FrameDigest(*host.GetFrame(filter.get(), n, &error)));
    std::vector<int> order;
    for (int i = 0; i < 2 * vi.numFrames; ++i) order.push_back((i * 5) % vi.numFrames);
    const std::vector<vshost::Host::FrameResult> results = host.GetFramesConcurrently(filter.get(), order, 4);
    bool same = true;
    for (size_t i = 0; i < order.size(); ++i) {
      same = same && results[i].frame && FrameDigest(*results[i].frame) == serial[static_cast<size_t>(order[i])];
    }
    Check(same, "frames made on several threads differ from those made one by one");
    printf("%s: %d requests on 4 threads, equal to serial\n", vshost::VideoFormatName(vi.format).c_str(),
           static_cast<int>(order.size()));
  }
}

int Run(const char* path) {
  const vshost::LiveCounts baseline = vshost::CurrentLiveCounts();
  bool integer[std::size(kFrameFormats)];
  for (size_t i = 0; i < std::size(kFrameFormats); ++i) {
    integer[i] = vshost::VideoFormatFromId(kFrameFormats[i]).sampleType == stInteger;
  }
  CapPasses passes(path);
  const bool loaded = passes.Run([&] {
    vshost::Host host;
    try {
      const VSPlugin& plugin = host.LoadPlugin(path);
      if (passes.First()) PrintRegistration(plugin);
    } catch (const vshost::HostError& e) {
      printf("FAIL: %s\n", e.what());
      return false;
    }
    passes.Loaded();
    passes.Filtered(FilterFrames(host).data(), integer, static_cast<int>(std::size(kFrameFormats)));
    if (passes.First()) {
      Refusals(host);
      FailingSource(host);
      ParallelFrames(host);
    }
    for (const std::string& v : host.Violations()) Check(false, v.c_str());
    return true;
  });
  const vshost::LiveCounts now = vshost::CurrentLiveCounts();
  Check(now.frames == baseline.frames && now.nodes == baseline.nodes && now.maps == baseline.maps,
        "frames, nodes or maps left alive");
  return loaded && FailureCount() == 0 ? 0 : 1;
}

}  // namespace
}  // namespace sorvan::windows_test

int main(int argc, char** argv) { return sorvan::windows_test::DriverMain(argc, argv, &sorvan::windows_test::Run); }
