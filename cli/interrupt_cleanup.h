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
  // The file to remove on interruption; empty for none.
  void SetTemporaryFile(const std::string& path);
  // Runs `create`, which makes a temporary file and returns its path (empty for none), with the
  // signals held off until the path is registered: no signal can come between the two.
  void CreateTemporaryFile(const std::function<std::string()>& create);

  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace sorvan::cli
