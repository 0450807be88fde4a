#include "cli/output_file.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "cli/command_error.h"

namespace sorvan::cli {
namespace {

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The mode a newly created file gets from the process's umask (mkstemp makes 0600 files).
mode_t DefaultFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

std::optional<FileIdentity> RegularFileIdentity(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return FileIdentity{st.st_dev, st.st_ino};
}

void RefuseOutputIsInput(const std::string& outputPath, const std::optional<FileIdentity>& input) {
  if (!input) return;
  struct stat st {};
  const int rc = outputPath == "-" ? ::fstat(STDOUT_FILENO, &st) : ::stat(outputPath.c_str(), &st);
  if (rc != 0 || !S_ISREG(st.st_mode)) return;
  if (st.st_dev == input->device && st.st_ino == input->inode) {
    throw CommandError(fmt::format("output {} is the input file; write to another file", outputPath));
  }
}

OutputFile::OutputFile(const std::string& path) : path_(path) {
  if (path == "-") {
    fd_ = STDOUT_FILENO;
    sink_ = std::make_unique<FdSink>(fd_, "standard output");
    return;
  }
  struct stat st {};
  const bool exists = ::stat(path.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd_ < 0) throw CommandError(fmt::format("cannot open {} for writing: {}", path, std::strerror(errno)));
    ownsFd_ = true;
    sink_ = std::make_unique<FdSink>(fd_, path);
    return;
  }
  // A symbolic link to a file is followed: the file it names is replaced, the link stays.
  struct stat linkSt {};
  if (exists && ::lstat(path.c_str(), &linkSt) == 0 && S_ISLNK(linkSt.st_mode)) {
    std::error_code ec;
    const std::filesystem::path target = std::filesystem::canonical(path, ec);
    if (!ec) path_ = target.string();
  }
  std::string pattern = fmt::format("{}/.{}.sorvan-XXXXXX", DirectoryOf(path_), BaseNameOf(path_));
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  fd_ = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd_ < 0) {
    throw CommandError(fmt::format("cannot create a temporary file beside {}: {}", path, std::strerror(errno)));
  }
  ownsFd_ = true;
  tempPath_ = name.data();
  // Keep a replaced file's permissions; a new file gets the usual ones.
  ::fchmod(fd_, exists ? (st.st_mode & 07777) : DefaultFileMode());
  sink_ = std::make_unique<FdSink>(fd_, path);
}

OutputFile::~OutputFile() {
  if (ownsFd_ && fd_ >= 0) ::close(fd_);
  if (!committed_ && !tempPath_.empty()) ::unlink(tempPath_.c_str());
}

void OutputFile::Commit() {
  sink_->Flush();
  // The data reaches the device before the name does, so a crash or power loss after the rename
  // cannot leave OUTPUT naming a file whose contents were never written.
  if (!tempPath_.empty() && ::fsync(fd_) != 0) {
    throw CommandError(fmt::format("cannot write {}: {}", path_, std::strerror(errno)));
  }
  if (ownsFd_) {
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) throw CommandError(fmt::format("cannot write {}: {}", path_, std::strerror(errno)));
  }
  if (!tempPath_.empty() && ::rename(tempPath_.c_str(), path_.c_str()) != 0) {
    throw CommandError(
        fmt::format("cannot rename the finished output into place as {}: {}", path_, std::strerror(errno)));
  }
  committed_ = true;
  if (!tempPath_.empty()) {
    // The rename itself is made durable too, as far as the file system allows.
    const int dir = ::open(DirectoryOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
      ::fsync(dir);
      ::close(dir);
    }
  }
}

}  // namespace sorvan::cli
