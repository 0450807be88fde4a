// The one kind of failure the command reports: a single line on standard error and a non-zero
// exit status. Everything below main() throws it with the whole message already worded.
#pragma once

#include <stdexcept>
#include <string>

namespace sorvan::cli {

class CommandError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The core refused the filter's arguments or the SORVAN_MAX_ISA setting; the message is the
// plug-in's own and is printed verbatim, without the command's prefix.
class FilterArgumentError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// --help, --version, --format help: not a failure; the text goes to standard output.
class HelpRequested : public std::runtime_error {
 public:
  // `subject` says what the text is, for a message when it cannot be written ("the help").
  HelpRequested(const std::string& text, const char* subject) : std::runtime_error(text), subject_(subject) {}
  const char* subject() const { return subject_; }

 private:
  const char* subject_;
};

}  // namespace sorvan::cli
