// Where the filtered stream goes, without ever leaving a partial file under OUTPUT's name.
// A regular (or not yet existing) OUTPUT is written to a temporary file in the same directory
// and renamed over OUTPUT only when the whole run succeeded; `-` is standard output; an OUTPUT
// that exists and is not a regular file (/dev/null, a pipe, a terminal) is written directly and
// never replaced.
#pragma once

#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>

#include "cli/byte_io.h"

namespace sorvan::cli {

struct FileIdentity {
  dev_t device;
  ino_t inode;
};

// The identity of an open descriptor when it is a regular file.
std::optional<FileIdentity> RegularFileIdentity(int fd);

// Refuses an OUTPUT that names the regular file being read (same device and inode); `-` is
// checked through standard output.
void RefuseOutputIsInput(const std::string& outputPath, const std::optional<FileIdentity>& input);

class OutputFile {
 public:
  // Opens OUTPUT as described above; throws CommandError when it cannot be opened.
  explicit OutputFile(const std::string& path);
  ~OutputFile();  // removes the temporary file unless Commit() succeeded
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  ByteSink& sink() { return *sink_; }
  // Flushes the temporary file to the device (fsync), closes it and renames it into place;
  // throws CommandError on failure, after which the destructor removes the temporary file.
  void Commit();
  // The temporary file's path, empty when OUTPUT is written directly.
  const std::string& temporaryPath() const { return tempPath_; }

 private:
  std::string path_;
  std::string tempPath_;
  int fd_ = -1;
  bool ownsFd_ = false;
  bool committed_ = false;
  std::unique_ptr<FdSink> sink_;
};

}  // namespace sorvan::cli
