// The host's video formats: which are valid, how their fields follow from the five numbers that
// name them, and the names the host gives them (the names users see in messages).
#pragma once

#include <cstdint>
#include <string>

#include "plugin/vapoursynth/vapoursynth_interface.h"

namespace sorvan::vshost {

// Integer samples of 8-32 bits or float samples of 16 or 32 bits; subsampling 0-4 per axis and
// only for YUV. False, with `format` zeroed, otherwise.
bool QueryVideoFormat(VSVideoFormat* format, int colorFamily, int sampleType, int bitsPerSample, int subSamplingW,
                      int subSamplingH);
VSVideoFormat VideoFormatFromId(uint32_t id);  // zeroed when the ID names no valid format
uint32_t VideoFormatId(const VSVideoFormat& format);
bool IsValidVideoFormat(const VSVideoFormat& format);

// A clip of one format and size, at 25 frames a second.
VSVideoInfo ConstantClipInfo(uint32_t formatId, int width, int height, int frames);

// "Gray8", "GrayS", "RGB24", "RGBH", "YUV420P10", "YUV444PS", "YUVssw3ssh1P8"; "Undefined" for a
// variable format.
std::string VideoFormatName(const VSVideoFormat& format);

}  // namespace sorvan::vshost
