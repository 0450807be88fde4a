// Time per 1920×1080 frame of the reference path and of every fast path this CPU has, for 8-bit,
// 10-bit, 16-bit and float formats, beside a plain copy of the whole frame (memcpy per row of
// every plane) as the floor; and frames per second of eight threads on one plan against one. The same frame is
// filtered over and over, so it comes mostly from cache; the copy is measured the same way.
// After the runs a summary prints the median and minimum CPU time per frame with the ratios
// fast/reference and fast/copy.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/summary_reporter.h"
#include "core/dispatch.h"
#include "core/filter_plan.h"
#include "tests/support/five_layouts.h"
#include "tests/support/format_frame.h"

namespace {

using namespace sorvan;
using sorvan::testing::FormatFrame;

constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;

VideoFormat Yuv(SampleType type, int32_t bits, int32_t shift) {
  return PlanarFormat({.sampleType = type, .bitsPerSample = bits, .widthShift = shift, .heightShift = shift});
}

struct Format {
  std::string name;
  VideoFormat format;
};

const std::vector<Format>& Formats() {
  static const std::vector<Format> formats = {
      {"yv12", testing::Yv12()},
      {"yuy2", testing::Yuy2()},
      {"rgb32", testing::Rgb32()},
      {"rgb24", testing::Rgb24()},
      {"yuv444p8", Yuv(SampleType::kInteger, 8, 0)},
      {"yuv420p10", Yuv(SampleType::kInteger, 10, 1)},
      {"yuv420p16", Yuv(SampleType::kInteger, 16, 1)},
      {"yuv444f32", Yuv(SampleType::kFloat, 32, 0)},
  };
  return formats;
}

const VideoFormat& FormatNamed(const std::string& name) {
  for (const Format& f : Formats())
    if (f.name == name) return f.format;
  return Formats().front().format;
}

struct Case {
  std::string name;
  std::string format;
  bool force;
  int32_t rad;
  bool ry, gu, bv;
};

std::vector<Case> Cases() {
  std::vector<Case> cases = {
      {"yv12_defaults", "yv12", false, 5, false, true, true},
      {"yv12_ry", "yv12", false, 5, true, true, true},
      {"yv12_force_rad5", "yv12", true, 5, false, true, true},
      {"yv12_force_rad8", "yv12", true, 8, false, true, true},
      {"yuy2_defaults", "yuy2", false, 5, false, true, true},
      {"rgb32_all", "rgb32", false, 5, true, true, true},
      {"rgb24_defaults", "rgb24", false, 5, false, true, true},
      {"yuv444p8_defaults", "yuv444p8", false, 5, false, true, true},
      {"yuv420p10_defaults", "yuv420p10", false, 5, false, true, true},
      {"yuv420p10_force", "yuv420p10", true, 5, false, true, true},
      {"yuv420p16_defaults", "yuv420p16", false, 5, false, true, true},
      {"yuv444f32_defaults", "yuv444f32", false, 5, false, true, true},
  };
  for (int32_t rad = 1; rad <= 8; ++rad) {
    cases.push_back({"yv12_gaussian_rad" + std::to_string(rad), "yv12", false, rad, false, true, true});
  }
  for (int32_t rad = 1; rad <= 8; ++rad) {
    cases.push_back({"yv12_box_rad" + std::to_string(rad), "yv12", true, rad, false, true, true});
  }
  return cases;
}

FilterArguments ArgumentsOf(const Case& c) {
  FilterArguments a = DefaultArguments();
  a[kForce] = c.force, a[kRad] = c.rad, a[kRy] = c.ry, a[kGu] = c.gu, a[kBv] = c.bv;
  return a;
}

void FilterFrame(benchmark::State& state, Case c, InstructionSet cap, std::string expectedKernels) {
  const VideoFormat& format = FormatNamed(c.format);
  FilterPlan plan;
  if (plan.Init(ArgumentsOf(c), format, kWidth, kHeight, cap) != PlanStatus::kOk || !plan.ReserveScratch(1)) {
    state.SkipWithError("out of memory");
    return;
  }
  state.SetLabel(plan.KernelName());
  FormatFrame src(format, kWidth, kHeight, 64);
  FormatFrame dst(format, kWidth, kHeight, 64);
  src.Paint(7);
  const SourceFrameView in = src.SourceView();
  const FrameView out = dst.View();
  for (auto _ : state) {
    plan.Process(out, in, kMemoryCopyPlane);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kWidth) * kHeight);
  (void)expectedKernels;
}

// The floor: every plane of the frame copied row by row.
void CopyFrame(benchmark::State& state, std::string formatName) {
  const VideoFormat& format = FormatNamed(formatName);
  FormatFrame src(format, kWidth, kHeight, 64);
  FormatFrame dst(format, kWidth, kHeight, 64);
  src.Paint(7);
  for (auto _ : state) {
    for (int32_t p = 0; p < format.planeCount; ++p) {
      CopyPlaneRows(nullptr, dst.planes[p].data(), dst.pitch[p], src.planes[p].data(), src.pitch[p],
                    static_cast<int32_t>(PlaneRowBytes(format, p, kWidth)), PlaneHeight(format, p, kHeight));
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kWidth) * kHeight);
}

// Several threads filtering frames through one plan at the same time, each with its own frames
// in flight, as a frame-parallel host runs the filter: frames per second against one thread.
struct SharedPlan {
  FilterPlan plan;
  bool ready = false;
};

SharedPlan& Shared() {
  static SharedPlan* shared = [] {
    auto* s = new SharedPlan();
    s->ready = s->plan.Init(DefaultArguments(), testing::Yv12(), kWidth, kHeight) == PlanStatus::kOk;
    return s;
  }();
  return *shared;
}

void FramesInFlight(benchmark::State& state) {
  SharedPlan& shared = Shared();
  if (!shared.ready) {
    state.SkipWithError("no plan");
    return;
  }
  const VideoFormat format = testing::Yv12();
  FormatFrame src(format, kWidth, kHeight, 64);
  FormatFrame dst(format, kWidth, kHeight, 64);
  src.Paint(static_cast<uint32_t>(state.thread_index()));
  const SourceFrameView in = src.SourceView();
  const FrameView out = dst.View();
  for (auto _ : state) {
    shared.plan.Process(out, in, kMemoryCopyPlane);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const std::vector<Case> cases = Cases();
  auto configure = [](benchmark::internal::Benchmark* b) {
    b->Unit(benchmark::kMillisecond)->Repetitions(5)->ComputeStatistics("min", [](const std::vector<double>& v) {
      return *std::min_element(v.begin(), v.end());
    });
    b->ReportAggregatesOnly(true);
  };
  for (const Format& f : Formats()) {
    configure(benchmark::RegisterBenchmark(("copy/" + f.name).c_str(), CopyFrame, f.name));
  }
  // A path by the level that selects it, for every level of this build; a level the CPU cannot
  // run is reported and skipped.
  InstructionSet levels[kMaxInstructionSets];
  const int32_t levelCount = ListInstructionSets(levels, kMaxInstructionSets);
  std::vector<std::string> paths;
  for (int32_t i = 0; i < levelCount; ++i) {
    const InstructionSet isa = levels[i];
    const std::string name = isa == InstructionSet::kScalar ? "reference" : InstructionSetName(isa);
    if (SupportedInstructionSet() < isa) {
      std::fprintf(stderr, "skipped: this CPU has no %s path\n", name.c_str());
      continue;
    }
    paths.push_back(name);
    for (const Case& c : cases) {
      configure(benchmark::RegisterBenchmark((c.name + "/" + name).c_str(), FilterFrame, c, isa, name));
    }
  }
  for (int threads : {1, 8}) {
    benchmark::RegisterBenchmark("yv12_defaults_in_flight", FramesInFlight)
        ->Threads(threads)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond)
        ->MinTime(1.0);
  }
  sorvan::bench::SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  const auto& t = reporter.times();
  std::printf(
      "\nPer 1920x1080 frame, one thread, CPU time, median (min) of 5 repetitions; x ref = reference time / path "
      "time, / copy = path time / plain frame copy time\n");
  std::printf("%-20s %-11s %18s %9s %9s\n", "case", "path", "ms per frame", "x ref", "/ copy");
  for (const Case& c : cases) {
    const auto ref = t.find(c.name + "/reference");
    const auto copy = t.find("copy/" + c.format);
    for (const std::string& path : paths) {
      const auto it = t.find(c.name + "/" + path);
      if (it == t.end()) continue;
      char timeText[40];
      std::snprintf(timeText, sizeof timeText, "%.3f (%.3f)", it->second.median, it->second.min);
      std::printf("%-20s %-11s %18s", c.name.c_str(), path.c_str(), timeText);
      if (ref != t.end() && it->second.median > 0) std::printf(" %9.1f", ref->second.median / it->second.median);
      else std::printf(" %9s", "-");
      if (copy != t.end() && copy->second.median > 0) std::printf(" %9.2f\n", it->second.median / copy->second.median);
      else std::printf(" %9s\n", "-");
    }
  }
  for (const Format& f : Formats()) {
    const auto it = t.find("copy/" + f.name);
    if (it != t.end())
      std::printf("copy floor %-10s %.3f (%.3f) ms per frame\n", f.name.c_str(), it->second.median, it->second.min);
  }
  const auto one = reporter.rates().find("yv12_defaults_in_flight/min_time:1.000/real_time/threads:1");
  const auto eight = reporter.rates().find("yv12_defaults_in_flight/min_time:1.000/real_time/threads:8");
  if (one != reporter.rates().end() && eight != reporter.rates().end() && one->second > 0) {
    std::printf("one plan, 1080p YV12 defaults: %.1f frames/s with 1 thread, %.1f with 8 threads: %.2fx\n", one->second,
                eight->second, eight->second / one->second);
  }
  benchmark::Shutdown();
  return 0;
}
