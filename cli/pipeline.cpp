#include "cli/pipeline.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <thread>

#include "cli/command_error.h"

namespace sorvan::cli {
namespace {

struct Slot {
  int64_t frameNumber = 0;
  std::vector<uint8_t> in;
  std::vector<uint8_t> out;
};

class PipelineState {
 public:
  explicit PipelineState(size_t slotCount) {
    for (size_t i = 0; i < slotCount; ++i) free_.push_back(std::make_unique<Slot>());
  }

  // Reader side: a free slot, or null once the run has failed.
  std::unique_ptr<Slot> TakeFreeSlot() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return failed_ || !free_.empty(); });
    if (failed_) return nullptr;
    auto slot = std::move(free_.front());
    free_.pop_front();
    return slot;
  }
  void ReturnFreeSlot(std::unique_ptr<Slot> slot) {
    std::lock_guard lock(mutex_);
    free_.push_back(std::move(slot));
    changed_.notify_all();
  }
  void PushWork(std::unique_ptr<Slot> slot) {
    std::lock_guard lock(mutex_);
    work_.push_back(std::move(slot));
    changed_.notify_all();
  }
  void FinishReading(int64_t total) {
    std::lock_guard lock(mutex_);
    total_ = total;
    changed_.notify_all();
  }

  // Worker side: the next frame to filter, or null when there is none left or the run failed.
  std::unique_ptr<Slot> TakeWork() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return failed_ || !work_.empty() || total_ >= 0; });
    if (failed_ || work_.empty()) return nullptr;
    auto slot = std::move(work_.front());
    work_.pop_front();
    return slot;
  }
  void PushDone(std::unique_ptr<Slot> slot) {
    std::lock_guard lock(mutex_);
    const int64_t n = slot->frameNumber;
    done_.emplace(n, std::move(slot));
    changed_.notify_all();
  }

  // Writer side: frame `next` once it is filtered; null at the end or when the run failed.
  std::unique_ptr<Slot> TakeDone(int64_t next) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return failed_ || done_.count(next) != 0 || (total_ >= 0 && next >= total_); });
    if (failed_) return nullptr;
    const auto it = done_.find(next);
    if (it == done_.end()) return nullptr;
    auto slot = std::move(it->second);
    done_.erase(it);
    return slot;
  }

  void Fail(std::exception_ptr error) {
    std::lock_guard lock(mutex_);
    if (!failed_) error_ = std::move(error);
    failed_ = true;
    changed_.notify_all();
  }
  std::exception_ptr error() {
    std::lock_guard lock(mutex_);
    return error_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::unique_ptr<Slot>> free_;
  std::deque<std::unique_ptr<Slot>> work_;
  std::map<int64_t, std::unique_ptr<Slot>> done_;
  int64_t total_ = -1;  // frames read, once reading has ended
  bool failed_ = false;
  std::exception_ptr error_;
};

}  // namespace

int64_t RunPipeline(FrameReader& reader, FrameWriter& writer, std::vector<std::unique_ptr<FrameWorker>>& workers,
                    const PipelineConfig& config) {
  if (workers.empty()) throw CommandError("internal error: the pipeline has no worker");
  // Two frames in flight per worker keep every worker busy while the writer catches up, and
  // bound memory to a few frames per thread.
  PipelineState state(2 * workers.size() + 2);
  int64_t written = 0;

  std::vector<std::thread> threads;
  threads.reserve(workers.size() + 1);
  for (auto& worker : workers) {
    threads.emplace_back([&state, &config, w = worker.get()] {
      try {
        while (auto slot = state.TakeWork()) {
          slot->out.resize(config.frameBytes);
          w->Process(slot->frameNumber, slot->in.data(), slot->out.data());
          state.PushDone(std::move(slot));
        }
      } catch (...) {
        state.Fail(std::current_exception());
      }
    });
  }
  threads.emplace_back([&] {
    try {
      while (auto slot = state.TakeDone(written)) {
        writer.Write(slot->out.data(), config.frameBytes);
        ++written;
        state.ReturnFreeSlot(std::move(slot));
        if (config.onFrameWritten) config.onFrameWritten(written);
      }
    } catch (...) {
      state.Fail(std::current_exception());
    }
  });

  int64_t read = 0;
  try {
    while (config.maxFrames < 0 || read < config.maxFrames) {
      auto slot = state.TakeFreeSlot();
      if (!slot) break;
      if (!reader.Next(slot->in)) {
        state.ReturnFreeSlot(std::move(slot));
        break;
      }
      slot->frameNumber = read++;
      state.PushWork(std::move(slot));
    }
  } catch (...) {
    state.Fail(std::current_exception());
  }
  state.FinishReading(read);
  for (auto& t : threads) t.join();
  if (auto error = state.error()) std::rethrow_exception(error);
  return written;
}

}  // namespace sorvan::cli
