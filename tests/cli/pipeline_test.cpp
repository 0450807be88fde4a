#include "cli/pipeline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <random>
#include <thread>

#include "cli/command_error.h"

namespace sorvan::cli {
namespace {

constexpr size_t kFrameBytes = 64;

// Frame n is filled with bytes derived from n; fails at `failAt` when set.
class CountingReader final : public FrameReader {
 public:
  CountingReader(int64_t frames, int64_t failAt = -1) : frames_(frames), failAt_(failAt) {}
  bool Next(std::vector<uint8_t>& frame) override {
    if (next_ == failAt_) throw CommandError("read failed");
    if (next_ == frames_) return false;
    frame.assign(kFrameBytes, 0);
    for (size_t i = 0; i < kFrameBytes; ++i) frame[i] = static_cast<uint8_t>(next_ * 13 + i);
    ++next_;
    return true;
  }
  int64_t read() const { return next_; }

 private:
  int64_t frames_;
  int64_t failAt_;
  int64_t next_ = 0;
};

class CollectingWriter final : public FrameWriter {
 public:
  explicit CollectingWriter(int64_t failAt = -1) : failAt_(failAt) {}
  void Write(const uint8_t* frame, size_t bytes) override {
    if (static_cast<int64_t>(frames.size()) == failAt_) throw CommandError("write failed");
    frames.emplace_back(frame, frame + bytes);
  }
  std::vector<std::vector<uint8_t>> frames;

 private:
  int64_t failAt_;
};

// Inverts the bytes, after a random pause so that frames finish out of order; remembers which
// thread used it, to check that a worker is never shared.
class SlowInvertingWorker final : public FrameWorker {
 public:
  explicit SlowInvertingWorker(unsigned seed, int64_t failAt = -1) : rng_(seed), failAt_(failAt) {}
  void Process(int64_t frameNumber, const uint8_t* in, uint8_t* out) override {
    if (frameNumber == failAt_) throw CommandError("filter failed");
    const int busy = ++callsInFlight_;
    EXPECT_EQ(busy, 1) << "a worker was used by two threads at once";
    std::this_thread::sleep_for(std::chrono::microseconds(rng_() % 300));
    for (size_t i = 0; i < kFrameBytes; ++i) out[i] = static_cast<uint8_t>(~in[i]);
    ++processed;
    --callsInFlight_;
  }
  int processed = 0;

 private:
  std::minstd_rand rng_;
  int64_t failAt_;
  std::atomic<int> callsInFlight_{0};
};

std::vector<std::unique_ptr<FrameWorker>> MakeWorkers(int count, int64_t failAt = -1) {
  std::vector<std::unique_ptr<FrameWorker>> workers;
  for (int i = 0; i < count; ++i) workers.push_back(std::make_unique<SlowInvertingWorker>(i + 1, failAt));
  return workers;
}

class PipelineThreads : public ::testing::TestWithParam<int> {};

TEST_P(PipelineThreads, WritesEveryFrameFilteredAndInOrder) {
  CountingReader reader(50);
  CollectingWriter writer;
  auto workers = MakeWorkers(GetParam());
  std::vector<int64_t> progress;
  PipelineConfig config;
  config.frameBytes = kFrameBytes;
  config.onFrameWritten = [&](int64_t n) { progress.push_back(n); };
  EXPECT_EQ(RunPipeline(reader, writer, workers, config), 50);
  ASSERT_EQ(writer.frames.size(), 50u);
  for (size_t n = 0; n < 50; ++n) {
    for (size_t i = 0; i < kFrameBytes; ++i) {
      ASSERT_EQ(writer.frames[n][i], static_cast<uint8_t>(~static_cast<uint8_t>(n * 13 + i))) << "frame " << n;
    }
  }
  ASSERT_EQ(progress.size(), 50u);
  EXPECT_EQ(progress.back(), 50);
  int processed = 0;
  for (auto& w : workers) processed += static_cast<SlowInvertingWorker&>(*w).processed;
  EXPECT_EQ(processed, 50);
}
INSTANTIATE_TEST_SUITE_P(All, PipelineThreads, ::testing::Values(1, 2, 4, 7));

TEST(Pipeline, StopsAfterMaxFramesWithoutReadingFurther) {
  CountingReader reader(50);
  CollectingWriter writer;
  auto workers = MakeWorkers(3);
  PipelineConfig config;
  config.frameBytes = kFrameBytes;
  config.maxFrames = 7;
  EXPECT_EQ(RunPipeline(reader, writer, workers, config), 7);
  EXPECT_EQ(writer.frames.size(), 7u);
  EXPECT_EQ(reader.read(), 7);
}

TEST(Pipeline, EmptyInputWritesNothing) {
  CountingReader reader(0);
  CollectingWriter writer;
  auto workers = MakeWorkers(2);
  PipelineConfig config;
  config.frameBytes = kFrameBytes;
  EXPECT_EQ(RunPipeline(reader, writer, workers, config), 0);
  EXPECT_TRUE(writer.frames.empty());
}

struct FailureCase {
  int64_t readerFailAt;
  int64_t workerFailAt;
  int64_t writerFailAt;
  const char* message;
  friend void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.message << " at " << std::max({c.readerFailAt, c.workerFailAt, c.writerFailAt});
  }
};
class PipelineFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(PipelineFailure, TheErrorStopsEveryThreadAndComesBack) {
  const FailureCase& c = GetParam();
  CountingReader reader(1000, c.readerFailAt);
  CollectingWriter writer(c.writerFailAt);
  auto workers = MakeWorkers(4, c.workerFailAt);
  PipelineConfig config;
  config.frameBytes = kFrameBytes;
  try {
    RunPipeline(reader, writer, workers, config);
    FAIL() << "no error";
  } catch (const CommandError& e) {
    EXPECT_STREQ(e.what(), c.message);
  }
  EXPECT_LT(writer.frames.size(), 1000u);
}
INSTANTIATE_TEST_SUITE_P(All, PipelineFailure,
                         ::testing::Values(FailureCase{0, -1, -1, "read failed"}, FailureCase{30, -1, -1, "read failed"},
                                           FailureCase{-1, 0, -1, "filter failed"},
                                           FailureCase{-1, 17, -1, "filter failed"},
                                           FailureCase{-1, -1, 0, "write failed"},
                                           FailureCase{-1, -1, 25, "write failed"}));

}  // namespace
}  // namespace sorvan::cli
