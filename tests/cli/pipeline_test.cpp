#include "cli/pipeline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <random>
#include <system_error>
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
  void WritePieces(std::span<const BytePiece> pieces) override {
    if (static_cast<int64_t>(frames.size()) == failAt_) throw CommandError("write failed");
    std::vector<uint8_t> frame;
    for (const BytePiece& p : pieces) frame.insert(frame.end(), p.data, p.data + p.size);
    frames.push_back(std::move(frame));
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

// A config whose workers are SlowInvertingWorkers, kept in `made` for inspection.
PipelineConfig MakeConfig(int threads, std::vector<SlowInvertingWorker*>& made, int64_t failAt = -1) {
  PipelineConfig config;
  config.frameBytes = kFrameBytes;
  config.threads = threads;
  config.makeWorker = [&made, failAt]() -> std::unique_ptr<FrameWorker> {
    auto worker = std::make_unique<SlowInvertingWorker>(static_cast<unsigned>(made.size() + 1), failAt);
    made.push_back(worker.get());
    return worker;
  };
  return config;
}

class PipelineThreads : public ::testing::TestWithParam<int> {};

TEST_P(PipelineThreads, WritesEveryFrameFilteredAndInOrder) {
  CountingReader reader(50);
  CollectingWriter writer;
  std::vector<SlowInvertingWorker*> made;
  PipelineConfig config = MakeConfig(GetParam(), made);
  std::vector<int64_t> progress;
  config.onFrameWritten = [&](int64_t n) { progress.push_back(n); };
  EXPECT_EQ(RunPipeline(reader, writer, config), 50);
  ASSERT_EQ(writer.frames.size(), 50u);
  for (size_t n = 0; n < 50; ++n) {
    for (size_t i = 0; i < kFrameBytes; ++i) {
      ASSERT_EQ(writer.frames[n][i], static_cast<uint8_t>(~static_cast<uint8_t>(n * 13 + i))) << "frame " << n;
    }
  }
  ASSERT_EQ(progress.size(), 50u);
  EXPECT_EQ(progress.back(), 50);
  EXPECT_EQ(made.size(), static_cast<size_t>(GetParam()));
}
INSTANTIATE_TEST_SUITE_P(All, PipelineThreads, ::testing::Values(1, 2, 4, 7));

TEST(Pipeline, WritesPiecesFromTheFilteredAndTheReadFrame) {
  CountingReader reader(9);
  CollectingWriter writer;
  std::vector<SlowInvertingWorker*> made;
  PipelineConfig config = MakeConfig(2, made);
  config.outputPieces = {{0, 10, true}, {10, 30, false}, {40, 24, true}};
  EXPECT_EQ(RunPipeline(reader, writer, config), 9);
  ASSERT_EQ(writer.frames.size(), 9u);
  for (size_t n = 0; n < 9; ++n) {
    ASSERT_EQ(writer.frames[n].size(), kFrameBytes);
    for (size_t i = 0; i < kFrameBytes; ++i) {
      const auto read = static_cast<uint8_t>(n * 13 + i);
      const bool filtered = i >= 10 && i < 40;
      ASSERT_EQ(writer.frames[n][i], filtered ? static_cast<uint8_t>(~read) : read) << "frame " << n << " byte " << i;
    }
  }
}

TEST(Pipeline, StopsAfterMaxFramesWithoutReadingFurther) {
  CountingReader reader(50);
  CollectingWriter writer;
  std::vector<SlowInvertingWorker*> made;
  PipelineConfig config = MakeConfig(3, made);
  config.maxFrames = 7;
  EXPECT_EQ(RunPipeline(reader, writer, config), 7);
  EXPECT_EQ(writer.frames.size(), 7u);
  EXPECT_EQ(reader.read(), 7);
}

TEST(Pipeline, NoMoreWorkersThanFrames) {
  for (const int64_t frames : {0, 1, 2}) {
    CountingReader reader(frames);
    CollectingWriter writer;
    std::vector<SlowInvertingWorker*> made;
    PipelineConfig config = MakeConfig(8, made);
    EXPECT_EQ(RunPipeline(reader, writer, config), frames);
    EXPECT_EQ(static_cast<int64_t>(writer.frames.size()), frames);
    EXPECT_EQ(static_cast<int64_t>(made.size()), frames);
  }
}

// A writer that holds up the first frame: meanwhile the reader fills every slot there is.
class StallingWriter final : public FrameWriter {
 public:
  explicit StallingWriter(const CountingReader& reader) : reader_(reader) {}
  void WritePieces(std::span<const BytePiece>) override {
    if (written_++ == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      readWhileStalled = reader_.read();
    }
  }
  int64_t readWhileStalled = -1;

 private:
  const CountingReader& reader_;
  int64_t written_ = 0;
};

TEST(Pipeline, FramesInFlightAreBounded) {
  for (const int threads : {1, 3}) {
    CountingReader reader(100);
    StallingWriter writer(reader);
    std::vector<SlowInvertingWorker*> made;
    PipelineConfig config = MakeConfig(threads, made);
    EXPECT_EQ(RunPipeline(reader, writer, config), 100);
    EXPECT_EQ(writer.readWhileStalled, static_cast<int64_t>(FramesInFlight(threads))) << threads << " threads";
  }
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
  std::vector<SlowInvertingWorker*> made;
  const PipelineConfig config = MakeConfig(4, made, c.workerFailAt);
  try {
    RunPipeline(reader, writer, config);
    FAIL() << "no error";
  } catch (const CommandError& e) {
    EXPECT_STREQ(e.what(), c.message);
  }
  EXPECT_LT(writer.frames.size(), 1000u);
}
INSTANTIATE_TEST_SUITE_P(
    All, PipelineFailure,
    ::testing::Values(FailureCase{0, -1, -1, "read failed"}, FailureCase{30, -1, -1, "read failed"},
                      FailureCase{-1, 0, -1, "filter failed"}, FailureCase{-1, 17, -1, "filter failed"},
                      FailureCase{-1, -1, 0, "write failed"}, FailureCase{-1, -1, 25, "write failed"}));

// The n-th thread (counting the writing thread as 0) cannot be started: every thread already
// running is stopped and joined, and the failure comes back as one clear error.
class ThreadStartFailure : public ::testing::TestWithParam<int> {};

TEST_P(ThreadStartFailure, StopsAndJoinsTheStartedThreads) {
  const int failAt = GetParam();
  CountingReader reader(1000);
  CollectingWriter writer;
  std::vector<SlowInvertingWorker*> made;
  PipelineConfig config = MakeConfig(4, made);
  int started = 0;
  auto running = std::make_shared<std::atomic<int>>(0);
  config.startThread = [&](std::function<void()> body) {
    if (started++ == failAt) throw std::system_error(EAGAIN, std::generic_category());
    return std::thread([body = std::move(body), running] {
      ++*running;
      body();
      --*running;
    });
  };
  try {
    RunPipeline(reader, writer, config);
    FAIL() << "no error";
  } catch (const CommandError& e) {
    const std::string expected = failAt == 0 ? "cannot start the writing thread: "
                                             : "cannot start worker thread " + std::to_string(failAt) + " of 4: ";
    EXPECT_EQ(e.what(), expected + std::strerror(EAGAIN));
  }
  EXPECT_EQ(*running, 0) << "a thread was still running after the pipeline returned";
  EXPECT_LT(writer.frames.size(), 1000u);
}
INSTANTIATE_TEST_SUITE_P(All, ThreadStartFailure, ::testing::Values(0, 1, 3, 4));

}  // namespace
}  // namespace sorvan::cli
