// A filter plan on fuzzer-chosen frames: the tail of the input picks the pixel type,
// size, pitches and settings, the rest fills the source planes. Frames sit against guard
// pages, and every channel is compared with the direct formulation of its average.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/filter_plan.h"
#include "support/expected_channel.h"
#include "support/guarded_frame.h"
#include "support/test_frame.h"

namespace {

using namespace sorvan;
using namespace sorvan::testing;

constexpr size_t kParameterBytes = 16;
constexpr int32_t kMaxSide = 48;  // keeps the direct sums quick and memory bounded

const int32_t kPixelTypes[] = {CS_BGR24, CS_BGR32, CS_YUY2, CS_YV12, CS_I420};

void CheckChannels(const FilterArguments& settings, GuardedFrame& src, GuardedFrame& dst) {
  const uint8_t* srcPlanes[3] = {src.planes[0].data(), src.planes[1].data(), src.planes[2].data()};
  const uint8_t* dstPlanes[3] = {dst.planes[0].data(), dst.planes[1].data(), dst.planes[2].data()};
  const int32_t srcPitches[3] = {src.pitch, src.chromaPitch, src.chromaPitch};
  const int32_t dstPitches[3] = {dst.pitch, dst.chromaPitch, dst.chromaPitch};
  for (const ChannelPlace& c : ChannelPlaces(src.type, src.width, src.height)) {
    const Plane expected = ExpectedChannel(settings, ExtractChannel(srcPlanes, srcPitches, c), c.channel);
    if (ExtractChannel(dstPlanes, dstPitches, c).samples != expected.samples) {
      fprintf(stderr, "channel %d of type %08x %dx%d differs (rad %d str %d force %d)\n", c.channel,
              static_cast<unsigned>(src.type), src.width, src.height, settings[kRad], settings[kStr], settings[kForce]);
      abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kParameterBytes) return 0;
  const uint8_t* p = data + size - kParameterBytes;
  const int32_t type = kPixelTypes[p[0] % 5];
  int32_t w = p[1] % (kMaxSide + 1);
  int32_t h = p[2] % (kMaxSide + 1);
  if (type == CS_YUY2 || (type & CS_PLANAR) != 0) w &= ~1;
  if ((type & CS_PLANAR) != 0) h &= ~1;
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
  VideoFormat format{};
  FilterPlan plan;
  if (!ClassicFormat(type, &format) || plan.Init(settings, format, w, h) != PlanStatus::kOk) abort();

  GuardedFrame src(type, w, h, p[13] % 19, p[14] % 7, guard);
  GuardedFrame dst(type, w, h, p[15] % 23, p[14] % 5, guard);
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
