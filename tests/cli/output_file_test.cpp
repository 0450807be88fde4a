#include "cli/output_file.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command_error.h"

// The test binary's own fsync and renameat come before the C library's, so the tests see every
// call OutputFile makes, in order, and can make fsync fail.
namespace {
std::vector<std::string> gFileCalls;
int gFsyncError = 0;  // errno for fsync to fail with; 0 to succeed
}  // namespace

extern "C" int fsync(int fd) {
  struct stat st {};
  ::fstat(fd, &st);
  gFileCalls.push_back(S_ISDIR(st.st_mode) ? "fsync directory" : "fsync file");
  if (gFsyncError != 0 && !S_ISDIR(st.st_mode)) {
    errno = gFsyncError;
    return -1;
  }
  using Fsync = int (*)(int);
  static const auto real = reinterpret_cast<Fsync>(dlsym(RTLD_NEXT, "fsync"));
  return real(fd);
}

extern "C" int renameat(int fromFolder, const char* from, int toFolder, const char* to) noexcept {
  gFileCalls.push_back("rename");
  using Rename = int (*)(int, const char*, int, const char*);
  static const auto real = reinterpret_cast<Rename>(dlsym(RTLD_NEXT, "renameat"));
  return real(fromFolder, from, toFolder, to);
}

namespace sorvan::cli {
namespace {

namespace fs = std::filesystem;

class OutputFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / fs::path("sorvan-output-test-" + std::to_string(::getpid()) + "-" +
                                                ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  size_t EntriesInDir() const { return static_cast<size_t>(std::distance(fs::directory_iterator(dir_), {})); }
  static std::string Contents(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static std::unique_ptr<OutputFile> Open(const std::string& path) {
    return std::make_unique<OutputFile>(ResolveOutput(path, "OUTPUT", {}), nullptr);
  }
  static void Put(OutputFile& out, const std::string& text) {
    out.sink().Write(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  }

  fs::path dir_;
};

TEST_F(OutputFileTest, WritesBesideAndRenamesOnCommit) {
  const fs::path target = dir_ / "out.y4m";
  {
    const auto out = Open(target.string());
    ASSERT_FALSE(out->temporaryName().empty());
    EXPECT_TRUE(fs::exists(dir_ / out->temporaryName()));
    Put(*out, "hello");
    EXPECT_FALSE(fs::exists(target));
    out->Commit();
  }
  EXPECT_EQ(Contents(target), "hello");
  EXPECT_EQ(EntriesInDir(), 1u);
}

TEST_F(OutputFileTest, TheDataReachesTheDeviceBeforeTheNameIsGiven) {
  const fs::path target = dir_ / "out.y4m";
  gFileCalls.clear();
  {
    const auto out = Open(target.string());
    Put(*out, "frames");
    out->Commit();
  }
  EXPECT_EQ(gFileCalls, (std::vector<std::string>{"fsync file", "rename", "fsync directory"}));
  EXPECT_EQ(Contents(target), "frames");
}

TEST_F(OutputFileTest, AFailedFlushToTheDeviceIsAWriteErrorAndRenamesNothing) {
  const fs::path target = dir_ / "out.y4m";
  std::ofstream(target) << "old contents";
  gFileCalls.clear();
  gFsyncError = EIO;
  try {
    const auto out = Open(target.string());
    Put(*out, "frames");
    out->Commit();
    ADD_FAILURE() << "Commit succeeded";
  } catch (const CommandError& e) {
    EXPECT_EQ(std::string(e.what()), "cannot write " + target.string() + ": " + std::strerror(EIO));
  }
  gFsyncError = 0;
  EXPECT_EQ(gFileCalls, std::vector<std::string>{"fsync file"});
  EXPECT_EQ(Contents(target), "old contents");
  EXPECT_EQ(EntriesInDir(), 1u);
}

TEST_F(OutputFileTest, NewFileGetsUmaskPermissionsNotTheTemporaryFilesOnes) {
  const fs::path target = dir_ / "out.raw";
  const mode_t old = ::umask(022);
  {
    const auto out = Open(target.string());
    out->Commit();
  }
  ::umask(old);
  struct stat st {};
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
}

TEST_F(OutputFileTest, AFailedRunLeavesNothingAndKeepsAnExistingFile) {
  const fs::path fresh = dir_ / "fresh.y4m";
  const fs::path existing = dir_ / "existing.y4m";
  std::ofstream(existing) << "old contents";
  for (const fs::path& target : {fresh, existing}) {
    const auto out = Open(target.string());
    Put(*out, std::string(200000, 'x'));  // more than the sink's buffer, so bytes reach the file
  }
  EXPECT_FALSE(fs::exists(fresh));
  EXPECT_EQ(Contents(existing), "old contents");
  EXPECT_EQ(EntriesInDir(), 1u);
}

}  // namespace
}  // namespace sorvan::cli
