// Progress on standard error while frames are written (only on a terminal), and the one-line
// summary at the end.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace sorvan::cli {

// "150 frames in 2.41 s (62.2 fps)".
std::string FormatSummary(int64_t frames, double seconds);
// "frame 45/150 (30%), 61.3 fps" or, with no known total (total < 0), "frame 45, 61.3 fps".
std::string FormatProgress(int64_t frames, int64_t total, double seconds);

class Progress {
 public:
  // `live`: redraw a progress line on standard error (a terminal, and not --quiet).
  // `total`: frames expected, or -1 when unknown.
  Progress(bool live, int64_t total);
  // Called after each written frame, from the writing thread only.
  void FrameWritten(int64_t frames);
  // Ends the progress line and returns the summary for `frames`.
  std::string Finish(int64_t frames);

 private:
  double Seconds() const;

  bool live_;
  int64_t total_;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point lastDraw_;
  bool drawn_ = false;
};

}  // namespace sorvan::cli
