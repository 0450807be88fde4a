#include "cli/interrupt_cleanup.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <mutex>
#include <thread>

namespace sorvan::cli {

struct InterruptCleanup::State {
  std::mutex mutex;
  std::string path;
};

namespace {

sigset_t InterruptSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  return set;
}

}  // namespace

InterruptCleanup::InterruptCleanup() : state_(std::make_shared<State>()) {
  const sigset_t set = InterruptSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  // The thread owns a reference to the state, so it stays valid however late a signal comes.
  std::thread([state = state_, set] {
    int sig = 0;
    if (sigwait(&set, &sig) != 0) return;
    {
      std::lock_guard lock(state->mutex);
      if (!state->path.empty()) ::unlink(state->path.c_str());
    }
    // End the way the signal would have ended the process, so callers see the usual status.
    signal(sig, SIG_DFL);
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, sig);
    pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
    raise(sig);
  }).detach();
}

void InterruptCleanup::SetTemporaryFile(const std::string& path) {
  std::lock_guard lock(state_->mutex);
  state_->path = path;
}

}  // namespace sorvan::cli
