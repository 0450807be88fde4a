// Sorvan's creation callback in the C binding called with fuzzer-built argument arrays, as a
// host passes them: every element of any type (absent, 32- and 64-bit integers, booleans,
// floats, strings, clips), arrays of the wrong length, clips of good and bad pixel types. The
// oracle is the check order written out here on its own: every call must give exactly the
// message it calls for, or a filter whose frame equals the core's; and every clip, value and
// frame must be given back.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "plugin/avisynth_c/avisynth_c_interface.h"
#include "tests/plugin/avisynth_c/avs_c_formats.h"

namespace {

using namespace sorvan;
using namespace sorvan::avs_c_host;

[[noreturn]] void Fail(const std::string& what) {
  fprintf(stderr, "fuzz_avisynth_c_args: %s\n", what.c_str());
  abort();
}

class Bytes {
 public:
  Bytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t Next() { return pos_ < size_ ? data_[pos_++] : 0; }
  int64_t NextInteger() {
    static const int64_t kInteresting[] = {-1,
                                           0,
                                           1,
                                           2,
                                           3,
                                           4,
                                           5,
                                           8,
                                           9,
                                           10,
                                           11,
                                           INT_MIN,
                                           INT_MAX,
                                           6,
                                           7,
                                           -100,
                                           int64_t{1} << 32 | 3,
                                           -(int64_t{1} << 40),
                                           INT64_MAX,
                                           INT64_MIN};
    const uint8_t how = Next();
    if (how < 220) return kInteresting[how % 20];
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v = v << 8 | Next();
    return static_cast<int64_t>(v);
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

struct PixelCase {
  uint32_t pixelType;
  const char* name;  // the refusal's name, or null when supported
};

constexpr PixelCase kPixelCases[] = {
    {0xA0000008u, nullptr},        {0xE0000000u, nullptr},
    {0xE0010000u, nullptr},        {0x90050001u, nullptr},
    {0x50000001u, nullptr},        {0x60000004u, nullptr},
    {0x8802030Bu, nullptr},        {0xE0020000u, nullptr},
    {0x40000020u, "RAW32"},        {0xA0030008u, "pixel type 0xA0030008"},
    {0u, "pixel type 0x00000000"},
};

// The checks, in their order, written from the filter's documentation of them.
constexpr const char* kNames[12] = {"rad", "str", "ry", "gu", "bv", "force", "pry", "pgu", "pbv", "nry", "ngu", "nbv"};
constexpr bool kBoolean[12] = {false, false, true, true, true, true, false, false, false, false, false, false};
constexpr int32_t kDefaults[12] = {5, 4, 0, 1, 1, 0, 3, 1, 3, 3, 4, 6};

std::string RangeMessage(int i) {
  if (i < 2) return std::string("Sorvan:") + kNames[i] + " must be between 1 and 8";
  return std::string("Sorvan: limit ") + kNames[i] + " must be between 0 and 10";
}

std::string Expected(const AVS_Value& args, const PixelCase& pixel, bool gray, int32_t values[12]) {
  if (args.type != 'a' || args.array_size != 13 || args.d.array[0].type != 'c')
    return "Sorvan: the first argument must be a clip";
  if (pixel.name != nullptr) {
    return std::string("Sorvan: ") + pixel.name + " is not supported: use 8 to 16-bit integer or 32-bit float samples";
  }
  for (int i = 0; i < 12; ++i) {
    const AVS_Value& v = args.d.array[1 + i];
    if (v.type == 'v') {
      values[i] = kDefaults[i];
    } else if (kBoolean[i]) {
      if (v.type != 'b') return std::string("Sorvan: ") + kNames[i] + " must be 0 or 1 (false or true)";
      values[i] = v.d.boolean != 0;
    } else if (v.type == 'i') {
      values[i] = v.d.integer;
    } else if (v.type == 'l') {
      values[i] = v.d.longlong > INT_MAX   ? INT_MAX
                  : v.d.longlong < INT_MIN ? INT_MIN
                                           : static_cast<int32_t>(v.d.longlong);
    } else {
      return RangeMessage(i);
    }
  }
  for (int i = 0; i < 2; ++i) {
    if (values[i] < 1 || values[i] > 8) return RangeMessage(i);
  }
  if (!values[2] && !values[3] && !values[4]) return "Sorvan: At least one of ry, gu and bv must be true";
  for (int c = 0; c < 3; ++c) {
    if (!values[2 + c]) continue;
    const int p = 6 + c;
    const int n = 9 + c;
    if (values[p] < 0 || values[p] > 10) return RangeMessage(p);
    if (values[n] < 0 || values[n] > 10) return RangeMessage(n);
    if (values[p] == 0 && values[n] == 0) {
      return std::string("Sorvan: both limits ") + kNames[p] + " and " + kNames[n] + " are specified as zero";
    }
  }
  if (gray && !values[2]) return "Sorvan: a clip without colour planes has only channel 0: set ry=true";
  return "";
}

Environment& Host() {
  static Environment* env = [] {
    auto* e = new Environment(11);
    const LoadResult load = e->LoadPlugin(SORVAN_PLUGIN_PATH);
    if (!load.loaded || load.text.rfind("Sorvan ", 0) != 0) Fail("cannot load the plug-in: " + load.error + load.text);
    return e;
  }();
  return *env;
}

const sorvan::avs_c_test::PixelFormatCase* FormatOf(uint32_t pixelType) {
  static const std::vector<sorvan::avs_c_test::PixelFormatCase> all = sorvan::avs_c_test::AllPixelFormats();
  for (const auto& c : all) {
    if (c.pixelType == pixelType) return &c;
  }
  return nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Bytes in(data, size);
  Environment& env = Host();
  const PixelCase& pixel = kPixelCases[in.Next() % (sizeof kPixelCases / sizeof kPixelCases[0])];
  const AVS_VideoInfo vi = MakeVideoInfo(static_cast<int32_t>(pixel.pixelType), 16, 8, 1);
  const sorvan::avs_c_test::PixelFormatCase* format = FormatOf(pixel.pixelType);
  {
    std::vector<std::vector<uint8_t>> frames;
    if (format != nullptr) frames.push_back(sorvan::avs_c_test::TestFrame(vi, format->format, 7));
    const Clip source = MakeMemoryClip(vi, frames);

    AVS_Value elements[14];
    static const char* const kStrings[] = {"5", "true", ""};
    for (int i = 0; i < 14; ++i) {
      AVS_Value& e = elements[i];
      e = {};
      const uint8_t kind = in.Next();
      const uint8_t pick = i == 0 ? static_cast<uint8_t>(kind < 230 ? 7 : kind % 8) : static_cast<uint8_t>(kind % 8);
      switch (pick) {
        case 0:
        case 1: e.type = 'v'; break;
        case 2:
          e.type = 'i';
          e.d.integer = static_cast<int32_t>(in.NextInteger());
          break;
        case 3:
          e.type = 'l';
          e.d.longlong = in.NextInteger();
          break;
        case 4:
          e.type = 'b';
          e.d.boolean = static_cast<char>(in.Next() & 1);
          break;
        case 5:
          e.type = static_cast<int16_t>(in.Next() & 1 ? 'f' : 'd');
          e.d.double_pt = 2.5;
          break;
        case 6:
          e.type = 's';
          e.d.string = kStrings[in.Next() % 3];
          break;
        case 7: avs_set_to_clip(&e, source.get()); break;
      }
    }
    AVS_Value args{};
    const uint8_t shape = in.Next();
    args.type = shape < 250 ? 'a' : 'i';
    args.array_size = static_cast<int16_t>(shape < 240 ? 13 : shape % 15);
    args.d.array = elements;

    int32_t values[12];
    const bool gray = (pixel.pixelType & 0xC0000000u) == 0xC0000000u;
    const std::string expected = Expected(args, pixel, gray, values);
    CallResult result = env.CallRaw("Sorvan", args);
    if (expected.empty()) {
      if (!result.clip) Fail("refused a valid call: " + result.error);
      std::string error;
      const Frame frame = result.clip.GetFrame(0, &error);
      if (!frame) Fail("no frame: " + error);
      FilterArguments arguments{};
      for (int i = 0; i < 12; ++i) arguments.values[i] = values[i];
      const auto reference = sorvan::avs_c_test::CoreReference(vi, format->format, arguments, frames[0]);
      if (frame.Bytes(FramePlanes(vi)) != reference) Fail("frame differs from the core");
    } else if (result.clip || result.error != expected) {
      Fail("expected \"" + expected + "\", got \"" + result.error + "\"");
    }
    for (AVS_Value& e : elements) avs_release_value(e);
  }
  const Census live = Live();
  if (live.frames != 0 || live.clipHandles != 0 || live.clips != 0 || live.clipValues != 0)
    Fail("references not returned");
  return 0;
}
