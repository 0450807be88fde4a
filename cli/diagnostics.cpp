#include "cli/diagnostics.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <string>

#include "cli/shown_text.h"

namespace sorvan::cli {
namespace {

// True when `fd` was closed and now is /dev/null.
bool ReserveIfClosed(int fd, int flags) noexcept {
  if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) return false;
  const int opened = ::open("/dev/null", flags);
  if (opened >= 0 && opened != fd) {
    // A lower descriptor was closed too and took the number; it is reserved in its own turn.
    ::dup2(opened, fd);
    ::close(opened);
  }
  return true;
}

}  // namespace

int WriteAll(int fd, std::string_view bytes) noexcept {
  // SIGPIPE is held back in this thread for the write; one that the write raised is taken off
  // again, one that was already pending is left for whoever it was meant for.
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  sigset_t old;
  pthread_sigmask(SIG_BLOCK, &pipe, &old);
  sigset_t pending;
  sigemptyset(&pending);
  sigpending(&pending);
  const bool wasPending = sigismember(&pending, SIGPIPE) == 1;

  int error = 0;
  const char* data = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    const ssize_t put = ::write(fd, data, left);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      error = put < 0 ? errno : EIO;
      break;
    }
    data += put;
    left -= static_cast<size_t>(put);
  }
  if (error == EPIPE && !wasPending) {
    const struct timespec now = {0, 0};
    while (sigtimedwait(&pipe, nullptr, &now) == -1 && errno == EINTR) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  return error;
}

void WriteDiagnostic(std::string_view bytes) noexcept { WriteAll(STDERR_FILENO, bytes); }

void ReportLine(std::string_view text, bool prefixed) noexcept {
  try {
    std::string line;
    line.reserve(text.size() + 9);
    if (prefixed) line += "sorvan: ";
    line += OneLine(text);
    line += '\n';
    WriteDiagnostic(line);
  } catch (...) {
    // Not even memory for the line: write it in pieces.
    if (prefixed) WriteDiagnostic("sorvan: ");
    WriteDiagnostic(text);
    WriteDiagnostic("\n");
  }
}

ClosedStandardStreams ReserveStandardDescriptors() noexcept {
  ClosedStandardStreams closed;
  closed.input = ReserveIfClosed(STDIN_FILENO, O_RDONLY);
  closed.output = ReserveIfClosed(STDOUT_FILENO, O_WRONLY);
  closed.error = ReserveIfClosed(STDERR_FILENO, O_WRONLY);
  return closed;
}

}  // namespace sorvan::cli
