#include "cli/pipeline.h"

#include <fmt/format.h>

#include <condition_variable>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <system_error>
#include <vector>

#include "cli/command_error.h"

namespace sorvan::cli {
namespace {

struct Slot {
  int64_t frameNumber = 0;
  std::vector<uint8_t> in;
  std::unique_ptr<uint8_t[]> out;  // not cleared: pages the filter never writes cost nothing
};

class PipelineState {
 public:
  explicit PipelineState(size_t maxSlots) : maxSlots_(maxSlots) {}

  // Reader side: a free slot (made when none is free and fewer than the most exist), or null
  // once the run has failed.
  std::unique_ptr<Slot> TakeFreeSlot() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return failed_ || !free_.empty() || slotsMade_ < maxSlots_; });
    if (failed_) return nullptr;
    if (free_.empty()) {
      ++slotsMade_;
      lock.unlock();
      return std::make_unique<Slot>();
    }
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
  const size_t maxSlots_;
  size_t slotsMade_ = 0;
  std::deque<std::unique_ptr<Slot>> free_;
  std::deque<std::unique_ptr<Slot>> work_;
  std::map<int64_t, std::unique_ptr<Slot>> done_;
  int64_t total_ = -1;  // frames read, once reading has ended
  bool failed_ = false;
  std::exception_ptr error_;
};

// Threads that are always joined, also when the run fails part-way through starting them.
class ThreadGroup {
 public:
  explicit ThreadGroup(const PipelineConfig& config) : config_(config) {}
  ~ThreadGroup() { JoinAll(); }
  ThreadGroup(const ThreadGroup&) = delete;
  ThreadGroup& operator=(const ThreadGroup&) = delete;

  // Throws CommandError naming `what` when the thread cannot be started.
  void Start(std::function<void()> body, const std::string& what) {
    threads_.reserve(threads_.size() + 1);
    try {
      threads_.push_back(config_.startThread ? config_.startThread(std::move(body)) : std::thread(std::move(body)));
    } catch (const std::system_error& e) {
      throw CommandError(fmt::format("cannot start {}: {}", what, e.code().message()));
    }
  }
  void JoinAll() {
    for (auto& t : threads_) {
      if (t.joinable()) t.join();
    }
  }

 private:
  const PipelineConfig& config_;
  std::vector<std::thread> threads_;
};

}  // namespace

int64_t RunPipeline(FrameReader& reader, FrameWriter& writer, const PipelineConfig& config) {
  if (config.threads < 1 || !config.makeWorker) throw CommandError("internal error: the pipeline has no worker");
  PipelineState state(FramesInFlight(config.threads));
  std::vector<std::unique_ptr<FrameWorker>> workers;
  workers.reserve(static_cast<size_t>(config.threads));
  int64_t written = 0;
  int64_t read = 0;
  {
    ThreadGroup threads(config);
    try {
      threads.Start(
          [&] {
            try {
              std::vector<BytePiece> pieces;
              while (auto slot = state.TakeDone(written)) {
                if (config.outputPieces.empty()) {
                  writer.Write(slot->out.get(), config.frameBytes);
                } else {
                  pieces.clear();
                  for (const OutputPiece& p : config.outputPieces) {
                    pieces.push_back({(p.fromInput ? slot->in.data() : slot->out.get()) + p.offset, p.size});
                  }
                  writer.WritePieces(pieces);
                }
                ++written;
                state.ReturnFreeSlot(std::move(slot));
                if (config.onFrameWritten) config.onFrameWritten(written);
              }
            } catch (...) {
              state.Fail(std::current_exception());
            }
          },
          "the writing thread");
      while (config.maxFrames < 0 || read < config.maxFrames) {
        auto slot = state.TakeFreeSlot();
        if (!slot) break;
        if (!reader.Next(slot->in)) {
          state.ReturnFreeSlot(std::move(slot));
          break;
        }
        slot->frameNumber = read++;
        state.PushWork(std::move(slot));
        if (workers.size() < static_cast<size_t>(config.threads)) {
          workers.push_back(config.makeWorker());
          FrameWorker* worker = workers.back().get();
          threads.Start(
              [&state, &config, worker] {
                try {
                  while (auto slot = state.TakeWork()) {
                    if (!slot->out) slot->out = std::make_unique_for_overwrite<uint8_t[]>(config.frameBytes);
                    worker->Process(slot->frameNumber, slot->in.data(), slot->out.get());
                    state.PushDone(std::move(slot));
                  }
                } catch (...) {
                  state.Fail(std::current_exception());
                }
              },
              fmt::format("worker thread {} of {}", workers.size(), config.threads));
        }
      }
    } catch (...) {
      state.Fail(std::current_exception());
    }
    state.FinishReading(read);
    threads.JoinAll();
  }
  if (auto error = state.error()) std::rethrow_exception(error);
  return written;
}

}  // namespace sorvan::cli
