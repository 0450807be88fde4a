// Where the filtered stream (or the picture) goes, decided and checked before the first frame is
// read, and written without ever destroying what the command did not write:
// - `-`, and any name of a descriptor this process holds (/dev/stdout, /dev/fd/N,
//   /proc/self/fd/N), is written through that descriptor, in place, as a shell redirect set it
//   up (appending where it appends);
// - an existing file that is not a regular file (/dev/null, a FIFO, a terminal) is opened and
//   written directly, never replaced;
// - anything else is a regular file, new or replaced: symbolic links are followed to their
//   target, a temporary file is written beside the target, flushed to the device and renamed
//   over it only when the whole run succeeded.
// Refused up front, with the reason: an empty name, a folder, a loop of links, a write-protected
// file (as `> file` would be), a folder that is missing or cannot be written, a file another
// user owns in a sticky folder (the rename could not replace it), a closed or read-only
// descriptor.
#pragma once

#include <sys/stat.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "cli/byte_io.h"
#include "cli/diagnostics.h"
#include "cli/interrupt_cleanup.h"
#include "cli/named_file.h"

namespace sorvan::cli {

struct OutputTarget {
  enum class Kind { kDescriptor, kExisting, kReplaced };
  Kind kind = Kind::kReplaced;
  std::string given;                  // the name as given, for messages
  int descriptor = -1;                // kDescriptor
  std::string path;                   // kExisting: the file; kReplaced: the target, links followed
  std::optional<struct stat> status;  // of what is there now; nullopt for a new file
};

// Decides where `path` goes and checks that it can; `role` names it in messages ("OUTPUT",
// "PICTURE"). Opens nothing and creates nothing. Throws CommandError with the reason.
OutputTarget ResolveOutput(const std::string& path, const char* role, const ClosedStandardStreams& closed);

// Refuses INPUT and OUTPUT that are the same regular file or FIFO (under any name, through a
// link or a descriptor): writing would destroy the input, or read back what is written.
void RefuseOutputIsInput(const OutputTarget& output, const FileIdentity& input);

class OutputFile {
 public:
  // Opens the target: the descriptor as it is, the existing file for writing, or a new
  // temporary file beside the target, registered with `cleanup` (if any) so that a signal
  // removes it. Throws CommandError when that fails.
  OutputFile(const OutputTarget& target, InterruptCleanup* cleanup);
  ~OutputFile();  // removes the temporary file unless Commit() succeeded
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  ByteSink& sink() { return *sink_; }
  // Writes out what is buffered; for a temporary file also flushes it to the device (fsync),
  // and renames it into place. Throws CommandError on failure, after which the destructor
  // removes the temporary file.
  void Commit();
  // The temporary file's name in its folder; empty when the target is written directly.
  const std::string& temporaryName() const { return temporaryName_; }

 private:
  void RemoveTemporary();

  OutputTarget target_;
  InterruptCleanup* cleanup_;
  int folder_ = -1;  // the target's folder (O_PATH), for a temporary file
  std::string temporaryName_;
  int fd_ = -1;
  bool ownsFd_ = false;
  std::unique_ptr<FdSink> sink_;
};

}  // namespace sorvan::cli
