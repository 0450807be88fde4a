#include "plugin/vapoursynth/vapoursynth_formats.h"

namespace sorvan {

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

ClipFormat ReadClipFormat(const VSVideoInfo& vi, const VSAPI* vsapi, VideoFormat* format,
                          char (&name)[kFormatNameBytes]) {
  if (vi.format.colorFamily == cfUndefined) {
    return {nullptr, nullptr, "Sorvan: clips of variable format are not supported: give the clip one format"};
  }
  const bool named = vsapi->getVideoFormatName(&vi.format, name) != 0 && name[0] != '\0';
  return {VapourSynthFormat(vi.format, format) ? format : nullptr, named ? name : nullptr, nullptr};
}

}  // namespace sorvan
