// INPUT, opened for reading. `-` and any name of a descriptor this process holds (/dev/stdin,
// /dev/fd/N, /proc/self/fd/N) are read through that descriptor, shared with the caller from
// where it stands, as a shell redirect set it up; anything else is opened. An INPUT that is
// OUTPUT's file or FIFO is refused before it is opened, so that opening a FIFO never waits for
// a writer that is this very process.
#pragma once

#include <string>

#include "cli/diagnostics.h"
#include "cli/output_file.h"

namespace sorvan::cli {

class InputFile {
 public:
  InputFile(const std::string& path, const ClosedStandardStreams& closed, const OutputTarget& output);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  int fd() const { return fd_; }
  const std::string& name() const { return name_; }  // for messages, escaped

 private:
  int fd_ = -1;
  bool owned_ = false;
  std::string name_;
};

}  // namespace sorvan::cli
