// OUTPUT and INPUT as a shell hands them over: redirections, descriptors, links, protection,
// sticky folders, FIFOs, long and strange names. Each case is a line of shell run in a fresh
// folder holding in.y4m, then every file there is checked: what the command wrote, what it was
// to leave alone, and that no temporary file stayed behind.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "run_command.h"

namespace sorvan::cli {
namespace {

using testing::CommandResult;
using testing::ReadFileBytes;
using testing::RunProgram;
using testing::TempDir;
using testing::WriteFileBytes;

// Stands for the filtered stream in expected contents.
const std::string kStream = "<stream>";

std::string Y4m() {
  std::string s = "YUV4MPEG2 W32 H16 F25:1 C420jpeg\n";
  for (int f = 0; f < 2; ++f) {
    s += "FRAME\n";
    for (int i = 0; i < 32 * 16 * 3 / 2; ++i) s.push_back(static_cast<char>((i * 7 + f * 13) % 23 + 100));
  }
  return s;
}

struct ShellCase {
  const char* name;
  std::string script;  // $S is the command (bounded in time), $RUNAS makes what follows run unprivileged
  int status;
  std::string message;                                     // a part of standard error; empty: nothing on it
  std::vector<std::pair<std::string, std::string>> files;  // every file but in.y4m afterwards, and its contents
  bool needsOtherUser = false;                             // only a root run can make a file another user owns
  friend void PrintTo(const ShellCase& c, std::ostream* os) { *os << c.name; }
};

class ShellRedirection : public ::testing::TestWithParam<ShellCase> {};

TEST_P(ShellRedirection, LeavesExactlyWhatTheShellWould) {
  const ShellCase& c = GetParam();
  const bool root = ::geteuid() == 0;
  if (c.needsOtherUser && !root) GTEST_SKIP() << "needs root to make a file another user owns";
  TempDir dir;
  ::chmod(dir.path().c_str(), 0777);  // the unprivileged runs work here too
  const std::string input = Y4m();
  WriteFileBytes(dir / "in.y4m", input);
  const CommandResult reference =
      RunProgram(SORVAN_COMMAND, {"--quiet", (dir / "in.y4m").string(), (dir / "reference").string()});
  ASSERT_EQ(reference.exitStatus, 0) << reference.err;
  const std::string stream = ReadFileBytes(dir / "reference");
  std::filesystem::remove(dir / "reference");

  const std::string script = "cd '" + dir.path().string() + "' && S='timeout 20 " + SORVAN_COMMAND +
                             " --quiet' && RUNAS='" +
                             (root ? "setpriv --reuid=65534 --regid=65534 --clear-groups" : "") + "' && " + c.script;
  const CommandResult r = RunProgram("/bin/sh", {"-c", script});
  EXPECT_EQ(r.exitStatus, c.status) << r.err;
  if (c.message.empty()) {
    EXPECT_EQ(r.err, "");
  } else {
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
  std::vector<std::string> expected = {"in.y4m"};
  for (const auto& [name, contents] : c.files) {
    expected.push_back(name.substr(0, name.find('/')));
    if (contents.empty()) continue;  // a link, a FIFO, a folder: there, not read
    std::string want = contents;
    if (const size_t at = want.find(kStream); at != std::string::npos) want.replace(at, kStream.size(), stream);
    EXPECT_TRUE(ReadFileBytes(dir / name) == want) << name << " holds " << ReadFileBytes(dir / name).size() << " bytes";
  }
  std::sort(expected.begin(), expected.end());
  expected.erase(std::unique(expected.begin(), expected.end()), expected.end());
  EXPECT_EQ(dir.Entries(), expected);
  EXPECT_TRUE(ReadFileBytes(dir / "in.y4m") == input) << "the input was written to";
}

const std::string kLongName(255, 'n');

INSTANTIATE_TEST_SUITE_P(
    Output, ShellRedirection,
    ::testing::Values(
        // Descriptors are written in place, as `-` is: appending where the shell appends.
        ShellCase{"stdout_appended",
                  "echo precious > log; $S in.y4m /dev/stdout >> log",
                  0,
                  "",
                  {{"log", "precious\n" + kStream}}},
        ShellCase{"group_redirect", "{ echo hdr; $S in.y4m /dev/stdout; } > f", 0, "", {{"f", "hdr\n" + kStream}}},
        ShellCase{
            "dev_fd", "exec 5>>log; echo precious >&5; $S in.y4m /dev/fd/5", 0, "", {{"log", "precious\n" + kStream}}},
        ShellCase{"proc_self_fd",
                  "echo precious > log; $S in.y4m /proc/self/fd/1 >> log",
                  0,
                  "",
                  {{"log", "precious\n" + kStream}}},
        ShellCase{"picture_to_stdout",
                  "echo precious > log; $S --compare 0 /dev/stdout in.y4m >> log; head -c 13 log > start; rm log",
                  0,
                  "",
                  {{"start", "precious\n\x89PNG"}}},
        // Links lead to their target, which is replaced; names up to the limit work.
        ShellCase{
            "link", "echo old > target; ln -s target link; $S in.y4m link", 0, "", {{"target", kStream}, {"link", ""}}},
        ShellCase{"dangling_link",
                  "mkdir sub; ln -s sub/new link; $S in.y4m link",
                  0,
                  "",
                  {{"sub/new", kStream}, {"link", ""}}},
        ShellCase{"longest_name", "$S in.y4m " + kLongName, 0, "", {{kLongName, kStream}}},
        // Refused before the input is even opened (a FIFO no one writes would block it).
        ShellCase{"empty_name", "mkfifo f; $S f ''", 1, "sorvan: OUTPUT is an empty name", {{"f", ""}}},
        ShellCase{"name_too_long", "mkfifo f; $S f " + kLongName + "n", 1, "File name too long", {{"f", ""}}},
        ShellCase{
            "missing_folder", "mkfifo f; $S f no/out", 1, "its folder no: No such file or directory", {{"f", ""}}},
        ShellCase{"a_folder", "mkfifo f; $S f .", 1, "Is a directory", {{"f", ""}}},
        ShellCase{"link_loop",
                  "mkfifo f; ln -s loop loop; $S f loop",
                  1,
                  "it is a loop of symbolic links",
                  {{"f", ""}, {"loop", ""}}},
        ShellCase{"write_protected",
                  "mkfifo f; echo keep > ro; chmod 444 ro; $RUNAS $S f ro",
                  1,
                  "ro: Permission denied (the file is write-protected)",
                  {{"f", ""}, {"ro", "keep\n"}}},
        ShellCase{"folder_not_writable",
                  "mkfifo f; mkdir -m 555 d; $RUNAS $S f d/out",
                  1,
                  "its folder d cannot be written",
                  {{"f", ""}, {"d", ""}}},
        ShellCase{"sticky_folder",
                  "mkfifo f; mkdir -m 1777 t; echo keep > t/o; chmod 666 t/o; $RUNAS $S f t/o",
                  1,
                  "belongs to another user in the sticky folder t",
                  {{"f", ""}, {"t/o", "keep\n"}},
                  true},
        ShellCase{"descriptor_read_only",
                  "mkfifo f; $S f /dev/fd/0 < in.y4m",
                  1,
                  "which is not open for writing",
                  {{"f", ""}}}),
    [](const auto& info) { return std::string(info.param.name); });

// INPUT and OUTPUT that could only read back what is written, or destroy the input.
INSTANTIATE_TEST_SUITE_P(
    SameFile, ShellRedirection,
    ::testing::Values(
        ShellCase{"fifo", "mkfifo f; $S f f", 1, "is the FIFO or pipe the input is read from", {{"f", ""}}},
        ShellCase{"fifo_through_link", "mkfifo f; ln -s f l; $S l f", 1, "is the FIFO or pipe", {{"f", ""}, {"l", ""}}},
        ShellCase{
            "fifo_as_descriptors", "mkfifo f; exec 3<>f; $S - /dev/fd/3 <&3", 1, "is the FIFO or pipe", {{"f", ""}}},
        ShellCase{"hard_link", "ln in.y4m h; $S in.y4m h", 1, "output h is the input file", {{"h", ""}}},
        ShellCase{"stdin_from_output", "$S - in.y4m < in.y4m", 1, "output in.y4m is the input file", {}},
        ShellCase{
            "appended_to_input", "$S in.y4m /dev/stdout >> in.y4m", 1, "output /dev/stdout is the input file", {}},
        ShellCase{"read_write_descriptor", "$S - /proc/self/fd/0 <> in.y4m", 1, "is the input file", {}}),
    [](const auto& info) { return std::string(info.param.name); });

// Names and values in messages: escaped, so that every message is one line and nothing in it
// reaches the terminal as a control sequence.
TEST(Messages, ShowNamesAndValuesEscapedOnOneLine) {
  TempDir dir;
  WriteFileBytes(dir / "in.y4m", Y4m());
  const std::string in = (dir / "in.y4m").string();
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{in, "bad\nname/x\x1b[31m"}, "cannot write bad\\x0aname/x\\x1b[31m: its folder bad\\x0aname"},
      {{"in\x01\xff.y4m", "out"}, "cannot open in\\x01\\xff.y4m: No such file"},
      {{"--format", "yuv\n420p", "--size", "8x8", in, "out"}, "--format yuv\\x0a420p is not a format"},
      {{"--ry", "yes\r", in, "out"}, "--ry yes\\x0d is not true or false"},
      {{"--compare", "0", "c.png", "--crop", "1x1+0+0\x1b[2J", in}, "--crop 1x1+0+0\\x1b[2J is not of the form"},
      {{"--format", "gray", "--size", "4294967296x1", in, "out"}, "--size 4294967296x1 asks for larger frames"},
      {{"--RAD", "3", in, "out"}, "unknown option --RAD"},
      {{"--r\xc2\x9b"
        "d",
        "3", in, "out"},
       "unknown option --r\\xc2\\x9bd"},
      {{in, "out", "extra\n"}, "unexpected argument extra\\x0a"},
      {{in, "vid\xc3\xa9o\\x/out"}, "cannot write vid\xc3\xa9o\\\\x/out: its folder vid\xc3\xa9o\\\\x:"},
  };
  for (const auto& [args, message] : cases) {
    const CommandResult r = RunProgram(SORVAN_COMMAND, args);
    EXPECT_EQ(r.exitStatus, 1) << r.err;
    EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << r.err;
  }
}

}  // namespace
}  // namespace sorvan::cli
