#include "cli/progress.h"

#include <fmt/format.h>

#include <algorithm>

#include "cli/diagnostics.h"

namespace sorvan::cli {
namespace {

double Rate(int64_t frames, double seconds) { return seconds > 0 ? static_cast<double>(frames) / seconds : 0.0; }

}  // namespace

std::string FormatSummary(int64_t frames, double seconds) {
  return fmt::format("{} frame{} in {:.2f} s ({:.1f} fps)", frames, frames == 1 ? "" : "s", seconds,
                     Rate(frames, seconds));
}

std::string FormatProgress(int64_t frames, int64_t total, double seconds) {
  if (total > 0) {
    const int64_t percent = std::min<int64_t>(100, frames * 100 / total);
    return fmt::format("frame {}/{} ({}%), {:.1f} fps", frames, total, percent, Rate(frames, seconds));
  }
  return fmt::format("frame {}, {:.1f} fps", frames, Rate(frames, seconds));
}

Progress::Progress(bool live, int64_t total)
    : live_(live), total_(total), start_(std::chrono::steady_clock::now()), lastDraw_(start_) {}

double Progress::Seconds() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

void Progress::FrameWritten(int64_t frames) {
  if (!live_) return;
  const auto now = std::chrono::steady_clock::now();
  // A few redraws a second are enough to see it move and cost nothing next to the filtering.
  if (drawn_ && now - lastDraw_ < std::chrono::milliseconds(250)) return;
  lastDraw_ = now;
  drawn_ = true;
  WriteDiagnostic(fmt::format("\r{:<60}", FormatProgress(frames, total_, Seconds())));
}

std::string Progress::Finish(int64_t frames) {
  if (live_ && drawn_) {
    WriteDiagnostic(fmt::format("\r{:<60}\r", ""));
  }
  return FormatSummary(frames, Seconds());
}

}  // namespace sorvan::cli
