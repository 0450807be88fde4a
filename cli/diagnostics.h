// Messages on standard error that can never stop the command: a standard error that is closed,
// full or a broken pipe loses the message and nothing else, so the exit status still tells
// what happened. Nothing here throws, and nothing goes through stdio's buffers.
#pragma once

#include <string_view>

namespace sorvan::cli {

// Writes all of `bytes` to `fd`, retrying short writes and interruptions. A closed pipe is an
// EPIPE like any other error, never a SIGPIPE that ends the process. Returns 0 or the errno.
int WriteAll(int fd, std::string_view bytes) noexcept;

// Writes `bytes` to standard error and gives up silently on any error.
void WriteDiagnostic(std::string_view bytes) noexcept;

// Writes "sorvan: <text>\n" (or `text` and a newline alone when `prefixed` is false), with any
// control character in `text` escaped, so that it is one line whatever it quotes.
void ReportLine(std::string_view text, bool prefixed = true) noexcept;

// A standard stream that was closed when the command started; `-` cannot be used for it.
struct ClosedStandardStreams {
  bool input = false;
  bool output = false;
  bool error = false;
};

// Makes descriptors 0, 1 and 2 open (on /dev/null) when the caller closed them, so that no file
// the command opens later takes their numbers and receives messages or frames meant for them.
ClosedStandardStreams ReserveStandardDescriptors() noexcept;

}  // namespace sorvan::cli
