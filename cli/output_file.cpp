#include "cli/output_file.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "cli/command_error.h"
#include "cli/shown_text.h"

namespace sorvan::cli {
namespace {

// The mode a newly created file gets from the process's umask (the temporary file starts 0600).
mode_t DefaultFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

std::string Errno(int error) { return std::strerror(error); }

// The name as given, and where its links lead when that is elsewhere.
std::string Described(const OutputTarget& t) {
  if (t.path.empty() || t.path == t.given) return Shown(t.given);
  return fmt::format("{} (a link to {})", Shown(t.given), Shown(t.path));
}

OutputTarget ResolveDescriptor(const std::string& path, int fd, const char* role, const ClosedStandardStreams& closed) {
  static constexpr const char* kStandard[] = {"standard input", "standard output", "standard error"};
  const bool wasClosed = (fd == 0 && closed.input) || (fd == 1 && closed.output) || (fd == 2 && closed.error);
  if (wasClosed) {
    if (path == "-") throw CommandError(fmt::format("{} is - but standard output is closed", role));
    throw CommandError(fmt::format("{} {} is {}, which is closed", role, Shown(path), kStandard[fd]));
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0) throw CommandError(fmt::format("{} {} names descriptor {}, which is not open", role, Shown(path), fd));
  if ((flags & O_ACCMODE) == O_RDONLY) {
    throw CommandError(fmt::format("{} {} names descriptor {}, which is not open for writing", role, Shown(path), fd));
  }
  OutputTarget target;
  target.kind = OutputTarget::Kind::kDescriptor;
  target.given = path;
  target.descriptor = fd;
  struct stat st {};
  if (::fstat(fd, &st) == 0) target.status = st;
  return target;
}

// What decides whether a new file can be made in the target's folder and renamed over the target.
void CheckFolder(const OutputTarget& t) {
  const std::string folder = FolderOf(t.path);
  struct stat dir {};
  if (::stat(folder.c_str(), &dir) != 0) {
    throw CommandError(fmt::format("cannot write {}: its folder {}: {}", Described(t), Shown(folder), Errno(errno)));
  }
  if (!S_ISDIR(dir.st_mode)) {
    throw CommandError(fmt::format("cannot write {}: {} is not a folder", Described(t), Shown(folder)));
  }
  if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
    throw CommandError(fmt::format(
        "cannot write {}: its folder {} cannot be written ({}), and sorvan writes the file there under a temporary "
        "name first",
        Described(t), Shown(folder), Errno(errno)));
  }
  const long nameMax = ::pathconf(folder.c_str(), _PC_NAME_MAX);
  if (nameMax > 0 && LastComponentOf(t.path).size() > static_cast<size_t>(nameMax)) {
    throw CommandError(fmt::format("cannot write {}: {}", Described(t), Errno(ENAMETOOLONG)));
  }
  // In a sticky folder only the file's owner, the folder's owner or root may replace a file.
  const uid_t self = ::geteuid();
  if ((dir.st_mode & S_ISVTX) != 0 && t.status && t.status->st_uid != self && dir.st_uid != self && self != 0) {
    throw CommandError(
        fmt::format("cannot replace {}: it belongs to another user in the sticky folder {}, where only its owner may "
                    "replace it; write to another name",
                    Described(t), Shown(folder)));
  }
}

// A name for the temporary file that fits the folder's limit for one name whatever the target's
// length: the target's name cut short (at a character boundary), then ".sorvan-" and six
// random letters.
std::string TemporaryName(const std::string& target, size_t nameMax) {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  static constexpr size_t kSuffix = 6;
  const std::string marker = ".sorvan-";
  size_t keep = std::min(target.size(), nameMax - 1 - marker.size() - kSuffix);
  while (keep > 0 && keep < target.size() && (static_cast<unsigned char>(target[keep]) & 0xc0) == 0x80) --keep;
  unsigned char random[kSuffix] = {};
  if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
    const auto seed = static_cast<uint64_t>(::time(nullptr)) ^ (static_cast<uint64_t>(::getpid()) << 20) ^
                      reinterpret_cast<uintptr_t>(&random);
    for (size_t i = 0; i < kSuffix; ++i) random[i] = static_cast<unsigned char>(seed >> (8 * i));
  }
  std::string name(1, '.');
  name.append(target, 0, keep);
  name += marker;
  for (const unsigned char r : random) name.push_back(kLetters[r % (sizeof kLetters - 1)]);
  return name;
}

}  // namespace

OutputTarget ResolveOutput(const std::string& path, const char* role, const ClosedStandardStreams& closed) {
  if (path.empty()) {
    throw CommandError(fmt::format("{} is an empty name: give a file name, or - for standard output", role));
  }
  if (path == "-") return ResolveDescriptor(path, STDOUT_FILENO, role, closed);
  if (const std::optional<int> fd = DescriptorNamedBy(path)) return ResolveDescriptor(path, *fd, role, closed);

  OutputTarget target;
  target.given = path;
  LinkTarget end = FollowLinks(path);
  target.path = end.path;
  target.status = end.status;
  if (LastComponentOf(target.path).empty() || (target.status && S_ISDIR(target.status->st_mode))) {
    throw CommandError(fmt::format("cannot write {}: {}", Described(target), Errno(EISDIR)));
  }
  // As `> file` would: a file this user may not write is not replaced either.
  if (target.status && ::faccessat(AT_FDCWD, target.path.c_str(), W_OK, AT_EACCESS) != 0) {
    const int error = errno;
    const bool protectedFile = error == EACCES && S_ISREG(target.status->st_mode);
    throw CommandError(fmt::format("cannot write {}: {}{}", Described(target), Errno(error),
                                   protectedFile ? " (the file is write-protected)" : ""));
  }
  if (target.status && !S_ISREG(target.status->st_mode)) {
    target.kind = OutputTarget::Kind::kExisting;
    return target;
  }
  CheckFolder(target);
  return target;
}

void RefuseOutputIsInput(const OutputTarget& output, const FileIdentity& input) {
  if (!output.status) return;
  const FileIdentity out = IdentityOf(*output.status);
  if (out.device != input.device || out.inode != input.inode) return;
  if (input.type == S_IFREG) {
    throw CommandError(fmt::format("output {} is the input file; write to another file", Shown(output.given)));
  }
  if (input.type == S_IFIFO) {
    throw CommandError(fmt::format(
        "output {} is the FIFO or pipe the input is read from: sorvan would read back what it writes; use another one",
        Shown(output.given)));
  }
}

OutputFile::OutputFile(const OutputTarget& target, InterruptCleanup* cleanup) : target_(target), cleanup_(cleanup) {
  const std::string shown = target.kind == OutputTarget::Kind::kDescriptor && target.given == "-"
                                ? std::string("standard output")
                                : Shown(target.given);
  switch (target.kind) {
    case OutputTarget::Kind::kDescriptor: fd_ = target.descriptor; break;
    case OutputTarget::Kind::kExisting:
      fd_ = ::open(target.path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
      if (fd_ < 0) throw CommandError(fmt::format("cannot open {} for writing: {}", Described(target), Errno(errno)));
      ownsFd_ = true;
      break;
    case OutputTarget::Kind::kReplaced: {
      const std::string folder = FolderOf(target.path);
      folder_ = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
      if (folder_ < 0) {
        throw CommandError(
            fmt::format("cannot write {}: its folder {}: {}", Described(target), Shown(folder), Errno(errno)));
      }
      const long nameMax = ::fpathconf(folder_, _PC_NAME_MAX);
      const auto create = [&] {
        int error = EEXIST;
        for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
          std::string name = TemporaryName(LastComponentOf(target.path), nameMax > 16 ? nameMax : 255);
          fd_ = ::openat(folder_, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
          if (fd_ >= 0) {
            temporaryName_ = std::move(name);
            return temporaryName_;
          }
          error = errno;
        }
        ::close(folder_);
        folder_ = -1;
        throw CommandError(
            fmt::format("cannot create a temporary file beside {}: {}", Described(target), Errno(error)));
      };
      if (cleanup_ != nullptr) {
        cleanup_->CreateTemporaryFile(folder_, create);
      } else {
        create();
      }
      ownsFd_ = true;
      // A replaced file keeps its owner (where this user may give it) and its permissions; a new
      // file gets the usual ones.
      if (target.status) {
        const struct stat& st = *target.status;
        if (st.st_uid != ::geteuid() || st.st_gid != ::getegid()) (void)::fchown(fd_, st.st_uid, st.st_gid);
      }
      ::fchmod(fd_, target.status ? (target.status->st_mode & 07777) : DefaultFileMode());
      break;
    }
  }
  sink_ = std::make_unique<FdSink>(fd_, shown);
}

void OutputFile::RemoveTemporary() {
  const auto remove = [this] {
    ::unlinkat(folder_, temporaryName_.c_str(), 0);
    return true;
  };
  if (cleanup_ != nullptr) {
    cleanup_->FinishTemporaryFile(remove);
  } else {
    remove();
  }
  temporaryName_.clear();
}

OutputFile::~OutputFile() {
  if (ownsFd_ && fd_ >= 0) ::close(fd_);
  if (!temporaryName_.empty()) RemoveTemporary();
  if (folder_ >= 0) ::close(folder_);
}

void OutputFile::Commit() {
  sink_->Flush();
  const bool temporary = !temporaryName_.empty();
  // The data reaches the device before the name does, so a crash or power loss after the rename
  // cannot leave OUTPUT naming a file whose contents were never written.
  if (temporary && ::fsync(fd_) != 0) {
    throw CommandError(fmt::format("cannot write {}: {}", Described(target_), Errno(errno)));
  }
  if (ownsFd_) {
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) throw CommandError(fmt::format("cannot write {}: {}", Described(target_), Errno(errno)));
  }
  if (!temporary) return;
  const std::string name = LastComponentOf(target_.path);
  int error = 0;
  const auto rename = [&] {
    error = ::renameat(folder_, temporaryName_.c_str(), folder_, name.c_str()) == 0 ? 0 : errno;
    return error == 0;
  };
  if (cleanup_ != nullptr) {
    cleanup_->FinishTemporaryFile(rename);
  } else {
    rename();
  }
  if (error != 0) {
    throw CommandError(
        fmt::format("cannot rename the finished output into place as {}: {}", Described(target_), Errno(error)));
  }
  temporaryName_.clear();
  // The rename itself is made durable too, as far as the file system allows.
  const int dir = ::openat(folder_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

}  // namespace sorvan::cli
