#include "cli/frame_stream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/command_error.h"
#include "cli/format_names.h"
#include "cli/shown_text.h"

namespace sorvan::cli {
namespace {

std::vector<uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

// Runs the Y4M reader over `stream` and returns the frames, or the error message.
struct ReadResult {
  std::vector<std::vector<uint8_t>> frames;
  std::string error;
};
ReadResult ReadAllY4m(const std::vector<uint8_t>& stream) {
  ReadResult result;
  MemorySource source(stream.data(), stream.size());
  try {
    Y4mReader reader(source);
    std::vector<uint8_t> frame;
    while (reader.Next(frame)) result.frames.push_back(frame);
  } catch (const CommandError& e) {
    result.error = e.what();
  }
  return result;
}

Y4mHeader ParseHeader(const std::string& line) {
  const auto bytes = Bytes(line);
  MemorySource source(bytes.data(), bytes.size());
  return ReadY4mHeader(source);
}

std::string HeaderError(const std::string& line) {
  try {
    ParseHeader(line);
  } catch (const CommandError& e) {
    return e.what();
  }
  return "";
}

// Every colour space of the name table, and no C tag at all.
class Y4mAcceptedColour : public ::testing::TestWithParam<std::string> {};

TEST_P(Y4mAcceptedColour, MapsToTheTablesFormatAndKeepsTheHeaderLine) {
  const std::string tag = GetParam();
  const std::string line = "YUV4MPEG2 W8 H4 F30000:1001 It A1:1" + (tag.empty() ? "" : " C" + tag) + " XCOMMENT=x\n";
  const Y4mHeader h = ParseHeader(line);
  const FormatName* expected = FindY4mColourSpace(tag.empty() ? "420jpeg" : tag);
  ASSERT_NE(expected, nullptr);
  EXPECT_STREQ(h.format.video.name, expected->name);
  EXPECT_EQ(h.format.width, 8);
  EXPECT_EQ(h.format.height, 4);
  EXPECT_EQ(h.line, line);
}

std::vector<std::string> Y4mTags() {
  std::vector<std::string> tags = {""};
  for (const FormatName& entry : FormatNames()) {
    if (entry.kind == NameKind::kY4m) tags.push_back(entry.name);
  }
  return tags;
}
INSTANTIATE_TEST_SUITE_P(All, Y4mAcceptedColour, ::testing::ValuesIn(Y4mTags()));

TEST(Y4mColourSpaces, AreThoseFfmpegWritesAtEveryDepth) {
  struct Expected {
    const char* tag;
    ColourFamily family;
    int bits;
    int planes;
    int widthShift;
    int heightShift;
  };
  for (const Expected& e : {Expected{"mono", ColourFamily::kGray, 8, 1, 0, 0},
                            {"mono9", ColourFamily::kGray, 9, 1, 0, 0},
                            {"mono16", ColourFamily::kGray, 16, 1, 0, 0},
                            {"420paldv", ColourFamily::kYuv, 8, 3, 1, 1},
                            {"420mpeg2", ColourFamily::kYuv, 8, 3, 1, 1},
                            {"420p10", ColourFamily::kYuv, 10, 3, 1, 1},
                            {"422p12", ColourFamily::kYuv, 12, 3, 1, 0},
                            {"444p16", ColourFamily::kYuv, 16, 3, 0, 0},
                            {"411p9", ColourFamily::kYuv, 9, 3, 2, 0},
                            {"411", ColourFamily::kYuv, 8, 3, 2, 0},
                            {"444alpha", ColourFamily::kYuv, 8, 4, 0, 0}}) {
    const FormatName* f = FindY4mColourSpace(e.tag);
    ASSERT_NE(f, nullptr) << e.tag;
    EXPECT_EQ(f->format.family, e.family) << e.tag;
    EXPECT_EQ(f->format.bitsPerSample, e.bits) << e.tag;
    EXPECT_EQ(f->format.planeCount, e.planes) << e.tag;
    EXPECT_EQ(f->format.planes[f->format.channels[0].plane].widthShift, 0) << e.tag;
    if (e.family == ColourFamily::kYuv) {
      EXPECT_EQ(f->format.planes[f->format.channels[1].plane].widthShift, e.widthShift) << e.tag;
      EXPECT_EQ(f->format.planes[f->format.channels[2].plane].heightShift, e.heightShift) << e.tag;
      EXPECT_EQ(f->format.channels[1].plane, 1) << e.tag << ": Y4M stores U before V";
    }
    EXPECT_EQ(HasAlpha(f->format), e.planes == 4) << e.tag;
  }
}

class Y4mRefusedColour : public ::testing::TestWithParam<std::string> {};

TEST_P(Y4mRefusedColour, NamesTheColourSpace) {
  const std::string error = HeaderError("YUV4MPEG2 W8 H4 C" + GetParam() + "\n");
  EXPECT_NE(error.find("'C" + GetParam() + "'"), std::string::npos) << error;
  EXPECT_NE(error.find("not supported"), std::string::npos) << error;
}
INSTANTIATE_TEST_SUITE_P(All, Y4mRefusedColour,
                         ::testing::Values("mono8", "mono17", "420p8", "420p17", "422p", "444alphap10", "410", "440",
                                           "420P10", "RGB", ""));

// Odd sizes: chroma rounds up, as ffmpeg stores it.
TEST(Y4mStream, OddSizesRoundChromaUp) {
  struct Case {
    const char* header;
    size_t frameBytes;
  };
  for (const Case& c :
       {Case{"YUV4MPEG2 W9 H5 C420jpeg\n", 45 + 2 * 5 * 3}, Case{"YUV4MPEG2 W7 H5 C422\n", 35 + 2 * 4 * 5},
        Case{"YUV4MPEG2 W7 H3 C411\n", 21 + 2 * 2 * 3}, Case{"YUV4MPEG2 W9 H5 C420p10\n", 2 * (45 + 2 * 5 * 3)}}) {
    const Y4mHeader h = ParseHeader(c.header);
    EXPECT_EQ(FrameBytes(h.format), c.frameBytes) << c.header;
  }
}

struct BadHeaderCase {
  std::string line;
  std::string expected;  // part of the message
  friend void PrintTo(const BadHeaderCase& c, std::ostream* os) {
    *os << c.line.substr(0, std::min<size_t>(40, c.line.find('\n')));
  }
};
class Y4mBadHeader : public ::testing::TestWithParam<BadHeaderCase> {};

TEST_P(Y4mBadHeader, IsRefusedWithItsReason) {
  const std::string error = HeaderError(GetParam().line);
  EXPECT_NE(error.find(GetParam().expected), std::string::npos) << "message: " << error;
}
INSTANTIATE_TEST_SUITE_P(
    All, Y4mBadHeader,
    ::testing::Values(BadHeaderCase{"YUV4MPEG2 H4\n", "no width"}, BadHeaderCase{"YUV4MPEG2 W8\n", "no height"},
                      BadHeaderCase{"YUV4MPEG2 W8x H4\n", "bad width 'W8x'"},
                      BadHeaderCase{"YUV4MPEG2 W8 H-4\n", "bad height 'H-4'"},
                      BadHeaderCase{"YUV4MPEG2 W0 H4\n", "(W0 H4): width and height must be at least 1"},
                      BadHeaderCase{"YUV4MPEG2 W100000 H100000\n",
                                    "(W100000 H100000) asks for larger frames than sorvan accepts: at most 16384"},
                      BadHeaderCase{"YUV4MPEG2 W16384 H16384\n", "at most 16384 on a side and 67108864 pixels"},
                      BadHeaderCase{"YUV4MPEG2 W99999999999999999999999 H2\n", "at most 16384"},
                      BadHeaderCase{"YUV4MPEG2 W8 H4", "ends inside the Y4M header"},
                      BadHeaderCase{"YUV4MPEG3 W8 H4\n", "does not begin with a Y4M header"},
                      BadHeaderCase{"YUV4MPEG2W8 H4\n", "does not begin with a Y4M header"},
                      BadHeaderCase{"YUV4MPEG2 " + std::string(5000, 'X') + "\n", "longer than 4096 bytes"}));

// Headers ffmpeg 5.1 reads other than as written, checked against it: read the same way, and
// written out in the form every reader takes (which reads back as itself); or refused where
// ffmpeg refuses, or where it would misread the colour space the tag names.
struct FfmpegHeaderCase {
  std::string line;
  std::string written;  // the header written out; empty when refused
  std::string format;   // the colour space read; or a part of the refusal
  friend void PrintTo(const FfmpegHeaderCase& c, std::ostream* os) { *os << Shown(c.line); }
};
class Y4mAsFfmpegReads : public ::testing::TestWithParam<FfmpegHeaderCase> {};

TEST_P(Y4mAsFfmpegReads, ReadsMendsOrRefuses) {
  const FfmpegHeaderCase& c = GetParam();
  const ReadResult r =
      ReadAllY4m(Bytes(c.line + "FRAME\r\n" + std::string(48, 'a') + "FRAME\n" + std::string(48, 'b')));
  if (c.written.empty()) {
    EXPECT_NE(r.error.find(c.format), std::string::npos) << r.error;
    return;
  }
  EXPECT_EQ(r.error, "");
  EXPECT_EQ(r.frames.size(), 2u);
  const Y4mHeader h = ParseHeader(c.line);
  EXPECT_EQ(h.line, c.written);
  EXPECT_STREQ(h.format.video.name, c.format.c_str());
  EXPECT_EQ(ParseHeader(h.line).line, h.line);
}
INSTANTIATE_TEST_SUITE_P(
    All, Y4mAsFfmpegReads,
    ::testing::Values(
        FfmpegHeaderCase{"YUV4MPEG2 W8 H4 F25:1 C420jpeg\r\n", "YUV4MPEG2 W8 H4 F25:1 C420jpeg\n", "420jpeg"},
        FfmpegHeaderCase{"YUV4MPEG2  W8 H4  C420jpeg \n", "YUV4MPEG2 W8 H4 C420jpeg\n", "420jpeg"},
        FfmpegHeaderCase{"YUV4MPEG2 W8 H4 XA\r \r\r\n", "YUV4MPEG2 W8 H4 XA\n", "420jpeg"},
        FfmpegHeaderCase{"YUV4MPEG2 W4 H4 XYSCSS=420P10\n", "YUV4MPEG2 W4 H4 C420p10 XYSCSS=420P10\n", "420p10"},
        FfmpegHeaderCase{"YUV4MPEG2 W4 H4 XYSCSS=444\r\n", "YUV4MPEG2 W4 H4 C444 XYSCSS=444\n", "444"},
        FfmpegHeaderCase{"YUV4MPEG2 W4 H3 XYSCSS=422P12 Ip\n", "YUV4MPEG2 W4 H3 C422p12 XYSCSS=422P12 Ip\n", "422p12"},
        FfmpegHeaderCase{"YUV4MPEG2 W4 H4 XYSCSS=420P10X\n", "YUV4MPEG2 W4 H4 C420p10 XYSCSS=420P10X\n", "420p10"},
        FfmpegHeaderCase{"YUV4MPEG2 W8 H4 XYSCSS=bogus\n", "YUV4MPEG2 W8 H4 XYSCSS=bogus\n", "420jpeg"},
        FfmpegHeaderCase{"YUV4MPEG2 W4 H4 C444 XYSCSS=420P10\n", "YUV4MPEG2 W4 H4 C444 XYSCSS=420P10\n", "444"},
        FfmpegHeaderCase{"YUV4MPEG2 W8 H4 XYSCSS=422P10\n", "",
                         "XYSCSS=422P10 names a colour space that ffmpeg reads as C422"},
        FfmpegHeaderCase{"YUV4MPEG2 W8 H4 XYSCSS=444ALPHA\n", "", "ffmpeg reads as C444"},
        FfmpegHeaderCase{"YUV4MPEG2 W8 H4 Fabc A-1:1 Ipx\n", "YUV4MPEG2 W8 H4 F25:1 A0:0 Ip\n", "420jpeg"},
        FfmpegHeaderCase{"YUV4MPEG2 W8 H4 F-25:1 Axx I?\n", "YUV4MPEG2 W8 H4 F25:1 A0:0 I?\n", "420jpeg"},
        FfmpegHeaderCase{"YUV4MPEG2 W8 H4 F30000:1001x A10:11y\n", "YUV4MPEG2 W8 H4 F30000:1001 A10:11\n", "420jpeg"},
        FfmpegHeaderCase{"YUV4MPEG2 W8 H4 F2147483648:1 A1:0\n", "YUV4MPEG2 W8 H4 F25:1 A0:0\n", "420jpeg"},
        FfmpegHeaderCase{"YUV4MPEG2 W8 H4 Ix\n", "", "bad interlacing tag 'Ix'"},
        FfmpegHeaderCase{"YUV4MPEG2 W8 H4 I\n", "", "bad interlacing tag 'I'"},
        FfmpegHeaderCase{"YUV4MPEG2 W8 H4 Im\n", "", "'Im' (frames of mixed interlacing) is not supported"}));

std::vector<uint8_t> MakeStream(const std::string& header, const std::vector<std::vector<uint8_t>>& frames) {
  MemorySink sink;
  Y4mWriter writer(sink, header);
  for (const auto& f : frames) writer.Write(f.data(), f.size());
  return sink.bytes;
}

std::vector<uint8_t> Pattern(size_t n, int seed) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 7 + seed * 31);
  return v;
}

TEST(Y4mStream, WriterOutputReadsBackFrameForFrame) {
  // 4:2:2 of 6x2: 12 luma + 2 * 6 chroma bytes.
  const std::vector<std::vector<uint8_t>> frames = {Pattern(24, 1), Pattern(24, 2), Pattern(24, 3)};
  const auto stream = MakeStream("YUV4MPEG2 W6 H2 C422\n", frames);
  const ReadResult r = ReadAllY4m(stream);
  EXPECT_EQ(r.error, "");
  EXPECT_EQ(r.frames, frames);
}

TEST(Y4mStream, FrameLinesWithParametersAreAccepted) {
  std::string s = "YUV4MPEG2 W2 H2\nFRAME Ib XYZ=1\n";
  s += std::string(6, 'a');
  s += "FRAME\n" + std::string(6, 'b');
  const ReadResult r = ReadAllY4m(Bytes(s));
  EXPECT_EQ(r.error, "");
  ASSERT_EQ(r.frames.size(), 2u);
  EXPECT_EQ(r.frames[1], Bytes(std::string(6, 'b')));
}

struct BrokenStreamCase {
  std::string tail;      // after the header and two whole 2x2 4:2:0 frames (6 bytes each)
  std::string expected;  // part of the message
  friend void PrintTo(const BrokenStreamCase& c, std::ostream* os) {
    *os << c.tail.substr(0, std::min<size_t>(20, c.tail.find('\n')));
  }
};
class Y4mBrokenStream : public ::testing::TestWithParam<BrokenStreamCase> {};

TEST_P(Y4mBrokenStream, ReportsTheFrame) {
  std::string s = "YUV4MPEG2 W2 H2 C420jpeg\nFRAME\nabcdefFRAME\nghijkl" + GetParam().tail;
  const ReadResult r = ReadAllY4m(Bytes(s));
  EXPECT_NE(r.error.find(GetParam().expected), std::string::npos) << "message: " << r.error;
  EXPECT_EQ(r.frames.size(), 2u);
}
INSTANTIATE_TEST_SUITE_P(
    All, Y4mBrokenStream,
    ::testing::Values(BrokenStreamCase{"FRA", "ends inside the FRAME line of frame 2"},
                      BrokenStreamCase{"FRAME", "ends inside the FRAME line of frame 2"},
                      BrokenStreamCase{"FRAME Ixx", "ends inside the FRAME line of frame 2"},
                      BrokenStreamCase{"FRAME\n", "inside frame 2 (counting from 0): 6 of 6 bytes missing"},
                      BrokenStreamCase{"FRAME\nab", "inside frame 2 (counting from 0): 4 of 6 bytes missing"},
                      BrokenStreamCase{"FRAME\nabcde", "1 of 6 bytes missing"},
                      BrokenStreamCase{"FRAMEX\nabcdef", "frame 2 (counting from 0) does not begin with a FRAME line"},
                      BrokenStreamCase{"junk", "does not begin with a FRAME line (found 'junk')"},
                      BrokenStreamCase{"\x01", "found '\\x01'"},
                      BrokenStreamCase{"FRAME\r\r\nabcdef",
                                       "does not begin with a FRAME line (found 'FRAME\\x0d\\x0d\\x0a')"},
                      BrokenStreamCase{"FRAME " + std::string(5000, 'p'), "FRAME line is longer than 4096"}));

TEST(Y4mStream, LargeDeclaredFrameOverShortStreamFailsWithoutReadingPastIt) {
  // A 16384x4096 frame is 96 MiB; the stream holds 3 bytes of it.
  const ReadResult r = ReadAllY4m(Bytes("YUV4MPEG2 W16384 H4096\nFRAME\nabc"));
  EXPECT_NE(r.error.find("100663293 of 100663296 bytes missing"), std::string::npos) << r.error;
}

TEST(RawStream, ReadsWholeFramesAndReportsATruncatedLastFrame) {
  const FrameFormat format{FindRawFormat("rgb24")->format, 3, 2};  // 18 bytes a frame
  auto bytes = Pattern(18 * 3 + 5, 9);
  MemorySource source(bytes.data(), bytes.size());
  RawReader reader(source, FrameBytes(format));
  std::vector<uint8_t> frame;
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(reader.Next(frame));
    EXPECT_EQ(frame, std::vector<uint8_t>(bytes.begin() + 18 * i, bytes.begin() + 18 * (i + 1)));
  }
  try {
    reader.Next(frame);
    FAIL() << "no error for a truncated frame";
  } catch (const CommandError& e) {
    EXPECT_STREQ(e.what(), "input ends inside frame 3 (counting from 0): 13 of 18 bytes missing");
  }
}

TEST(RawStream, EndsCleanlyOnAFrameBoundary) {
  auto bytes = Pattern(8 * 2, 1);
  MemorySource source(bytes.data(), bytes.size());
  RawReader reader(source, FrameBytes({FindRawFormat("yuy2")->format, 2, 2}));
  std::vector<uint8_t> frame;
  EXPECT_TRUE(reader.Next(frame));
  EXPECT_TRUE(reader.Next(frame));
  EXPECT_FALSE(reader.Next(frame));
}

TEST(ReplaySource, GivesThePrefixThenTheRest) {
  const auto rest = Bytes("world");
  MemorySource inner(rest.data(), rest.size());
  ReplaySource source(Bytes("hello "), inner);
  std::vector<uint8_t> out(32);
  const size_t n = ReadFully(source, out.data(), out.size());
  EXPECT_EQ(std::string(out.begin(), out.begin() + n), "hello world");
}

}  // namespace
}  // namespace sorvan::cli
