// A filter plan on fuzzer-chosen frames: the tail of the input picks the 8-bit layout,
// size, pitches and settings, the rest fills the source planes. Frames sit against guard
// pages, and every channel is compared with the direct formulation of its average.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/filter_plan.h"
#include "tests/support/expected_channel.h"
#include "tests/support/five_layouts.h"
#include "tests/support/format_frame.h"
#include "tests/support/guarded_frame.h"

namespace {

using namespace sorvan;
using namespace sorvan::testing;

constexpr size_t kParameterBytes = 16;
constexpr int32_t kMaxSide = 48;  // keeps the direct sums quick and memory bounded

void CheckChannels(const FilterArguments& settings, GuardedFrame& src, GuardedFrame& dst) {
  for (int32_t c = 0; c < 4; ++c) {
    if (!HasChannel(c < 3 ? src.format.channels[c] : src.format.alpha)) continue;
    const Plane expected = ExpectedChannel(settings, EightBitChannel(src.SourceView(), src.format, c), c);
    if (EightBitChannel(dst.SourceView(), dst.format, c).samples != expected.samples) {
      fprintf(stderr, "channel %d of %s %dx%d differs (rad %d str %d force %d)\n", c, src.format.name, src.width,
              src.height, settings[kRad], settings[kStr], settings[kForce]);
      abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kParameterBytes) return 0;
  const uint8_t* p = data + size - kParameterBytes;
  static const std::vector<VideoFormat> layouts = FiveLayouts();
  const VideoFormat& format = layouts[p[0] % layouts.size()];
  int32_t w = p[1] % (kMaxSide + 1);
  int32_t h = p[2] % (kMaxSide + 1);
  // Subsampled chroma (YUY2 and the planar 4:2:0 layouts) wants even sizes.
  if (format.family == ColourFamily::kYuv) w &= ~1;
  if (format.family == ColourFamily::kYuv && !IsPacked(format)) h &= ~1;
  const Guard guard = (p[3] & 1) != 0 ? Guard::After : Guard::Before;
  FilterArguments settings = DefaultArguments();
  settings[kRad] = 1 + p[4] % 8;
  settings[kStr] = 1 + p[5] % 8;
  settings[kRy] = (p[6] & 1) != 0;
  settings[kGu] = (p[6] & 2) != 0;
  settings[kBv] = (p[6] & 4) != 0;
  settings[kForce] = (p[6] & 8) != 0;
  const Parameter limits[] = {kPry, kPgu, kPbv, kNry, kNgu, kNbv};
  for (int i = 0; i < 6; ++i) settings[limits[i]] = p[7 + i] % 11;
  // Calls the checks would refuse are not filtered by any binding.
  if (FirstArgumentError(settings) != nullptr) return 0;
  FilterPlan plan;
  if (plan.Init(settings, format, w, h) != PlanStatus::kOk) abort();

  GuardedFrame src(format, w, h, p[13] % 19, guard);
  GuardedFrame dst(format, w, h, p[15] % 23, guard);
  size_t used = 0;
  const size_t content = size - kParameterBytes;
  for (auto& plane : src.planes) {
    for (size_t i = 0; i < plane.size(); ++i) plane.data()[i] = content ? data[used++ % content] : 0;
  }
  for (auto& plane : dst.planes) {
    if (plane.size() != 0) memset(plane.data(), 0xA5, plane.size());
  }

  if (!plan.Process(dst.View(), src.SourceView(), kMemoryCopyPlane)) abort();
  CheckChannels(settings, src, dst);
  return 0;
}
