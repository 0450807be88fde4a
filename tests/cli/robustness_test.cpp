// The command under hostile conditions: a standard error it cannot write, signals (also ones the
// caller ignores), a file-size limit, and a header that promises huge frames.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "run_command.h"

namespace sorvan::cli {
namespace {

using testing::CommandResult;
using testing::ReadFileBytes;
using testing::RunProgram;
using testing::TempDir;
using testing::WriteFileBytes;

std::string Y4mStream(int frames) {
  std::string s = "YUV4MPEG2 W64 H40 F25:1 C420jpeg\n";
  for (int f = 0; f < frames; ++f) {
    s += "FRAME\n";
    for (int i = 0; i < 64 * 40 * 3 / 2; ++i) s.push_back(static_cast<char>((i * 7 + f * 13) % 97 + 60));
  }
  return s;
}

// What standard error is in the child.
enum class BrokenStderr { kClosed, kFull, kBrokenPipe };

void BreakStderr(BrokenStderr how) {
  switch (how) {
    case BrokenStderr::kClosed: ::close(2); break;
    case BrokenStderr::kFull: {
      const int fd = ::open("/dev/full", O_WRONLY);
      ::dup2(fd, 2);
      ::close(fd);
      break;
    }
    case BrokenStderr::kBrokenPipe: {
      int fds[2];
      if (::pipe(fds) != 0) ::_exit(126);
      ::close(fds[0]);
      ::dup2(fds[1], 2);
      ::close(fds[1]);
      ::signal(SIGPIPE, SIG_DFL);  // as a shell would leave it
      break;
    }
  }
}

class UnwritableStandardError : public ::testing::TestWithParam<BrokenStderr> {};

TEST_P(UnwritableStandardError, LosesTheMessageAndNothingElse) {
  const BrokenStderr how = GetParam();
  TempDir dir;
  const std::string input = Y4mStream(3);
  WriteFileBytes(dir / "in.y4m", input);
  const CommandResult reference = RunProgram(SORVAN_COMMAND, {(dir / "in.y4m").string(), (dir / "ref.y4m").string()});
  ASSERT_EQ(reference.exitStatus, 0) << reference.err;

  // Success, with a summary line that cannot be written.
  const CommandResult ok =
      RunProgram(SORVAN_COMMAND, {"--threads", "2", (dir / "in.y4m").string(), (dir / "out.y4m").string()}, "/dev/null",
                 "", [how] { BreakStderr(how); });
  EXPECT_EQ(ok.signal, 0);
  EXPECT_EQ(ok.exitStatus, 0);
  EXPECT_TRUE(ReadFileBytes(dir / "out.y4m") == ReadFileBytes(dir / "ref.y4m"));
  EXPECT_TRUE(ReadFileBytes(dir / "in.y4m") == input) << "the input was written to";

  // Failures of every kind: bad options, bad input, bad filter arguments, a write error.
  WriteFileBytes(dir / "cut.y4m", input.substr(0, input.size() - 10));
  const std::vector<std::vector<std::string>> failures = {
      {"--rad", "0x3", (dir / "in.y4m").string(), (dir / "bad1").string()},
      {(dir / "cut.y4m").string(), (dir / "bad2").string()},
      {"--rad", "9", (dir / "in.y4m").string(), (dir / "bad3").string()},
      {(dir / "in.y4m").string(), "/dev/full"},
      {(dir / "missing.y4m").string(), (dir / "bad4").string()},
  };
  for (const auto& args : failures) {
    const CommandResult r = RunProgram(SORVAN_COMMAND, args, "/dev/null", "", [how] { BreakStderr(how); });
    EXPECT_EQ(r.signal, 0) << args[0] << " " << args[1];
    EXPECT_EQ(r.exitStatus, 1) << args[0] << " " << args[1];
  }
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"cut.y4m", "in.y4m", "out.y4m", "ref.y4m"}));
}
INSTANTIATE_TEST_SUITE_P(All, UnwritableStandardError,
                         ::testing::Values(BrokenStderr::kClosed, BrokenStderr::kFull, BrokenStderr::kBrokenPipe),
                         [](const ::testing::TestParamInfo<BrokenStderr>& info) {
                           switch (info.param) {
                             case BrokenStderr::kClosed: return std::string("Closed");
                             case BrokenStderr::kFull: return std::string("Full");
                             case BrokenStderr::kBrokenPipe: return std::string("BrokenPipe");
                           }
                           return std::string();
                         });

TEST(ClosedStandardStreams, AreRefusedAsInputOrOutputAndNeverReused) {
  TempDir dir;
  WriteFileBytes(dir / "in.y4m", Y4mStream(1));
  const CommandResult in =
      RunProgram(SORVAN_COMMAND, {"-", (dir / "out.y4m").string()}, "/dev/null", "", [] { ::close(0); });
  EXPECT_EQ(in.exitStatus, 1);
  EXPECT_EQ(in.err, "sorvan: INPUT is - but standard input is closed\n");
  const CommandResult out =
      RunProgram(SORVAN_COMMAND, {(dir / "in.y4m").string(), "-"}, "/dev/null", "", [] { ::close(1); });
  EXPECT_EQ(out.exitStatus, 1);
  EXPECT_EQ(out.err, "sorvan: OUTPUT is - but standard output is closed\n");
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"in.y4m"});
}

// --help, --version and --format help: their text, or status 1 and the reason when standard
// output is closed or full.
TEST(Help, ThatCannotBeWrittenIsAFailure) {
  const std::pair<std::vector<std::string>, std::string> texts[] = {
      {{"--help"}, "the help"}, {{"--version"}, "the version"}, {{"--format", "help"}, "the list of formats"}};
  for (const auto& [args, subject] : texts) {
    const CommandResult ok = RunProgram(SORVAN_COMMAND, args);
    EXPECT_EQ(ok.exitStatus, 0);
    EXPECT_GT(ok.out.size(), 10u);
    const CommandResult full = RunProgram(SORVAN_COMMAND, args, "/dev/null", "/dev/full");
    EXPECT_EQ(full.exitStatus, 1);
    EXPECT_EQ(full.err, "sorvan: cannot write " + subject + " to standard output: No space left on device\n");
    const CommandResult closed = RunProgram(SORVAN_COMMAND, args, "/dev/null", "", [] { ::close(1); });
    EXPECT_EQ(closed.exitStatus, 1);
    EXPECT_EQ(closed.err, "sorvan: cannot write " + subject + " to standard output: it is closed\n");
  }
}

// Starts the command on a FIFO, feeds it a header and a frame, and waits for its temporary file.
struct RunningCommand {
  pid_t pid = -1;
  int feed = -1;
};

RunningCommand StartOnFifo(const TempDir& dir, void (*inChild)()) {
  const auto fifo = dir / "in.y4m";
  EXPECT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string out = (dir / "out.y4m").string();
  RunningCommand run;
  run.pid = ::fork();
  if (run.pid == 0) {
    const int devnull = ::open("/dev/null", O_WRONLY);
    ::dup2(devnull, 2);
    const struct rlimit noCore = {0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    inChild();
    ::execl(SORVAN_COMMAND, SORVAN_COMMAND, "--quiet", fifo.c_str(), out.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  run.feed = ::open(fifo.c_str(), O_WRONLY);
  EXPECT_GE(run.feed, 0);
  const std::string start = Y4mStream(1);
  EXPECT_EQ(::write(run.feed, start.data(), start.size()), static_cast<ssize_t>(start.size()));
  bool sawTemporary = false;
  for (int i = 0; i < 1000 && !sawTemporary; ++i) {
    sawTemporary = dir.Entries().size() == 2;
    if (!sawTemporary) ::usleep(10000);
  }
  EXPECT_TRUE(sawTemporary) << "the command made no temporary output file";
  return run;
}

class EndingSignal : public ::testing::TestWithParam<int> {};

TEST_P(EndingSignal, RemovesTheTemporaryFileAndEndsByTheSignal) {
  const int sig = GetParam();
  TempDir dir;
  const RunningCommand run = StartOnFifo(dir, [] {});
  ::kill(run.pid, sig);
  int status = 0;
  ::waitpid(run.pid, &status, 0);
  ::close(run.feed);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << "status " << status;
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"in.y4m"});
}
INSTANTIATE_TEST_SUITE_P(All, EndingSignal,
                         ::testing::Values(SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGXFSZ, SIGALRM, SIGUSR1,
                                           SIGUSR2, SIGVTALRM),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return std::string(sigabbrev_np(info.param));
                         });

TEST(IgnoredSignals, StayIgnored) {
  TempDir dir;
  const RunningCommand run = StartOnFifo(dir, [] {
    ::signal(SIGHUP, SIG_IGN);  // nohup
    ::signal(SIGUSR1, SIG_IGN);
  });
  ::kill(run.pid, SIGHUP);
  ::kill(run.pid, SIGUSR1);
  ::usleep(100000);
  // Still running: the rest of the stream goes through and the output is complete.
  const std::string all = Y4mStream(3);
  const std::string rest = all.substr(Y4mStream(1).size());
  EXPECT_EQ(::write(run.feed, rest.data(), rest.size()), static_cast<ssize_t>(rest.size()));
  ::close(run.feed);
  int status = 0;
  ::waitpid(run.pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"in.y4m", "out.y4m"}));
  EXPECT_EQ(ReadFileBytes(dir / "out.y4m").size(), all.size());
}

TEST(FileSizeLimit, IsAWriteErrorThatLeavesNothing) {
  TempDir dir;
  WriteFileBytes(dir / "in.y4m", Y4mStream(40));
  const CommandResult r =
      RunProgram(SORVAN_COMMAND, {(dir / "in.y4m").string(), (dir / "out.y4m").string()}, "/dev/null", "", [] {
        const struct rlimit limit = {100000, 100000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
      });
  EXPECT_EQ(r.signal, 0);
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_NE(r.err.find("File too large"), std::string::npos) << r.err;
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"in.y4m"});
}

// The Nth thread cannot be started (counting the signal-waiting thread as 1, the writing thread
// as 2, then the workers): the threads already running are stopped and joined, the temporary
// output is removed, and one line says what failed.
struct ThreadFailureCase {
  int failAt;
  const char* message;
};
class ThreadStartFailure : public ::testing::TestWithParam<ThreadFailureCase> {};

TEST_P(ThreadStartFailure, IsAnErrorLikeAnyOther) {
  TempDir dir;
  WriteFileBytes(dir / "in.y4m", Y4mStream(12));
  const std::string failAt = std::to_string(GetParam().failAt);
  const CommandResult r =
      RunProgram(SORVAN_COMMAND, {"--threads", "3", (dir / "in.y4m").string(), (dir / "out.y4m").string()}, "/dev/null",
                 "", [&failAt] {
                   ::setenv("SORVAN_TEST_FAIL_THREAD", failAt.c_str(), 1);
                   ::setenv("LD_PRELOAD", SORVAN_FAIL_THREAD_START, 1);
                   // The sanitizer runtime need not come first for this.
                   ::setenv("ASAN_OPTIONS", "verify_asan_link_order=0", 1);
                 });
  EXPECT_EQ(r.signal, 0);
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.err, std::string("sorvan: ") + GetParam().message + ": " + std::strerror(EAGAIN) + "\n");
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"in.y4m"});
}
INSTANTIATE_TEST_SUITE_P(All, ThreadStartFailure,
                         ::testing::Values(ThreadFailureCase{1, "cannot start the thread that handles signals"},
                                           ThreadFailureCase{2, "cannot start the writing thread"},
                                           ThreadFailureCase{3, "cannot start worker thread 1 of 3"},
                                           ThreadFailureCase{5, "cannot start worker thread 3 of 3"}));

// A header that promises frames of 16384 × 4096 (96 MiB a frame in 4:2:0) costs nothing until
// a frame comes, and then what that frame needs, however many threads are asked for.
TEST(MemoryBound, FollowsTheFramesNotTheHeader) {
  const std::string header = "YUV4MPEG2 W16384 H4096 C420\n";
  ASSERT_EQ(header.size(), 28u);
  const int64_t frameBytes = int64_t{16384} * 4096 * 3 / 2;
  TempDir dir;
  WriteFileBytes(dir / "empty.y4m", header);
  const CommandResult empty =
      RunProgram(SORVAN_COMMAND, {"--threads", "64", (dir / "empty.y4m").string(), (dir / "empty-out.y4m").string()});
  ASSERT_EQ(empty.exitStatus, 0) << empty.err;
  // Against what the command costs doing nothing at all (a sanitizer build alone needs tens of MiB).
  const CommandResult idle = RunProgram(SORVAN_COMMAND, {"--version"});
  ASSERT_EQ(idle.exitStatus, 0) << idle.err;
  const int64_t emptyBytes = (int64_t{empty.usage.ru_maxrss} - int64_t{idle.usage.ru_maxrss}) * 1024;
  EXPECT_LT(emptyBytes, frameBytes / 8) << "no frame came, yet " << emptyBytes << " bytes more were used";

  std::string oneFrame = header + "FRAME\n";
  oneFrame.append(static_cast<size_t>(frameBytes), '\x80');
  WriteFileBytes(dir / "one.y4m", oneFrame);
  oneFrame.clear();
  oneFrame.shrink_to_fit();
  const CommandResult one =
      RunProgram(SORVAN_COMMAND, {"--threads", "64", (dir / "one.y4m").string(), (dir / "one-out.y4m").string()});
  ASSERT_EQ(one.exitStatus, 0) << one.err;
  const int64_t oneBytes = int64_t{one.usage.ru_maxrss} * 1024;
  // The frame in, the frame out, and the one worker's scratch: well under three frames.
  EXPECT_LT(oneBytes, 3 * frameBytes) << oneBytes << " bytes for one frame of " << frameBytes;
}

}  // namespace
}  // namespace sorvan::cli
