#include "plugin/vapoursynth/vapoursynth_formats.h"

#include "core/parameters.h"

namespace sorvan {
namespace {

void CopyText(char* buffer, size_t size, const char* const* parts, int32_t count) {
  size_t used = 0;
  for (int32_t i = 0; i < count; ++i) {
    for (const char* c = parts[i]; *c != '\0' && used + 1 < size; ++c) buffer[used++] = *c;
  }
  buffer[used] = '\0';
}

}  // namespace

bool VapourSynthFormat(const VSVideoFormat& host, VideoFormat* format) {
  PlanarFormatFields fields{};
  switch (host.colorFamily) {
    case cfGray: fields.family = ColourFamily::kGray; break;
    case cfRGB: fields.family = ColourFamily::kRgb; break;
    case cfYUV: fields.family = ColourFamily::kYuv; break;
    default: return false;
  }
  if (host.sampleType == stInteger) {
    if (host.bitsPerSample < kMinIntegerBits || host.bitsPerSample > kMaxIntegerBits) return false;
    fields.sampleType = SampleType::kInteger;
  } else if (host.sampleType == stFloat) {
    if (host.bitsPerSample != kFloatBits) return false;
    fields.sampleType = SampleType::kFloat;
  } else {
    return false;
  }
  fields.bitsPerSample = host.bitsPerSample;
  if (host.bytesPerSample != (fields.sampleType == SampleType::kFloat ? 4 : host.bitsPerSample > 8 ? 2 : 1))
    return false;
  if (host.numPlanes != (fields.family == ColourFamily::kGray ? 1 : 3)) return false;
  if (fields.family == ColourFamily::kYuv) {
    fields.widthShift = host.subSamplingW;
    fields.heightShift = host.subSamplingH;
  } else if (host.subSamplingW != 0 || host.subSamplingH != 0) {
    return false;
  }
  fields.alpha = false;  // alpha travels as a clip of its own in this interface
  const int8_t* order = fields.family == ColourFamily::kRgb ? kPlanesRgb : kPlanesYuv;
  for (int32_t c = 0; c < kColourChannels; ++c) fields.channelPlanes[c] = order[c];
  *format = PlanarFormat(fields);
  return IsProcessableFormat(*format);
}

const char* ClipFormat(const VSVideoInfo& vi, const VSAPI* vsapi, VideoFormat* format, char* message) {
  if (vi.format.colorFamily == cfUndefined) {
    const char* parts[] = {"Sorvan: clips of variable format are not supported: give the clip one format"};
    CopyText(message, kFormatMessageBytes, parts, 1);
    return message;
  }
  char name[64] = {};
  if (vsapi->getVideoFormatName(&vi.format, name) == 0 || name[0] == '\0') {
    const char* parts[] = {"this format"};
    CopyText(name, sizeof name, parts, 1);
  }
  if (vi.width <= 0 || vi.height <= 0) {
    const char* parts[] = {"Sorvan: ", name, " clips of variable size are not supported: give the clip one frame size"};
    CopyText(message, kFormatMessageBytes, parts, 3);
    return message;
  }
  if (!VapourSynthFormat(vi.format, format)) return UnsupportedFormatMessage(message, kFormatMessageBytes, name);
  return nullptr;
}

}  // namespace sorvan
