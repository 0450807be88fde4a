#include "plugin/avisynth_c/pixel_format.h"

#include "plugin/avisynth_c/avisynth_c_interface.h"

namespace sorvan::avs {
namespace {

enum class Family : uint8_t { kNone, kGray, kYuv, kYuva, kPlanarRgb, kPackedRgb, kYuy2 };

// Classified in this order because grey also carries the YUV bit.
Family FamilyOf(uint32_t t) {
  if (t == kCsYuy2) return Family::kYuy2;
  const bool planar = (t & kCsPlanar) != 0;
  const bool interleaved = (t & kCsInterleaved) != 0;
  if (planar && interleaved) return (t & kCsYuv) != 0 ? Family::kGray : Family::kNone;
  if (planar && (t & kCsYuv) != 0) return Family::kYuv;
  if (planar && (t & kCsYuva) != 0) return Family::kYuva;
  if (planar && (t & kCsBgr) != 0) return Family::kPlanarRgb;
  if (!planar && interleaved && (t & kCsBgr) != 0) return Family::kPackedRgb;
  return Family::kNone;
}

// Bits of the sample-bits field: 8, 10, 12, 14, 16, 32 (float); 0 for the values with no meaning.
int32_t SampleBits(uint32_t t) {
  switch ((t & kCsSampleBitsMask) >> kCsSampleBitsShift) {
    case 0: return 8;
    case 1: return 16;
    case 2: return 32;
    case 5: return 10;
    case 6: return 12;
    case 7: return 14;
    default: return 0;
  }
}

// Chroma subsampling shift of a planar YUV(A) type's field: 3 none, 0 2:1, 1 4:1; -1 otherwise.
int32_t SubsamplingShift(uint32_t field) {
  switch (field) {
    case 3: return 0;
    case 0: return 1;
    case 1: return 2;
    default: return -1;
  }
}

// The bits of a valid type of each family beyond those the decoding reads: anything else set
// makes it a value the host does not produce.
bool OnlyKnownBits(uint32_t t, Family family) {
  const uint32_t depth = kCsSampleBitsMask;
  switch (family) {
    case Family::kGray: return (t & ~(kCsPlanar | kCsInterleaved | kCsYuv | depth)) == 0;
    case Family::kYuv:
      return (t & ~(kCsPlanar | kCsYuv | depth | kCsVerticalMask | kCsHorizontalMask | kCsVPlaneFirst |
                    kCsUPlaneFirst)) == 0;
    case Family::kYuva:
      return (t & ~(kCsPlanar | kCsYuva | depth | kCsVerticalMask | kCsHorizontalMask | kCsVPlaneFirst)) == 0;
    case Family::kPlanarRgb: {
      const uint32_t type = t & kCsHorizontalMask;
      return (t & ~(kCsPlanar | kCsBgr | depth | kCsHorizontalMask)) == 0 &&
             (type == kCsRgbType || type == kCsRgbaType);
    }
    case Family::kPackedRgb: {
      const uint32_t type = t & kCsHorizontalMask;
      const int32_t bits = SampleBits(t);
      return (t & ~(kCsInterleaved | kCsBgr | depth | kCsHorizontalMask)) == 0 &&
             (type == kCsRgbType || type == kCsRgbaType) && (bits == 8 || bits == 16);
    }
    case Family::kYuy2: return true;
    case Family::kNone: return false;
  }
  return false;
}

void SetPlaneIds(HostFormat* out, int32_t a, int32_t b, int32_t c, int32_t d) {
  out->planeIds[0] = a;
  out->planeIds[1] = b;
  out->planeIds[2] = c;
  out->planeIds[3] = d;
}

// "P10", "P16", "PS" after a planar name; nothing at 8 bits.
void DepthSuffix(FormatName* name, int32_t bits) {
  if (bits == 8) return;
  name->Append("P");
  if (bits == 32) {
    name->Append("S");
  } else {
    name->AppendDecimal(static_cast<uint32_t>(bits));
  }
}

}  // namespace

bool MapPixelType(int32_t pixelType, HostFormat* out) {
  const uint32_t t = static_cast<uint32_t>(pixelType);
  const Family family = FamilyOf(t);
  if (!OnlyKnownBits(t, family)) return false;
  const int32_t bits = family == Family::kYuy2 ? 8 : SampleBits(t);
  if (bits == 0) return false;
  const SampleType sampleType = bits == 32 ? SampleType::kFloat : SampleType::kInteger;
  switch (family) {
    case Family::kGray:
      out->format = PlanarFormat({.family = ColourFamily::kGray, .sampleType = sampleType, .bitsPerSample = bits});
      SetPlaneIds(out, kPlaneY, 0, 0, 0);
      break;
    case Family::kYuv:
    case Family::kYuva: {
      const int32_t widthShift = SubsamplingShift(t & kCsHorizontalMask);
      const int32_t heightShift = SubsamplingShift((t & kCsVerticalMask) >> kCsVerticalShift);
      if (widthShift < 0 || heightShift < 0) return false;
      out->format = PlanarFormat({.family = ColourFamily::kYuv,
                                  .sampleType = sampleType,
                                  .bitsPerSample = bits,
                                  .widthShift = widthShift,
                                  .heightShift = heightShift,
                                  .alpha = family == Family::kYuva});
      SetPlaneIds(out, kPlaneY, kPlaneU, kPlaneV, kPlaneA);
      break;
    }
    case Family::kPlanarRgb:
      // The host stores G, B, R(, A): blue is plane 1. The planes are addressed by constant all the same.
      out->format = PlanarFormat({.family = ColourFamily::kRgb,
                                  .sampleType = sampleType,
                                  .bitsPerSample = bits,
                                  .alpha = (t & kCsHorizontalMask) == kCsRgbaType,
                                  .channelPlanes = {1, 0, 2}});
      SetPlaneIds(out, kPlaneG, kPlaneB, kPlaneR, kPlaneA);
      break;
    case Family::kPackedRgb: {
      const bool alpha = (t & kCsHorizontalMask) == kCsRgbaType;
      const PackedLayout layout = bits == 8 ? (alpha ? PackedLayout::kBgra32 : PackedLayout::kBgr24)
                                            : (alpha ? PackedLayout::kBgra64 : PackedLayout::kBgr48);
      out->format = PackedFormat(layout);
      SetPlaneIds(out, kDefaultPlane, 0, 0, 0);
      break;
    }
    case Family::kYuy2:
      out->format = PackedFormat(PackedLayout::kYuyv);
      SetPlaneIds(out, kDefaultPlane, 0, 0, 0);
      break;
    case Family::kNone: return false;
  }
  return IsProcessableFormat(out->format);
}

void PixelTypeName(int32_t pixelType, FormatName* name) {
  const uint32_t t = static_cast<uint32_t>(pixelType);
  const Family family = FamilyOf(t);
  const int32_t bits = SampleBits(t);
  const bool known = family != Family::kNone && OnlyKnownBits(t, family) && bits != 0;
  const int32_t h = static_cast<int32_t>(t & kCsHorizontalMask);
  const int32_t v = static_cast<int32_t>((t & kCsVerticalMask) >> kCsVerticalShift);
  // By subsampling: the digits of the YUV names and the 8-bit YV name.
  struct Subsampling {
    int32_t h, v;
    const char* digits;
    const char* eightBit;
  };
  constexpr Subsampling kSubsamplings[] = {
      {0, 0, "420", "YV12"},  {0, 3, "422", "YV16"}, {3, 3, "444", "YV24"},
      {1, 3, "411", "YV411"}, {1, 1, "410", "YUV9"},
  };
  const Subsampling* subsampling = nullptr;
  for (const Subsampling& s : kSubsamplings) {
    if (s.h == h && s.v == v) subsampling = &s;
  }
  if (t == kCsYuy2) {
    name->Append("YUY2");
  } else if (t == kCsI420) {
    name->Append("I420");
  } else if (t == 0x40000020u) {
    name->Append("RAW32");
  } else if (known && family == Family::kGray) {
    name->Append("Y").AppendDecimal(static_cast<uint32_t>(bits));
  } else if (known && family == Family::kYuv && bits == 8 && subsampling != nullptr) {
    name->Append(subsampling->eightBit);
  } else if (known && (family == Family::kYuv || family == Family::kYuva) && subsampling != nullptr) {
    name->Append(family == Family::kYuva ? "YUVA" : "YUV").Append(subsampling->digits);
    DepthSuffix(name, bits);
  } else if (known && family == Family::kPlanarRgb) {
    name->Append(h == static_cast<int32_t>(kCsRgbaType) ? "RGBAP" : "RGBP");
    if (bits == 32) name->Append("S");
    if (bits != 8 && bits != 32) name->AppendDecimal(static_cast<uint32_t>(bits));
  } else if (known && family == Family::kPackedRgb) {
    name->Append("RGB").AppendDecimal(static_cast<uint32_t>((h == static_cast<int32_t>(kCsRgbaType) ? 4 : 3) * bits));
  } else {
    name->Append("pixel type 0x").AppendHex(t, 8);
  }
}

}  // namespace sorvan::avs
