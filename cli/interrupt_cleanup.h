// Removes the temporary output file when a signal ends the command (Ctrl-C, kill, a closed
// terminal, a timer, a file-size limit...), so an interrupted run leaves nothing behind either.
// Every asynchronous signal whose default action ends the process is blocked in every thread
// and taken by one waiting thread, which removes the file and then ends the process by the same
// signal, so the caller sees the usual status. Signals the caller set to be ignored (nohup) or
// had blocked are left exactly as they were.
//
// With SIGPIPE and SIGXFSZ blocked, a write to a closed pipe or beyond the file-size limit
// fails with EPIPE or EFBIG instead of killing the process: the command reports it, removes
// the temporary file and exits 1.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace sorvan::cli {

// The signals taken over: those the caller neither ignores nor blocks.
std::vector<int> SignalsToCleanUpOn();

class InterruptCleanup {
 public:
  // Must run before any other thread starts, so that they all inherit the blocked signals.
  // Throws CommandError when the waiting thread cannot be started.
  InterruptCleanup();
  // Runs `create`, which makes a temporary file in the folder open as `folder` and returns its
  // name, with the signals held off until the file is registered for removal: no signal can
  // come between the two. The folder stays open until the file is finished.
  void CreateTemporaryFile(int folder, const std::function<std::string()>& create);
  // Runs `finish` (which renames or removes the file) with the signals held off; when it returns
  // true, the file is no longer removed on a signal.
  void FinishTemporaryFile(const std::function<bool()>& finish);

  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace sorvan::cli
