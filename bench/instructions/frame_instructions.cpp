// 1920×1080 frames through the filter plan, for counting the guest instructions they take under
// qemu's user-mode emulator with count_plugin.c (count.sh runs it):
//
//   sorvan_frame_instructions CASE LEVEL [FRAMES]
//     CASE: 420p8_defaults, 420p10_defaults or 444f32_defaults; LEVEL: the cap, as SORVAN_MAX_ISA
//     names it; FRAMES (default 1) frames are filtered between the markers. Prints the case, the
//     level and the kernel table the plan chose.
//   sorvan_frame_instructions --levels
//     the levels this build and CPU have, one a line.
//
// Only the frames' work is counted: the plan, the frames and one frame's warm-up (the scratch
// block's first use) come first; then three markers, the frames between the second and the
// third. (third − second) − (second − first) is the frames' instructions, the cost of a marker
// itself taken out (exact but for the frame loop's entry and exit, a few instructions).
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/instructions/count_marker.h"
#include "core/filter_plan.h"

namespace {

using namespace sorvan;

constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;

bool CaseFormat(const std::string& name, VideoFormat* format) {
  PlanarFormatFields fields{ColourFamily::kYuv, SampleType::kInteger, 8, 1, 1, false, {0, 1, 2}};
  if (name == "420p10_defaults") {
    fields.bitsPerSample = 10;
  } else if (name == "444f32_defaults") {
    fields = {ColourFamily::kYuv, SampleType::kFloat, 32, 0, 0, false, {0, 1, 2}};
  } else if (name != "420p8_defaults") {
    return false;
  }
  *format = PlanarFormat(fields);
  return true;
}

// One plane of 64-byte aligned rows: a gradient with mild noise, in the format's range.
struct Plane {
  std::vector<uint8_t> bytes;
  int32_t pitch, width, height;
};

std::vector<Plane> MakeFrame(const VideoFormat& f) {
  std::vector<Plane> planes;
  uint32_t noise = 7;
  const int32_t sampleBytes = BytesPerSample(f);
  for (int32_t p = 0; p < f.planeCount; ++p) {
    const int32_t rowBytes = static_cast<int32_t>(PlaneRowBytes(f, p, kWidth));
    Plane plane{{}, (rowBytes + 63) & ~63, PlaneWidth(f, p, kWidth), PlaneHeight(f, p, kHeight)};
    plane.bytes.resize(static_cast<size_t>(plane.pitch) * plane.height);
    for (int32_t y = 0; y < plane.height; ++y) {
      uint8_t* row = plane.bytes.data() + static_cast<size_t>(y) * plane.pitch;
      for (int32_t x = 0; x < rowBytes / sampleBytes; ++x) {
        noise = noise * 1664525u + 1013904223u;
        const int32_t level = 60 + (x / 8 + y / 5) % 64 + static_cast<int32_t>(noise >> 29);  // 8-bit levels
        if (f.sampleType == SampleType::kFloat) {
          const float v = static_cast<float>(level) / 255.0f - (p == 0 ? 0.0f : 0.5f);
          memcpy(row + 4 * x, &v, 4);
        } else if (sampleBytes == 2) {
          const uint16_t v = static_cast<uint16_t>(level << (f.bitsPerSample - 8));
          memcpy(row + 2 * x, &v, 2);
        } else {
          row[x] = static_cast<uint8_t>(level);
        }
      }
    }
    planes.push_back(std::move(plane));
  }
  return planes;
}

void Mark(uint64_t number) { syscall(SYS_getppid, SORVAN_COUNT_MARKER, number); }

int ListLevels() {
  InstructionSet levels[kMaxInstructionSets];
  const int32_t count = ListInstructionSets(levels, kMaxInstructionSets);
  for (int32_t i = 0; i < count; ++i) {
    if (!(SupportedInstructionSet() < levels[i])) std::printf("%s\n", InstructionSetName(levels[i]));
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "--levels") return ListLevels();
  VideoFormat format{};
  InstructionSet level{};
  const long frames = argc == 4 ? std::strtol(argv[3], nullptr, 10) : 1;
  if ((argc != 3 && argc != 4) || !CaseFormat(argv[1], &format) || !ParseInstructionSet(argv[2], &level) ||
      frames < 0) {
    std::fprintf(stderr,
                 "usage: %s 420p8_defaults|420p10_defaults|444f32_defaults LEVEL [FRAMES]\n"
                 "       %s --levels\n",
                 argv[0], argv[0]);
    return 2;
  }
  FilterPlan plan;
  if (plan.Init(DefaultArguments(), format, kWidth, kHeight, level) != PlanStatus::kOk || !plan.ReserveScratch(1)) {
    std::fprintf(stderr, "the plan could not be made\n");
    return 1;
  }
  std::vector<Plane> source = MakeFrame(format);
  std::vector<Plane> output = MakeFrame(format);
  SourceFrameView src{};
  FrameView dst{};
  for (int32_t p = 0; p < format.planeCount; ++p) {
    src.planes[p] = {source[p].bytes.data(), source[p].pitch, source[p].width, source[p].height};
    dst.planes[p] = {output[p].bytes.data(), output[p].pitch, output[p].width, output[p].height};
  }
  bool ok = plan.Process(dst, src, kMemoryCopyPlane);
  Mark(0);
  Mark(1);
  for (long n = 0; n < frames; ++n) ok = plan.Process(dst, src, kMemoryCopyPlane) && ok;
  Mark(2);
  if (!ok) {
    std::fprintf(stderr, "out of memory\n");
    return 1;
  }
  std::printf("%s %s %s\n", argv[1], InstructionSetName(level), plan.KernelName());
  return 0;
}
