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

PlanarFormatFields Fields(ColourFamily family, int32_t bits, int32_t widthShift, int32_t heightShift, bool alpha,
                          const int8_t (&planes)[kColourChannels]) {
  PlanarFormatFields fields{};
  fields.family = family;
  fields.sampleType = bits == 32 ? SampleType::kFloat : SampleType::kInteger;
  fields.bitsPerSample = bits;
  fields.widthShift = widthShift;
  fields.heightShift = heightShift;
  fields.alpha = alpha;
  for (int32_t c = 0; c < kColourChannels; ++c) fields.channelPlanes[c] = planes[c];
  return fields;
}

void SetPlaneIds(HostFormat* out, int32_t a, int32_t b, int32_t c, int32_t d) {
  out->planeIds[0] = a;
  out->planeIds[1] = b;
  out->planeIds[2] = c;
  out->planeIds[3] = d;
}

// Appends text to a bounded buffer.
struct Writer {
  char* buffer;
  size_t size;
  size_t length;

  void Text(const char* text) {
    while (*text != '\0' && length + 1 < size) buffer[length++] = *text++;
    buffer[length] = '\0';
  }
  void Number(int32_t value) {
    char digits[12];
    int32_t count = 0;
    do {
      digits[count++] = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value > 0 && count < 11);
    char text[12];
    for (int32_t i = 0; i < count; ++i) text[i] = digits[count - 1 - i];
    text[count] = '\0';
    Text(text);
  }
  void Hex(uint32_t value) {
    char text[9];
    for (int32_t i = 0; i < 8; ++i) text[i] = "0123456789ABCDEF"[(value >> (28 - 4 * i)) & 0xF];
    text[8] = '\0';
    Text(text);
  }
};

// "P10", "P16", "PS" after a planar name; nothing at 8 bits.
void DepthSuffix(Writer& w, int32_t bits) {
  if (bits == 8) return;
  w.Text("P");
  if (bits == 32) {
    w.Text("S");
  } else {
    w.Number(bits);
  }
}

}  // namespace

bool MapPixelType(int32_t pixelType, HostFormat* out) {
  const uint32_t t = static_cast<uint32_t>(pixelType);
  const Family family = FamilyOf(t);
  if (!OnlyKnownBits(t, family)) return false;
  const int32_t bits = family == Family::kYuy2 ? 8 : SampleBits(t);
  if (bits == 0) return false;
  const ColourFamily rgb = ColourFamily::kRgb;
  switch (family) {
    case Family::kGray:
      out->format = PlanarFormat(Fields(ColourFamily::kGray, bits, 0, 0, false, kPlanesYuv));
      SetPlaneIds(out, kPlaneY, 0, 0, 0);
      break;
    case Family::kYuv:
    case Family::kYuva: {
      const int32_t widthShift = SubsamplingShift(t & kCsHorizontalMask);
      const int32_t heightShift = SubsamplingShift((t & kCsVerticalMask) >> kCsVerticalShift);
      if (widthShift < 0 || heightShift < 0) return false;
      out->format =
          PlanarFormat(Fields(ColourFamily::kYuv, bits, widthShift, heightShift, family == Family::kYuva, kPlanesYuv));
      SetPlaneIds(out, kPlaneY, kPlaneU, kPlaneV, kPlaneA);
      break;
    }
    case Family::kPlanarRgb:
      // The host stores G, B, R(, A); the planes are addressed by constant all the same.
      out->format = PlanarFormat(Fields(rgb, bits, 0, 0, (t & kCsHorizontalMask) == kCsRgbaType, kPlanesGbr));
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

char* PixelTypeName(int32_t pixelType, char* buffer, size_t size) {
  Writer w{buffer, size, 0};
  if (size == 0) return buffer;
  buffer[0] = '\0';
  const uint32_t t = static_cast<uint32_t>(pixelType);
  const Family family = FamilyOf(t);
  const int32_t bits = SampleBits(t);
  const bool known = family != Family::kNone && OnlyKnownBits(t, family) && bits != 0;
  const int32_t h = static_cast<int32_t>(t & kCsHorizontalMask);
  const int32_t v = static_cast<int32_t>((t & kCsVerticalMask) >> kCsVerticalShift);
  const char* subsampling = h == 0 && v == 0   ? "420"
                            : h == 0 && v == 3 ? "422"
                            : h == 3 && v == 3 ? "444"
                            : h == 1 && v == 3 ? "411"
                            : h == 1 && v == 1 ? "410"
                                               : nullptr;
  if (t == kCsYuy2) {
    w.Text("YUY2");
  } else if (t == kCsI420) {
    w.Text("I420");
  } else if (t == 0x40000020u) {
    w.Text("RAW32");
  } else if (known && family == Family::kGray) {
    w.Text("Y");
    w.Number(bits);
  } else if (known && family == Family::kYuv && bits == 8 && subsampling != nullptr) {
    const char* names[] = {"YV12", "YV16", "YV24", "YV411", "YUV9"};
    const char* all[] = {"420", "422", "444", "411", "410"};
    for (int32_t i = 0; i < 5; ++i) {
      if (strcmp(subsampling, all[i]) == 0) w.Text(names[i]);
    }
  } else if (known && (family == Family::kYuv || family == Family::kYuva) && subsampling != nullptr) {
    w.Text(family == Family::kYuva ? "YUVA" : "YUV");
    w.Text(subsampling);
    DepthSuffix(w, bits);
  } else if (known && family == Family::kPlanarRgb) {
    w.Text(h == static_cast<int32_t>(kCsRgbaType) ? "RGBAP" : "RGBP");
    if (bits != 8) w.Text(bits == 32 ? "S" : "");
    if (bits != 8 && bits != 32) w.Number(bits);
  } else if (known && family == Family::kPackedRgb) {
    w.Text("RGB");
    w.Number((h == static_cast<int32_t>(kCsRgbaType) ? 4 : 3) * bits);
  } else {
    w.Text("pixel type 0x");
    w.Hex(t);
  }
  return buffer;
}

}  // namespace sorvan::avs
