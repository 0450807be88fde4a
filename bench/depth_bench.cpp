// Time per 1920×1080 frame through the filter plan for every sample depth (8, 10 and 16 bits,
// 32-bit float) on every instruction-set level this CPU has, the level capped as
// SORVAN_MAX_ISA would cap it. The same frame is filtered over and over (mostly from cache).
// After the runs a summary prints the median and minimum CPU time per frame, each path against
// its depth's reference, and the depths against the 8-bit best path.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench/summary_reporter.h"
#include "core/filter_plan.h"

namespace {

using namespace sorvan;

constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;

struct DepthCase {
  std::string name;
  VideoFormat format;
  bool force;
  bool ry;
};

VideoFormat Yuv(SampleType type, int32_t bits, int32_t shift) {
  return PlanarFormat({ColourFamily::kYuv, type, bits, shift, shift, false, {0, 1, 2}});
}

std::vector<DepthCase> Cases() {
  return {
      {"420p8_defaults", Yuv(SampleType::kInteger, 8, 1), false, false},
      {"420p10_defaults", Yuv(SampleType::kInteger, 10, 1), false, false},
      {"420p16_defaults", Yuv(SampleType::kInteger, 16, 1), false, false},
      {"420p10_force", Yuv(SampleType::kInteger, 10, 1), true, false},
      {"420p10_ry", Yuv(SampleType::kInteger, 10, 1), false, true},
      {"444p8_defaults", Yuv(SampleType::kInteger, 8, 0), false, false},
      {"444p16_defaults", Yuv(SampleType::kInteger, 16, 0), false, false},
      {"444f32_defaults", Yuv(SampleType::kFloat, 32, 0), false, false},
      {"444f32_force", Yuv(SampleType::kFloat, 32, 0), true, false},
      {"bgr48_all", PackedFormat(PackedLayout::kBgr48), false, true},
  };
}

// One frame: every plane 64-byte aligned rows, a smooth picture with mild noise.
struct Frame {
  std::vector<std::vector<uint8_t>> planes;
  std::vector<int32_t> pitches, widths, heights;
};

Frame MakeFrame(const VideoFormat& f, bool fill) {
  Frame frame;
  std::mt19937 rng(7);
  const int32_t bytes = BytesPerSample(f);
  for (int32_t p = 0; p < f.planeCount; ++p) {
    const int32_t w = PlaneWidth(f, p, kWidth);
    const int32_t h = PlaneHeight(f, p, kHeight);
    const int32_t rowBytes = static_cast<int32_t>(PlaneRowBytes(f, p, kWidth));
    const int32_t pitch = (rowBytes + 63) & ~63;
    frame.planes.emplace_back(static_cast<size_t>(pitch) * h);
    frame.pitches.push_back(pitch);
    frame.widths.push_back(w);
    frame.heights.push_back(h);
    if (!fill) continue;
    const int32_t samplesPerRow = rowBytes / bytes;
    for (int32_t y = 0; y < h; ++y) {
      uint8_t* row = frame.planes.back().data() + static_cast<size_t>(y) * pitch;
      for (int32_t x = 0; x < samplesPerRow; ++x) {
        const double v = (60 + (x / 8 + y / 5) % 64 + static_cast<int32_t>(rng() % 7)) / 255.0;  // 0 … 1
        if (f.sampleType == SampleType::kFloat) {
          const float s = static_cast<float>(p == 0 ? v : v - 0.5);
          memcpy(row + static_cast<size_t>(x) * 4, &s, 4);
        } else if (bytes == 2) {
          const uint16_t s = static_cast<uint16_t>(v * ((1 << f.bitsPerSample) - 1));
          memcpy(row + static_cast<size_t>(x) * 2, &s, 2);
        } else {
          row[x] = static_cast<uint8_t>(v * 255);
        }
      }
    }
  }
  return frame;
}

void FilterFrame(benchmark::State& state, const DepthCase& c, InstructionSet cap) {
  FilterArguments arguments = DefaultArguments();
  arguments[kForce] = c.force ? 1 : 0;
  arguments[kRy] = c.ry ? 1 : 0;
  FilterPlan plan;
  if (plan.Init(arguments, c.format, kWidth, kHeight, cap) != PlanStatus::kOk || !plan.ReserveScratch(1)) {
    state.SkipWithError("the plan could not be made");
    return;
  }
  const Frame src = MakeFrame(c.format, true);
  Frame dst = MakeFrame(c.format, false);
  FrameView d{};
  SourceFrameView s{};
  for (int32_t p = 0; p < c.format.planeCount; ++p) {
    d.planes[p] = {dst.planes[p].data(), dst.pitches[p], dst.widths[p], dst.heights[p]};
    s.planes[p] = {src.planes[p].data(), src.pitches[p], src.widths[p], src.heights[p]};
  }
  for (auto _ : state) {
    if (!plan.Process(d, s, kMemoryCopyPlane)) state.SkipWithError("out of memory");
    benchmark::ClobberMemory();
  }
  state.SetLabel(plan.KernelName());
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const std::vector<DepthCase> cases = Cases();
  // The levels this CPU runs, from the reference up.
  InstructionSet built[kMaxInstructionSets];
  const int32_t builtCount = ListInstructionSets(built, kMaxInstructionSets);
  std::vector<InstructionSet> levels;
  for (int32_t i = 0; i < builtCount; ++i) {
    if (!(SupportedInstructionSet() < built[i])) levels.push_back(built[i]);
  }
  for (const DepthCase& c : cases) {
    for (const InstructionSet level : levels) {
      auto* b = benchmark::RegisterBenchmark((c.name + "/" + InstructionSetName(level)).c_str(), FilterFrame, c, level);
      b->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
      b->ComputeStatistics("min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });
    }
  }
  sorvan::bench::SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  const auto& t = reporter.times();
  auto best = [&](const std::string& name) {
    double b = 0;
    for (const InstructionSet level : levels) {
      if (level == InstructionSet::kScalar) continue;
      const auto it = t.find(name + "/" + InstructionSetName(level));
      if (it != t.end() && it->second.median > 0 && (b == 0 || it->second.median < b)) b = it->second.median;
    }
    return b;
  };
  std::printf(
      "\nPer 1920x1080 frame through the plan, one thread, CPU time, median (min) of 5 repetitions; "
      "x ref = the depth's reference time / path time (level = cap; the table used is the run's label)\n");
  std::printf("%-18s %-8s %18s %9s\n", "case", "level", "ms per frame", "x ref");
  for (const DepthCase& c : cases) {
    const auto ref = t.find(c.name + "/scalar");
    for (const InstructionSet level : levels) {
      const auto it = t.find(c.name + "/" + InstructionSetName(level));
      if (it == t.end()) continue;
      char timeText[40];
      std::snprintf(timeText, sizeof timeText, "%.3f (%.3f)", it->second.median, it->second.min);
      std::printf("%-18s %-8s %18s", c.name.c_str(), InstructionSetName(level), timeText);
      if (ref != t.end() && it->second.median > 0) std::printf(" %9.1f\n", ref->second.median / it->second.median);
      else std::printf(" %9s\n", "-");
    }
  }
  const double p8 = best("420p8_defaults"), p10 = best("420p10_defaults"), p16 = best("420p16_defaults");
  const double s8 = best("444p8_defaults"), f32 = best("444f32_defaults");
  const auto ref10 = t.find("420p10_defaults/scalar");
  if (p8 > 0 && p10 > 0) std::printf("4:2:0 defaults, best paths: 10-bit / 8-bit = %.2f\n", p10 / p8);
  if (p10 > 0 && ref10 != t.end()) {
    std::printf("4:2:0 defaults, 10-bit reference / 10-bit best = %.1f\n", ref10->second.median / p10);
  }
  if (p8 > 0 && p16 > 0) std::printf("4:2:0 defaults, best paths: 16-bit / 8-bit = %.2f\n", p16 / p8);
  if (s8 > 0 && f32 > 0) std::printf("4:4:4 defaults, best paths: float / 8-bit = %.2f\n", f32 / s8);
  benchmark::Shutdown();
  return 0;
}
