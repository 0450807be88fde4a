// Removes the temporary output file when the command is interrupted (Ctrl-C, kill, a closed
// terminal), so an interrupted run leaves nothing behind either. The signals are blocked in
// every thread and taken by one waiting thread, which needs no state shared with a handler.
#pragma once

#include <memory>
#include <string>

namespace sorvan::cli {

class InterruptCleanup {
 public:
  // Must run before any other thread starts, so that they all inherit the blocked signals.
  InterruptCleanup();
  // The file to remove on interruption; empty for none.
  void SetTemporaryFile(const std::string& path);

  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace sorvan::cli
