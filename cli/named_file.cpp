#include "cli/named_file.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "cli/command_error.h"
#include "cli/shown_text.h"

namespace sorvan::cli {
namespace {

// As many links as the kernel follows in one lookup before it reports a loop.
constexpr int kMaxLinks = 40;

bool AllDigits(const std::string& text) {
  return !text.empty() && text.size() <= 9 && text.find_first_not_of("0123456789") == std::string::npos;
}

// Whether `folder` is this process's descriptor folder: /proc/<pid>/fd or /proc/<pid>/task/<tid>/fd.
bool IsOwnDescriptorFolder(const std::string& folder) {
  const std::unique_ptr<char, decltype(&std::free)> real(::realpath(folder.c_str(), nullptr), &std::free);
  if (!real) return false;
  const std::string path = real.get();
  const std::string own = fmt::format("/proc/{}/", ::getpid());
  if (path.rfind(own, 0) != 0) return false;
  const std::string rest = path.substr(own.size());
  if (rest == "fd") return true;
  const std::string task = "task/";
  if (rest.rfind(task, 0) != 0 || rest.size() < task.size() + 3 || rest.substr(rest.size() - 3) != "/fd") return false;
  return AllDigits(rest.substr(task.size(), rest.size() - task.size() - 3));
}

std::string ReadLink(const std::string& path) {
  std::string target(PATH_MAX, '\0');
  const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
  if (n < 0) return {};
  target.resize(static_cast<size_t>(n));
  return target;
}

std::string Join(const std::string& folder, const std::string& target) {
  if (!target.empty() && target[0] == '/') return target;
  return folder == "/" ? "/" + target : folder + "/" + target;
}

}  // namespace

FileIdentity IdentityOf(const struct stat& st) { return {st.st_dev, st.st_ino, st.st_mode & S_IFMT}; }

std::optional<FileIdentity> DescriptorIdentity(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return std::nullopt;
  return IdentityOf(st);
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  const size_t end = path.find_last_not_of('/', slash);
  return end == std::string::npos ? "/" : path.substr(0, end + 1);
}

std::string LastComponentOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::optional<int> DescriptorNamedBy(const std::string& path) {
  std::string current = path;
  for (int link = 0; link <= kMaxLinks; ++link) {
    const std::string name = LastComponentOf(current);
    if (AllDigits(name) && IsOwnDescriptorFolder(FolderOf(current))) return std::stoi(name);
    struct stat st {};
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return std::nullopt;
    const std::string target = ReadLink(current);
    if (target.empty()) return std::nullopt;
    current = Join(FolderOf(current), target);
  }
  return std::nullopt;
}

LinkTarget FollowLinks(const std::string& path) {
  LinkTarget result{path, std::nullopt};
  for (int link = 0; link <= kMaxLinks; ++link) {
    struct stat st {};
    if (::lstat(result.path.c_str(), &st) != 0) {
      if (errno == ENOENT) return result;
      throw CommandError(fmt::format("cannot write {}: {}", Shown(path), std::strerror(errno)));
    }
    if (!S_ISLNK(st.st_mode)) {
      result.status = st;
      return result;
    }
    const std::string target = ReadLink(result.path);
    if (target.empty()) {
      throw CommandError(fmt::format("cannot write {}: {}", Shown(path), std::strerror(errno)));
    }
    result.path = Join(FolderOf(result.path), target);
  }
  throw CommandError(
      fmt::format("cannot write {}: it is a loop of symbolic links ({})", Shown(path), std::strerror(ELOOP)));
}

}  // namespace sorvan::cli
