// core.sorvan.Sorvan called through our VapourSynth host with fuzzer-made argument maps: known,
// unknown and missing keys, values of every type, arrays and empty arrays, integers far out of
// range, on clips of accepted and refused formats. The oracle is the check order: the host's
// argument checks, then the format, the switches as read, the ranges and the gray-clip rule.
// An accepted call must give frames equal to the core's plan; a refused one the exact message
// with nothing left alive. A crash, a leak or a breach of the interface fails the run.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "core/filter_plan.h"
#include "hosts/vapoursynth/vapoursynth_host.h"
#include "tests/support/parameter_lookup.h"

namespace {

using sorvan::vshost::FramePtr;
using sorvan::vshost::MapPtr;
using sorvan::vshost::NodePtr;

const char* const kKeys[] = {"rad", "str", "ry",  "gu",  "bv",   "force",  "pry", "pgu",
                             "pbv", "nry", "ngu", "nbv", "clip", "radius", "Rad"};
const int64_t kInterestingInts[] = {-1,        0, 1, 2, 3, 4, 5, 8, 9, 10, 11, INT_MIN, INT_MAX, (1LL << 32) + 1,
                                    LLONG_MIN, 6};
const uint32_t kFormats[] = {
    pfGray8,     pfGray12,   pfGrayS,    pfYUV420P8, pfYUV422P10,
    pfYUV444P16, pfYUV410P8, pfYUV420PS, pfRGB24,    pfRGB48,
    pfRGBS,      pfGrayH,    pfYUV444PH, pfGray32,   VS_MAKE_VIDEO_ID(cfYUV, stInteger, 8, 3, 1),
    pfNone};

[[noreturn]] void Fail(const std::string& what) {
  fprintf(stderr, "fuzz_vapoursynth_args: %s\n", what.c_str());
  abort();
}

class Bytes {
 public:
  Bytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t Next() { return pos_ < size_ ? data_[pos_++] : 0; }
  int64_t NextInt() {
    const uint8_t how = Next();
    if (how < 220) return kInterestingInts[how % 16];
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v = v << 8 | Next();
    return static_cast<int64_t>(v);
  }
  bool Empty() const { return pos_ >= size_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

sorvan::vshost::Host& TheHost() {
  static sorvan::vshost::Host* host = [] {
    auto* h = new sorvan::vshost::Host();
    h->LoadPlugin(SORVAN_PLUGIN_PATH);
    return h;
  }();
  return *host;
}

void Fill(VSFrame* frame, unsigned seed) {
  unsigned state = seed * 2654435761u + 1;
  for (int p = 0; p < frame->format.numPlanes; ++p) {
    for (size_t i = 0; i < frame->planes[p]->bytes; ++i) {
      state = state * 1103515245u + 12345u;
      frame->planes[p]->data[i] = static_cast<uint8_t>(state >> 16);
    }
    if (frame->format.sampleType == stFloat) {  // keep floats finite: bytes of values in 0 … 1
      auto* f = reinterpret_cast<float*>(frame->planes[p]->data);
      for (size_t i = 0; i < frame->planes[p]->bytes / 4; ++i) f[i] = static_cast<float>(i % 97) / 97.0f;
    }
  }
}

// The host's refusal of the map's shape, as its declaration "clip:vnode;rad:int:opt;…" calls for.
std::optional<std::string> ShapeRefusal(const VSMap& in) {
  for (const VSMapEntry& e : in.entries) {
    sorvan::Parameter p;
    if (e.key != "clip" && !sorvan::testing::FindParameter(e.key.c_str(), &p)) {
      return "Function 'Sorvan' does not take argument(s) named " + e.key;
    }
  }
  auto check = [&](const std::string& key, int type, bool optional) -> std::optional<std::string> {
    const VSMapEntry* e = in.Find(key);
    if (e == nullptr)
      return optional ? std::nullopt : std::optional<std::string>("Sorvan: argument " + key + " is required");
    if (e->type != type) return "Sorvan: argument " + key + " is not of the correct type";
    if (e->values.size() > 1) return "Sorvan: argument " + key + " is not an array, but more than one value was given";
    if (e->values.empty()) return "Sorvan: argument " + key + " does not accept an empty array";
    return std::nullopt;
  };
  if (auto r = check("clip", ptVideoNode, false)) return r;
  for (const sorvan::ParameterEntry& parameter : sorvan::kParameters) {
    if (auto r = check(parameter.name, ptInt, true)) return r;
  }
  return std::nullopt;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Bytes bytes(data, size);
  sorvan::vshost::Host& host = TheHost();
  const sorvan::vshost::LiveCounts before = sorvan::vshost::CurrentLiveCounts();
  {
    const uint32_t id = kFormats[bytes.Next() % std::size(kFormats)];
    VSVideoInfo vi{};
    vi.format = sorvan::vshost::VideoFormatFromId(id);
    vi.width = 8 * (1 + bytes.Next() % 4);
    vi.height = 8 * (1 + bytes.Next() % 4);
    if (bytes.Next() % 16 == 0) vi.width = vi.height = 0;  // variable size
    vi.fpsNum = 24;
    vi.fpsDen = 1;
    vi.numFrames = 2;
    const unsigned seed = bytes.Next();
    NodePtr source = host.SourceClip(vi, [seed](int n, VSFrame* f) { Fill(f, seed + static_cast<unsigned>(n)); });

    MapPtr in = sorvan::vshost::NewMap();
    const int count = bytes.Next() % 16;
    for (int k = 0; k < count && !bytes.Empty(); ++k) {
      const std::string key = kKeys[bytes.Next() % std::size(kKeys)];
      const uint8_t how = bytes.Next();
      const bool append = (how & 0x80) != 0;  // a second value makes an array
      switch (how % 8) {
        case 0:
        case 1:
        case 2:
        case 3: sorvan::vshost::SetInt(in.get(), key, bytes.NextInt(), append); break;
        case 4: sorvan::vshost::SetFloat(in.get(), key, static_cast<double>(bytes.NextInt()) / 3.0, append); break;
        case 5: sorvan::vshost::SetData(in.get(), key, "5", append); break;
        case 6: sorvan::vshost::SetNode(in.get(), key, source.get(), append); break;
        default:
          if (in->Find(key) == nullptr) sorvan::vshost::SetEmpty(in.get(), key, ptInt);
          break;
      }
    }
    if (bytes.Next() % 4 != 0 && in->Find("clip") == nullptr) sorvan::vshost::SetNode(in.get(), "clip", source.get());

    // The expected outcome, check by check.
    std::optional<std::string> expected = ShapeRefusal(*in);
    sorvan::FilterArguments arguments = sorvan::DefaultArguments();
    sorvan::VideoFormat format{};
    if (!expected) {
      const std::string name = sorvan::vshost::VideoFormatName(vi.format);
      const bool processable = (vi.format.sampleType == stInteger && vi.format.bitsPerSample <= 16 &&
                                vi.format.subSamplingW <= 2 && vi.format.subSamplingH <= 2) ||
                               (vi.format.sampleType == stFloat && vi.format.bitsPerSample == 32);
      if (vi.format.colorFamily == cfUndefined) {
        expected = "Sorvan: clips of variable format are not supported: give the clip one format";
      } else if (vi.width == 0) {
        expected = "Sorvan: " + name + " clips of variable size are not supported: give the clip one frame size";
      } else if (!processable) {
        expected = "Sorvan: " + name + " is not supported: use 8 to 16-bit integer or 32-bit float samples";
      }
    }
    if (!expected) {
      for (int i = 0; i < sorvan::kParameterCount && !expected; ++i) {
        const VSMapEntry* e = in->Find(sorvan::kParameters[i].name);
        if (e == nullptr) continue;
        const int64_t v = std::get<int64_t>(e->values[0]);
        const int32_t saturated = v < INT_MIN ? INT_MIN : v > INT_MAX ? INT_MAX : static_cast<int32_t>(v);
        if (sorvan::kParameters[i].kind == sorvan::ParameterKind::kBoolean && saturated != 0 && saturated != 1) {
          expected = sorvan::kParameters[i].booleanMessage;
        }
        arguments.values[i] = saturated;
      }
    }
    if (!expected) {
      sorvan::PlanarFormatFields fields{};
      fields.family = vi.format.colorFamily == cfGray  ? sorvan::ColourFamily::kGray
                      : vi.format.colorFamily == cfRGB ? sorvan::ColourFamily::kRgb
                                                       : sorvan::ColourFamily::kYuv;
      fields.sampleType = vi.format.sampleType == stFloat ? sorvan::SampleType::kFloat : sorvan::SampleType::kInteger;
      fields.bitsPerSample = vi.format.bitsPerSample;
      fields.widthShift = vi.format.subSamplingW;
      fields.heightShift = vi.format.subSamplingH;
      const int8_t* order = vi.format.colorFamily == cfRGB ? sorvan::kPlanesRgb : sorvan::kPlanesYuv;
      std::memcpy(fields.channelPlanes, order, 3);
      format = sorvan::PlanarFormat(fields);
      if (const char* m = sorvan::FirstArgumentError(arguments)) expected = m;
      else if (const char* g = sorvan::ChannelSelectionError(arguments, format)) expected = g;
    }

    MapPtr out = host.Invoke("sorvan", "Sorvan", *in);
    const char* error = sorvan::vshost::ErrorOf(*out);
    if (expected) {
      if (error == nullptr) Fail("accepted although the checks call for: " + *expected);
      if (*expected != error) Fail("refused with \"" + std::string(error) + "\" instead of \"" + *expected + "\"");
    } else {
      if (error != nullptr) Fail(std::string("unexpected refusal: ") + error);
      NodePtr filter = sorvan::vshost::GetNode(*out, "clip");
      std::string frameError;
      FramePtr got = host.GetFrame(filter.get(), 1, &frameError);
      FramePtr src = host.GetFrame(source.get(), 1, &frameError);
      if (!got || !src) Fail("no frame: " + frameError);
      sorvan::FilterPlan plan;
      if (plan.Init(arguments, format, vi.width, vi.height) != sorvan::PlanStatus::kOk) Fail("plan refused");
      sorvan::vshost::WritableFramePtr want = sorvan::vshost::NewFrame(vi.format, vi.width, vi.height, nullptr);
      sorvan::SourceFrameView sv{};
      sorvan::FrameView dv{};
      for (int p = 0; p < vi.format.numPlanes; ++p) {
        sv.planes[p] = {src->planes[p]->data, static_cast<int32_t>(src->strides[p]), src->PlaneWidth(p),
                        src->PlaneHeight(p)};
        dv.planes[p] = {want->planes[p]->data, static_cast<int32_t>(want->strides[p]), want->PlaneWidth(p),
                        want->PlaneHeight(p)};
      }
      if (!plan.Process(dv, sv, sorvan::kMemoryCopyPlane)) Fail("plan out of memory");
      for (int p = 0; p < vi.format.numPlanes; ++p) {
        const size_t row = static_cast<size_t>(got->PlaneWidth(p)) * vi.format.bytesPerSample;
        for (int y = 0; y < got->PlaneHeight(p); ++y) {
          if (std::memcmp(got->planes[p]->data + y * got->strides[p], want->planes[p]->data + y * want->strides[p],
                          row) != 0) {
            Fail("frame differs from the core's in plane " + std::to_string(p));
          }
        }
      }
    }
  }
  const sorvan::vshost::LiveCounts after = sorvan::vshost::CurrentLiveCounts();
  if (after.frames != before.frames || after.nodes != before.nodes || after.maps != before.maps) {
    Fail("objects left alive after the call");
  }
  const std::vector<std::string> violations = host.Violations();
  if (!violations.empty()) Fail("interface breached: " + violations.front());
  return 0;
}
