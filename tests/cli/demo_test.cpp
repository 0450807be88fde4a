// The pieces of `make demo`: the sample tool, the command on its output, and the report.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include "cli/byte_io.h"
#include "cli/frame_stream.h"
#include "run_command.h"

namespace sorvan::cli {
namespace {

using testing::CommandResult;
using testing::ReadFileBytes;
using testing::RunProgram;
using testing::TempDir;

TEST(Demo, ScriptMakesFiltersAndMeasuresThe640x360Sample) {
  TempDir dir;
  const CommandResult r = RunProgram(
      "/bin/bash", {std::string(SORVAN_SOURCE_DIR) + "/tools/demo.sh", SORVAN_BUILD_DIR, dir.path().string(), "12"});
  ASSERT_EQ(r.exitStatus, 0) << r.out << r.err;
  const std::string output = (dir / "sample-sorvan.y4m").string();
  EXPECT_NE(r.out.find("input:  " + (dir / "sample.y4m").string()), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("output: " + output), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("sorvan: 12 frames in "), std::string::npos) << r.out;

  // The reports, 8-bit then 10-bit: roughness before and after, and a real reduction.
  size_t report = 0;
  for (const char* depth : {"8-bit", "10-bit"}) {
    report = r.out.find("12 frames): ", report);
    ASSERT_NE(report, std::string::npos) << depth << "\n" << r.out;
    double before = 0;
    double after = 0;
    int percent = 0;
    ASSERT_EQ(
        std::sscanf(r.out.c_str() + report, "12 frames): %lf before, %lf after: %d%% less", &before, &after, &percent),
        3)
        << r.out;
    EXPECT_GT(before, 1.0) << depth;
    EXPECT_LT(after, before) << depth;
    EXPECT_GE(percent, 20) << depth;
    ++report;
  }
  EXPECT_NE(r.out.find("output: " + (dir / "sample-10bit-sorvan.y4m").string()), std::string::npos) << r.out;
  for (const char* picture : {"compare.png", "compare-close.png"}) {
    EXPECT_NE(r.out.find("picture: " + (dir / picture).string()), std::string::npos) << r.out;
    EXPECT_EQ(ReadFileBytes(dir / picture).substr(1, 3), "PNG");
  }

  // The output plays as Y4M: the sample's header and all 12 frames.
  const int fd = ::open(output.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  FdSource source(fd, output);
  Y4mReader reader(source);
  EXPECT_EQ(reader.header().line, "YUV4MPEG2 W640 H360 F25:1 Ip A1:1 C420jpeg\n");
  std::vector<uint8_t> frame;
  int frames = 0;
  while (reader.Next(frame)) ++frames;
  ::close(fd);
  EXPECT_EQ(frames, 12);

  const std::string deep = (dir / "sample-10bit-sorvan.y4m").string();
  const int deepFd = ::open(deep.c_str(), O_RDONLY);
  ASSERT_GE(deepFd, 0);
  FdSource deepSource(deepFd, deep);
  Y4mReader deepReader(deepSource);
  EXPECT_EQ(deepReader.header().line, "YUV4MPEG2 W640 H360 F25:1 Ip A1:1 C420p10\n");
  frames = 0;
  while (deepReader.Next(frame)) ++frames;
  ::close(deepFd);
  EXPECT_EQ(frames, 12);
}

TEST(Demo, SampleToolRefusesAnOddSize) {
  TempDir dir;
  const CommandResult r = RunProgram(SORVAN_SAMPLE_TOOL, {"make", (dir / "s.y4m").string(), "--size", "641x360"});
  EXPECT_NE(r.exitStatus, 0);
  EXPECT_NE(r.err.find("must be even"), std::string::npos) << r.err;
  EXPECT_TRUE(dir.Entries().empty());
}

}  // namespace
}  // namespace sorvan::cli
