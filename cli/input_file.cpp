#include "cli/input_file.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cli/command_error.h"
#include "cli/named_file.h"
#include "cli/shown_text.h"

namespace sorvan::cli {

InputFile::InputFile(const std::string& path, const ClosedStandardStreams& closed, const OutputTarget& output) {
  if (path.empty()) throw CommandError("INPUT is an empty name: give a file name, or - for standard input");
  const std::optional<int> descriptor = path == "-" ? std::optional<int>(STDIN_FILENO) : DescriptorNamedBy(path);
  if (descriptor) {
    fd_ = *descriptor;
    name_ = path == "-" ? "standard input" : Shown(path);
    if (fd_ == STDIN_FILENO && closed.input) {
      if (path == "-") throw CommandError("INPUT is - but standard input is closed");
      throw CommandError(fmt::format("INPUT {} is standard input, which is closed", name_));
    }
    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags < 0) throw CommandError(fmt::format("INPUT {} names descriptor {}, which is not open", name_, fd_));
    if ((flags & O_ACCMODE) == O_WRONLY) {
      throw CommandError(fmt::format("INPUT {} names descriptor {}, which is not open for reading", name_, fd_));
    }
  } else {
    name_ = Shown(path);
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) RefuseOutputIsInput(output, IdentityOf(st));
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd_ < 0) throw CommandError(fmt::format("cannot open {}: {}", name_, std::strerror(errno)));
    owned_ = true;
  }
  if (const std::optional<FileIdentity> identity = DescriptorIdentity(fd_)) {
    try {
      RefuseOutputIsInput(output, *identity);
    } catch (...) {
      if (owned_) ::close(fd_);
      throw;
    }
  }
}

InputFile::~InputFile() {
  if (owned_) ::close(fd_);
}

}  // namespace sorvan::cli
