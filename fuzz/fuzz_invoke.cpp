// `Sorvan` called through the frame server with fuzzer-chosen argument lists: names right,
// wrong or in other case, values of every type, out of range or extreme, on clips of good and
// bad pixel types. Every call must either give a working filter whose frame equals the core's,
// or fail with exactly the message the checks call for, or with the frame server's own
// argument error when the list cannot bind. A crash or a leak fails the run.
#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "hosts/frameserver/frame_server.h"
#include "hosts/frameserver/memory_clip.h"
#include "tests/plugin/classic/plugin_harness.h"

namespace {

using sorvan::frameserver::FrameServer;
using sorvan::frameserver::MemoryClip;
using sorvan::frameserver::NamedArgument;
using sorvan::frameserver::ScriptError;

// The names and types as the core's table gives them; the refusals below are the oracle,
// written out independently of the checks they verify.
const std::array<const char*, 12> kNames = [] {
  std::array<const char*, 12> names{};
  for (int i = 0; i < 12; ++i) names[i] = sorvan::kParameters[i].name;
  return names;
}();
const std::string kTypes = [] {
  std::string types;
  for (const auto& p : sorvan::kParameters) types += p.kind == sorvan::ParameterKind::kBoolean ? 'b' : 'i';
  return types;
}();
const int kInterestingInts[] = {-1, 0, 1, 2, 4, 5, 8, 9, 10, 11, INT_MIN, INT_MAX, 3, 6, 7, -100};
const int kPixelTypes[] = {CS_BGR24,
                           CS_BGR32,
                           CS_YUY2,
                           CS_YV12,
                           CS_I420,
                           0,
                           static_cast<int>(0xA000000Bu),
                           static_cast<int>(0xE0000008u),
                           static_cast<int>(0x50000003u),
                           CS_YV12 | (1 << 20)};

[[noreturn]] void Fail(const std::string& what) {
  fprintf(stderr, "fuzz_invoke: %s\n", what.c_str());
  abort();
}

class Bytes {
 public:
  Bytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t Next() { return pos_ < size_ ? data_[pos_++] : 0; }
  int32_t NextInt() {
    const uint8_t how = Next();
    if (how < 200) return kInterestingInts[how % 16];
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = v << 8 | Next();
    return static_cast<int32_t>(v);
  }
  bool Empty() const { return pos_ >= size_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

FrameServer& Server() {
  static FrameServer* server = [] {
    auto* s = new FrameServer();
    s->LoadPlugin(SORVAN_PLUGIN_PATH);
    return s;
  }();
  return *server;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The message the plug-in's checks give for these effective values, or none.
bool FiveTypes(int pixelType) {
  return pixelType == CS_BGR24 || pixelType == CS_BGR32 || pixelType == CS_YUY2 || pixelType == CS_YV12 ||
         pixelType == CS_I420;
}

std::optional<std::string> ExpectedRefusal(int pixelType, const sorvan::FilterArguments& a) {
  using namespace sorvan;
  struct {
    int rad, str;
    bool ry, gu, bv;
    int pry, pgu, pbv, nry, ngu, nbv;
  } s = {a[kRad], a[kStr], a.Flag(kRy), a.Flag(kGu), a.Flag(kBv), a[kPry], a[kPgu], a[kPbv], a[kNry], a[kNgu], a[kNbv]};
  if (!FiveTypes(pixelType)) return "Sorvan: This color format is not supported by this old avisynth version";
  if (s.rad < 1 || s.rad > 8) return "Sorvan:rad must be between 1 and 8";
  if (s.str < 1 || s.str > 8) return "Sorvan:str must be between 1 and 8";
  if (!s.ry && !s.gu && !s.bv) return "Sorvan: At least one of ry, gu and bv must be true";
  const struct {
    bool on;
    int p, n;
    const char *pn, *nn, *both;
  } channels[] = {{s.ry, s.pry, s.nry, "pry", "nry", "pry and nry"},
                  {s.gu, s.pgu, s.ngu, "pgu", "ngu", "pgu and ngu"},
                  {s.bv, s.pbv, s.nbv, "pbv", "nbv", "pbv and nbv"}};
  for (const auto& c : channels) {
    if (!c.on) continue;
    if (c.p < 0 || c.p > 10) return std::string("Sorvan: limit ") + c.pn + " must be between 0 and 10";
    if (c.n < 0 || c.n > 10) return std::string("Sorvan: limit ") + c.nn + " must be between 0 and 10";
    if (c.p == 0 && c.n == 0) return std::string("Sorvan: both limits ") + c.both + " are specified as zero";
  }
  return std::nullopt;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Bytes in(data, size);
  FrameServer& server = Server();

  const int pixelType = kPixelTypes[in.Next() % std::size(kPixelTypes)];
  int width = 2 * (1 + in.Next() % 12);
  int height = 2 * (1 + in.Next() % 12);
  const VideoInfo vi = sorvan::frameserver::MakeVideoInfo(pixelType, width, height, 2);
  const unsigned seed = in.Next();
  const bool validType = FiveTypes(pixelType);
  PClip source = validType ? MemoryClip::FromFrames(vi, sorvan::plugin_test::TestFrames(vi, 2, seed))
                           : MemoryClip::FromGenerator(vi, [](int, std::span<uint8_t>) {});

  // The argument list, and alongside it what binding it must give.
  std::vector<AVSValue> positional;
  std::vector<NamedArgument> named;
  bool bindable = true;
  std::array<std::optional<AVSValue>, 13> bound;  // index 0 is the clip
  auto bind = [&](size_t index, const AVSValue& v) {
    if (index > 12 || bound[index]) {
      bindable = false;
      return;
    }
    bound[index] = v;
    if (!v.Defined()) return;
    const char want = index == 0 ? 'c' : kTypes[index - 1];
    if (v.Type() != want) bindable = false;
  };

  const int count = in.Next() % 18;
  for (int k = 0; k < count && !in.Empty(); ++k) {
    const uint8_t kind = in.Next();
    AVSValue value;
    switch (in.Next() % 7) {
      case 0:
      case 1: value = AVSValue(in.NextInt()); break;
      case 2: value = AVSValue((in.Next() & 1) != 0); break;
      case 3: value = AVSValue(static_cast<float>(in.NextInt()) / 4.0f); break;
      case 4: value = AVSValue("text"); break;
      case 5: value = AVSValue(source); break;
      default: break;  // void: left out
    }
    if (kind % 4 == 0 && named.empty()) {
      bind(positional.size(), value);
      positional.push_back(value);
    } else {
      const uint8_t pick = in.Next();
      std::string name = pick < 240 ? kNames[pick % 12] : (pick & 1 ? "radius" : "c");
      if (pick % 3 == 1) std::transform(name.begin(), name.end(), name.begin(), ::toupper);
      const auto* it = std::find(kNames.begin(), kNames.end(), Lower(name));
      if (it == kNames.end()) {
        bindable = false;
      } else {
        bind(static_cast<size_t>(it - kNames.begin()) + 1, value);
      }
      named.push_back({name, value});
    }
  }
  if (!bound[0] || !bound[0]->Defined()) bindable = false;

  sorvan::FilterArguments settings = sorvan::DefaultArguments();
  std::optional<std::string> expected;
  if (bindable) {
    auto given = [&](size_t i) { return bound[i] && bound[i]->Defined(); };
    for (size_t i = 1; i <= 12; ++i) {
      if (given(i)) sorvan::plugin_test::ApplyArgument(settings, {kNames[i - 1], *bound[i]});
    }
    expected = ExpectedRefusal(pixelType, settings);
  }

  try {
    PClip filter = server.InvokeClip("Sorvan", positional, named);
    if (!bindable) Fail("an argument list that cannot bind was accepted");
    if (expected) Fail("accepted although the checks call for: " + *expected);
    const VideoInfo& out = filter->GetVideoInfo();
    if (memcmp(&out, &vi, sizeof vi) != 0) Fail("VideoInfo changed");
    const std::vector<uint8_t> frame = sorvan::frameserver::ReadPacked(filter->GetFrame(1, &server), vi);
    const std::vector<uint8_t> reference =
        sorvan::plugin_test::CoreReference(vi, sorvan::plugin_test::TestFrame(vi, seed + 1), settings);
    if (frame != reference) Fail("filtered frame differs from the core's");
  } catch (const ScriptError& e) {
    const std::string message = e.what();
    if (bindable) {
      if (!expected || message != *expected) Fail("unexpected refusal: " + message);
    } else if (message.rfind("Sorvan", 0) != 0 || message == "Sorvan:rad must be between 1 and 8") {
      Fail("an unbindable list gave: " + message);
    }
  }
  return 0;
}
