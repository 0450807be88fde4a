// Time per 1920×1080 frame of the reference path and of every fast path this CPU has, beside a
// plain copy of the whole frame (memcpy per row of every plane) as the floor. The same frame is
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

#include "core/dispatch.h"
#include "plugin/classic/pixel_type.h"
#include "core/process_frame.h"

namespace {

using namespace sorvan;

constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;

struct Frame {
  std::vector<uint8_t> main, u, v;
  int32_t pitch = 0, rowSize = 0, chromaPitch = 0;
};

int32_t Align64(int32_t n) { return (n + 63) & ~63; }

// A picture with smooth gradients and mild noise, as a video frame would have.
Frame MakeFrame(int32_t type, bool fill) {
  Frame f;
  const bool planar = (type & CS_PLANAR) != 0;
  f.rowSize = planar ? kWidth : kWidth * (BitsPerPixel(type) >> 3);
  f.pitch = Align64(f.rowSize);
  f.main.resize(static_cast<size_t>(f.pitch) * kHeight);
  if (planar) {
    f.chromaPitch = Align64(kWidth / 2);
    f.u.resize(static_cast<size_t>(f.chromaPitch) * (kHeight / 2));
    f.v.resize(f.u.size());
  }
  if (fill) {
    std::mt19937 rng(7);
    auto paint = [&](std::vector<uint8_t>& plane, int32_t pitch, int32_t base) {
      for (size_t i = 0; i < plane.size(); ++i) {
        const int32_t x = static_cast<int32_t>(i % pitch), y = static_cast<int32_t>(i / pitch);
        plane[i] = static_cast<uint8_t>(base + (x / 8 + y / 5) % 64 + static_cast<int32_t>(rng() % 7));
      }
    };
    paint(f.main, f.pitch, 60);
    if (planar) {
      paint(f.u, f.chromaPitch, 100);
      paint(f.v, f.chromaPitch, 120);
    }
  }
  return f;
}

FramePlanes Planes(Frame& f) {
  return {f.main.data(), f.pitch, f.rowSize, kHeight, f.u.empty() ? nullptr : f.u.data(),
          f.v.empty() ? nullptr : f.v.data(), f.chromaPitch};
}
SourceFramePlanes SourcePlanes(const Frame& f) {
  return {f.main.data(), f.pitch, f.rowSize, kHeight, f.u.empty() ? nullptr : f.u.data(),
          f.v.empty() ? nullptr : f.v.data(), f.chromaPitch};
}

struct Case {
  std::string name;
  int32_t type;
  bool force;
  int32_t rad;
  bool ry, gu, bv;
};

std::vector<Case> Cases() {
  std::vector<Case> cases = {
      {"yv12_defaults", CS_YV12, false, 5, false, true, true},
      {"yv12_ry", CS_YV12, false, 5, true, true, true},
      {"yv12_force_rad5", CS_YV12, true, 5, false, true, true},
      {"yv12_force_rad8", CS_YV12, true, 8, false, true, true},
      {"yuy2_defaults", CS_YUY2, false, 5, false, true, true},
      {"rgb32_all", CS_BGR32, false, 5, true, true, true},
      {"rgb24_defaults", CS_BGR24, false, 5, false, true, true},
  };
  for (int32_t rad = 1; rad <= 8; ++rad) {
    cases.push_back({"yv12_gaussian_rad" + std::to_string(rad), CS_YV12, false, rad, false, true, true});
  }
  for (int32_t rad = 1; rad <= 8; ++rad) {
    cases.push_back({"yv12_box_rad" + std::to_string(rad), CS_YV12, true, rad, false, true, true});
  }
  return cases;
}

const char* TypeName(int32_t type) {
  switch (type) {
    case CS_YV12: return "yv12";
    case CS_YUY2: return "yuy2";
    case CS_BGR32: return "rgb32";
    default: return "rgb24";
  }
}

void FilterFrame(benchmark::State& state, Case c, const ChannelKernels* kernels) {
  FilterSettings settings;
  settings.force = c.force;
  settings.rad = c.rad;
  settings.ry = c.ry;
  settings.gu = c.gu;
  settings.bv = c.bv;
  if (!PrepareFilterTables(settings, c.type, kWidth, kHeight) ||
      !settings.workspace.Allocate(KernelWorkspaceEntries(kWidth))) {
    state.SkipWithError("out of memory");
    return;
  }
  settings.kernels = kernels;
  const Frame src = MakeFrame(c.type, true);
  Frame dst = MakeFrame(c.type, false);
  const CopyPlane copyPlane = {&CopyPlaneRows, nullptr};
  const ClipGeometry clip = {kWidth, kHeight, c.type};
  for (auto _ : state) {
    ProcessFrame(clip, settings, Planes(dst), SourcePlanes(src), copyPlane);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kWidth) * kHeight);
}

// The floor: every plane of the frame copied row by row.
void CopyFrame(benchmark::State& state, int32_t type) {
  const Frame src = MakeFrame(type, true);
  Frame dst = MakeFrame(type, false);
  for (auto _ : state) {
    CopyPlaneRows(nullptr, dst.main.data(), dst.pitch, src.main.data(), src.pitch, src.rowSize, kHeight);
    if (!src.u.empty()) {
      CopyPlaneRows(nullptr, dst.u.data(), dst.chromaPitch, src.u.data(), src.chromaPitch, kWidth / 2, kHeight / 2);
      CopyPlaneRows(nullptr, dst.v.data(), dst.chromaPitch, src.v.data(), src.chromaPitch, kWidth / 2, kHeight / 2);
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kWidth) * kHeight);
}

// Collects the median and minimum of every benchmark for the summary.
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  SummaryReporter() : ConsoleReporter(OO_Tabular) {}
  struct Times {
    double median = 0, min = 0;
  };
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      // CPU time of the benchmark thread: on a machine shared with other jobs it leaves out the
      // time the thread waited for a core, which wall-clock time would add.
      const double ms = run.GetAdjustedCPUTime() * benchmark::GetTimeUnitMultiplier(run.time_unit) /
                        benchmark::GetTimeUnitMultiplier(benchmark::kMillisecond);
      const std::string name = run.run_name.function_name;
      if (run.run_type == Run::RT_Aggregate) {
        if (run.aggregate_name == "median") times_[name].median = ms;
        if (run.aggregate_name == "min") times_[name].min = ms;
      } else if (run.repetitions <= 1) {
        times_[name].median = ms;
        times_[name].min = ms;
      }
    }
  }
  const std::map<std::string, Times>& times() const { return times_; }

 private:
  std::map<std::string, Times> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  KernelVariant variants[kMaxKernelVariants];
  const int32_t count = ListKernelVariants(variants, kMaxKernelVariants);
  std::vector<std::string> paths;
  const std::vector<Case> cases = Cases();
  auto configure = [](benchmark::internal::Benchmark* b) {
    b->Unit(benchmark::kMillisecond)->Repetitions(5)->ComputeStatistics("min", [](const std::vector<double>& v) {
      return *std::min_element(v.begin(), v.end());
    });
    b->ReportAggregatesOnly(true);
  };
  for (const char* type : {"yv12", "yuy2", "rgb32", "rgb24"}) {
    const int32_t code = std::string(type) == "yv12"   ? CS_YV12
                         : std::string(type) == "yuy2" ? CS_YUY2
                         : std::string(type) == "rgb32" ? CS_BGR32
                                                        : CS_BGR24;
    configure(benchmark::RegisterBenchmark((std::string("copy/") + type).c_str(), CopyFrame, code));
  }
  for (int32_t i = 0; i < count; ++i) {
    if (variants[i].kernels == nullptr) {
      std::fprintf(stderr, "skipped: this CPU has no %s path\n", variants[i].name);
      continue;
    }
    paths.push_back(variants[i].name);
    for (const Case& c : cases) {
      configure(benchmark::RegisterBenchmark((c.name + "/" + variants[i].name).c_str(), FilterFrame, c,
                                             variants[i].kernels));
    }
  }
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  const auto& t = reporter.times();
  std::printf("\nPer 1920x1080 frame, one thread, CPU time, median (min) of 5 repetitions; x ref = reference time / path "
              "time, / copy = path time / plain frame copy time\n");
  std::printf("%-20s %-11s %18s %9s %9s\n", "case", "path", "ms per frame", "x ref", "/ copy");
  for (const Case& c : cases) {
    const auto ref = t.find(c.name + "/reference");
    const auto copy = t.find(std::string("copy/") + TypeName(c.type));
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
  for (const char* type : {"yv12", "yuy2", "rgb32", "rgb24"}) {
    const auto it = t.find(std::string("copy/") + type);
    if (it != t.end()) std::printf("copy floor %-6s %.3f (%.3f) ms per frame\n", type, it->second.median, it->second.min);
  }
  benchmark::Shutdown();
  return 0;
}
