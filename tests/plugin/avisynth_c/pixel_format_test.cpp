// The binding's names of the host's pixel types, which its refusals show: the host's own names
// for every type it has, a hexadecimal code for the rest.
#include <gtest/gtest.h>

#include "plugin/avisynth_c/pixel_format.h"
#include "tests/plugin/avisynth_c/avs_c_formats.h"

namespace sorvan::avs_c_test {
namespace {

std::string Name(uint32_t pixelType) {
  FormatName name;
  avs::PixelTypeName(static_cast<int32_t>(pixelType), &name);
  return name.Text();
}

TEST(PixelTypeNames, AreTheHostsForEveryType) {
  for (const PixelFormatCase& c : AllPixelFormats()) EXPECT_EQ(Name(c.pixelType), c.name) << std::hex << c.pixelType;
  EXPECT_EQ(Name(0x40000020u), "RAW32");
  EXPECT_EQ(Name(0xA0000109u), "YUV9");
}

TEST(PixelTypeNames, OthersAreShownAsTheirCode) {
  EXPECT_EQ(Name(0), "pixel type 0x00000000");
  EXPECT_EQ(Name(0xE0030000u), "pixel type 0xE0030000");
  EXPECT_EQ(Name(0x50050001u), "pixel type 0x50050001");  // packed RGB has no 10-bit form
}

// Values with bits no pixel type has, or fields out of their range, are no format.
TEST(PixelTypeMapping, RefusesValuesTheHostDoesNotProduce) {
  avs::HostFormat format;
  for (uint32_t t : {0u, 0x40000020u, 0xA0030008u, 0xA0040008u, 0xA0000208u, 0xA0000008u | 0x100000u, 0x90000003u,
                     0x50000004u, 0x60000005u, 0xC0000000u}) {
    EXPECT_FALSE(avs::MapPixelType(static_cast<int32_t>(t), &format)) << std::hex << t;
  }
  EXPECT_TRUE(avs::MapPixelType(static_cast<int32_t>(0xA0000109u), &format)) << "4:1:0 is a subsampling like any other";
}

}  // namespace
}  // namespace sorvan::avs_c_test
