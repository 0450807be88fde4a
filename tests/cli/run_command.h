// Runs a built program with redirected standard streams, for the tests of the command.
#pragma once

#include <sys/resource.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace sorvan::cli::testing {

struct CommandResult {
  int exitStatus = -1;     // -1 when the program did not exit normally
  int signal = 0;          // the signal that ended it, if one did
  std::string out;         // standard output, unless it went to a file
  std::string err;         // standard error
  struct rusage usage {};  // of the program alone
};

// The words that start `program`: a program of this build (the command, the sample tool) runs
// under the emulator when the build is for another architecture; others, such as the shell, as
// they are.
std::vector<std::string> ProgramLine(const std::string& program);

// Runs `program` with `args`; standard input from `stdinPath`, standard output to `stdoutPath`
// when given (else captured), standard error captured. `inChild` runs in the child just before
// the program starts, after the redirections (to close or replace a stream, set limits or
// signal dispositions); it must only make system calls.
CommandResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& stdinPath = "/dev/null", const std::string& stdoutPath = "",
                         const std::function<void()>& inChild = {});

std::string ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes);

// A fresh directory under the system's temporary directory, removed on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
  // Names of the entries in the directory, sorted.
  std::vector<std::string> Entries() const;

 private:
  std::filesystem::path path_;
};

}  // namespace sorvan::cli::testing
