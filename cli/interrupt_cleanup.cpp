#include "cli/interrupt_cleanup.h"

#include <fmt/format.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#include "cli/command_error.h"

namespace sorvan::cli {

struct InterruptCleanup::State {
  std::mutex mutex;
  int folder = -1;
  std::string name;  // of the temporary file in `folder`; empty for none
};

namespace {

// Asynchronous signals whose default action ends the process. The synchronous ones (SIGSEGV,
// SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS, SIGABRT) report faults and cannot be waited for.
constexpr int kEndingSignals[] = {SIGHUP,  SIGINT,  SIGQUIT,   SIGTERM, SIGPIPE, SIGALRM, SIGUSR1,  SIGUSR2,
                                  SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGIO,   SIGPWR,  SIGSTKFLT};

}  // namespace

std::vector<int> SignalsToCleanUpOn() {
  sigset_t blocked;
  sigemptyset(&blocked);
  pthread_sigmask(SIG_BLOCK, nullptr, &blocked);
  std::vector<int> signals(std::begin(kEndingSignals), std::end(kEndingSignals));
  for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig) signals.push_back(sig);
  std::vector<int> taken;
  for (const int sig : signals) {
    struct sigaction current {};
    if (sigaction(sig, nullptr, &current) != 0) continue;
    if (current.sa_handler == SIG_IGN || sigismember(&blocked, sig) == 1) continue;
    taken.push_back(sig);
  }
  return taken;
}

InterruptCleanup::InterruptCleanup() : state_(std::make_shared<State>()) {
  sigset_t set;
  sigemptyset(&set);
  for (const int sig : SignalsToCleanUpOn()) sigaddset(&set, sig);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  // The thread owns a reference to the state, so it stays valid however late a signal comes.
  try {
    std::thread([state = state_, set] {
      int sig = 0;
      if (sigwait(&set, &sig) != 0) return;
      {
        std::lock_guard lock(state->mutex);
        if (!state->name.empty()) ::unlinkat(state->folder, state->name.c_str(), 0);
      }
      // End the way the signal would have ended the process, so callers see the usual status.
      signal(sig, SIG_DFL);
      sigset_t one;
      sigemptyset(&one);
      sigaddset(&one, sig);
      pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
      raise(sig);
    }).detach();
  } catch (const std::system_error& e) {
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    throw CommandError(fmt::format("cannot start the thread that handles signals: {}", e.code().message()));
  }
}

void InterruptCleanup::CreateTemporaryFile(int folder, const std::function<std::string()>& create) {
  // The waiting thread takes this lock before it removes anything.
  std::lock_guard lock(state_->mutex);
  state_->name = create();
  state_->folder = folder;
}

void InterruptCleanup::FinishTemporaryFile(const std::function<bool()>& finish) {
  std::lock_guard lock(state_->mutex);
  if (finish()) state_->name.clear();
}

}  // namespace sorvan::cli
