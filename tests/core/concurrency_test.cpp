// One plan, many threads: frames filtered concurrently through one plan give exactly the serial
// output, whatever the number of threads or the order of requests. Also run under
// ThreadSanitizer (`make test-tsan`).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <thread>
#include <vector>

#include "core/filter_plan.h"
#include "tests/support/expected_channel.h"
#include "tests/support/format_frame.h"

namespace sorvan::testing {
namespace {

struct Clip {
  const char* name;
  VideoFormat format;
  FilterArguments arguments;
};

void ExpectParallelEqualsSerial(const Clip& clip, InstructionSet cap) {
  constexpr int32_t kFrames = 24, kWidth = 70, kHeight = 38, kThreads = 8;
  FilterPlan plan;
  ASSERT_EQ(plan.Init(clip.arguments, clip.format, kWidth, kHeight, cap), PlanStatus::kOk);
  std::vector<FormatFrame> sources, serial, parallel;
  for (int32_t n = 0; n < kFrames; ++n) {
    sources.emplace_back(clip.format, kWidth, kHeight, 3);
    sources.back().Paint(static_cast<uint32_t>(n));
    serial.emplace_back(clip.format, kWidth, kHeight, 3);
    parallel.emplace_back(clip.format, kWidth, kHeight, 3);
  }
  for (int32_t n = 0; n < kFrames; ++n) {
    ASSERT_TRUE(plan.Process(serial[n].View(), sources[n].SourceView(), kMemoryCopyPlane));
  }
  // Requests in a shuffled order, taken by whichever thread is free.
  std::vector<int32_t> order(kFrames);
  for (int32_t n = 0; n < kFrames; ++n) order[n] = n;
  std::shuffle(order.begin(), order.end(), std::mt19937(5));
  std::atomic<int32_t> next{0};
  std::atomic<bool> failed{false};
  std::vector<std::thread> threads;
  for (int32_t t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int32_t i = next++; i < kFrames; i = next++) {
        const int32_t n = order[i];
        if (!plan.Process(parallel[n].View(), sources[n].SourceView(), kMemoryCopyPlane)) failed = true;
      }
    });
  }
  for (std::thread& t : threads) t.join();
  ASSERT_FALSE(failed);
  for (int32_t n = 0; n < kFrames; ++n) EXPECT_TRUE(parallel[n] == serial[n]) << clip.name << ", frame " << n;
}

VideoFormat Yuv420(SampleType t, int32_t bits) {
  return PlanarFormat({.sampleType = t, .bitsPerSample = bits, .widthShift = 1, .heightShift = 1});
}

TEST(OnePlanManyThreads, GiveTheSerialOutput) {
  const Clip clips[] = {
      {"8-bit 4:2:0", Yuv420(SampleType::kInteger, 8), DefaultArguments()},
      {"8-bit BGRA box", PackedFormat(PackedLayout::kBgra32), Arguments({{kRy, 1}, {kForce, 1}, {kRad, 3}})},
      {"10-bit 4:2:0", Yuv420(SampleType::kInteger, 10), Arguments({{kRy, 1}})},
      {"float 4:2:0", Yuv420(SampleType::kFloat, 32), Arguments({{kRy, 1}, {kRad, 2}})},
  };
  for (const Clip& clip : clips) {
    for (InstructionSet cap : {InstructionSet::kScalar, kBestInstructionSet}) ExpectParallelEqualsSerial(clip, cap);
  }
}

}  // namespace
}  // namespace sorvan::testing
