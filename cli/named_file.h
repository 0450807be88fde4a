// What a file name given on the command line leads to, found without opening anything: a
// descriptor this process already holds (/dev/stdout, /dev/fd/N, /proc/self/fd/N…), or the
// file at the end of its chain of symbolic links, and which file that is.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <optional>
#include <string>

namespace sorvan::cli {

struct FileIdentity {
  dev_t device;
  ino_t inode;
  mode_t type;  // st_mode & S_IFMT
};

FileIdentity IdentityOf(const struct stat& st);
// The identity of an open descriptor; nullopt when fstat fails.
std::optional<FileIdentity> DescriptorIdentity(int fd);

// The descriptor `path` names when it leads into this process's own descriptor folder
// (/proc/<pid>/fd, also through /dev/fd, /dev/stdout, /proc/self or /proc/thread-self).
// Opening such a path would make a new, unshared opening of the file (from its start, without
// O_APPEND); the command uses the descriptor itself instead. nullopt for any other path.
std::optional<int> DescriptorNamedBy(const std::string& path);

// `path` with its last component's symbolic links followed (relative targets from the link's
// folder) to a file that is not a link, or to a name that does not exist yet. Throws
// CommandError for a loop or a path that cannot be looked up, naming `path` and the reason.
struct LinkTarget {
  std::string path;
  std::optional<struct stat> status;  // nullopt when nothing exists there yet
};
LinkTarget FollowLinks(const std::string& path);

// The folder part and the last component of a path ("." for a bare name).
std::string FolderOf(const std::string& path);
std::string LastComponentOf(const std::string& path);

}  // namespace sorvan::cli
