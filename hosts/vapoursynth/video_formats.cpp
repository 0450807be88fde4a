#include "hosts/vapoursynth/video_formats.h"

namespace sorvan::vshost {

bool QueryVideoFormat(VSVideoFormat* format, int colorFamily, int sampleType, int bitsPerSample, int subSamplingW,
                      int subSamplingH) {
  *format = {};
  const bool family = colorFamily == cfGray || colorFamily == cfRGB || colorFamily == cfYUV;
  const bool bits = (sampleType == stInteger && bitsPerSample >= 8 && bitsPerSample <= 32) ||
                    (sampleType == stFloat && (bitsPerSample == 16 || bitsPerSample == 32));
  const bool subsampling = colorFamily == cfYUV
                               ? subSamplingW >= 0 && subSamplingW <= 4 && subSamplingH >= 0 && subSamplingH <= 4
                               : subSamplingW == 0 && subSamplingH == 0;
  if (!family || !bits || !subsampling) return false;
  format->colorFamily = colorFamily;
  format->sampleType = sampleType;
  format->bitsPerSample = bitsPerSample;
  format->bytesPerSample = bitsPerSample <= 8 ? 1 : bitsPerSample <= 16 ? 2 : 4;
  format->subSamplingW = subSamplingW;
  format->subSamplingH = subSamplingH;
  format->numPlanes = colorFamily == cfGray ? 1 : 3;
  return true;
}

VSVideoFormat VideoFormatFromId(uint32_t id) {
  VSVideoFormat format{};
  QueryVideoFormat(&format, static_cast<int>(id >> 28), static_cast<int>((id >> 24) & 0xf),
                   static_cast<int>((id >> 16) & 0xff), static_cast<int>((id >> 8) & 0xff),
                   static_cast<int>(id & 0xff));
  return format;
}

uint32_t VideoFormatId(const VSVideoFormat& f) {
  if (!IsValidVideoFormat(f)) return pfNone;
  return VS_MAKE_VIDEO_ID(f.colorFamily, f.sampleType, f.bitsPerSample, f.subSamplingW, f.subSamplingH);
}

bool IsValidVideoFormat(const VSVideoFormat& format) {
  VSVideoFormat expected{};
  if (!QueryVideoFormat(&expected, format.colorFamily, format.sampleType, format.bitsPerSample, format.subSamplingW,
                        format.subSamplingH)) {
    return false;
  }
  return expected.bytesPerSample == format.bytesPerSample && expected.numPlanes == format.numPlanes;
}

VSVideoInfo ConstantClipInfo(uint32_t formatId, int width, int height, int frames) {
  VSVideoInfo vi{};
  vi.format = VideoFormatFromId(formatId);
  vi.fpsNum = 25;
  vi.fpsDen = 1;
  vi.width = width;
  vi.height = height;
  vi.numFrames = frames;
  return vi;
}

std::string VideoFormatName(const VSVideoFormat& f) {
  if (f.colorFamily == cfUndefined) return "Undefined";
  const bool isFloat = f.sampleType == stFloat;
  const std::string floatSuffix = f.bitsPerSample == 16 ? "H" : "S";
  switch (f.colorFamily) {
    case cfGray: return "Gray" + (isFloat ? floatSuffix : std::to_string(f.bitsPerSample));
    case cfRGB: return "RGB" + (isFloat ? floatSuffix : std::to_string(f.bitsPerSample * 3));
    case cfYUV: {
      std::string subsampling;
      const int w = f.subSamplingW;
      const int h = f.subSamplingH;
      if (w == 0 && h == 0) subsampling = "444";
      else if (w == 1 && h == 0) subsampling = "422";
      else if (w == 1 && h == 1) subsampling = "420";
      else if (w == 0 && h == 1) subsampling = "440";
      else if (w == 2 && h == 0) subsampling = "411";
      else if (w == 2 && h == 2) subsampling = "410";
      else subsampling = "ssw" + std::to_string(w) + "ssh" + std::to_string(h);
      return "YUV" + subsampling + "P" + (isFloat ? floatSuffix : std::to_string(f.bitsPerSample));
    }
    default: return "Unknown";
  }
}

}  // namespace sorvan::vshost
