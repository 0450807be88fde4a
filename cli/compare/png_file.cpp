#include "cli/compare/png_file.h"

#include <fmt/format.h>
#include <png.h>

#include <cstring>
#include <memory>

#include "cli/command_error.h"

namespace sorvan::cli {

void WritePng(const RgbImage& rgb, ByteSink& sink) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(rgb.width);
  image.height = static_cast<png_uint_32>(rgb.height);
  image.format = PNG_FORMAT_RGB;
  image.flags = PNG_IMAGE_FLAG_FAST;
  // Room for the largest PNG the image can make, so one pass encodes it; only the pages written
  // are ever touched.
  png_alloc_size_t bytes = PNG_IMAGE_PNG_SIZE_MAX(image);
  const auto png = std::make_unique_for_overwrite<uint8_t[]>(bytes);
  if (png_image_write_to_memory(&image, png.get(), &bytes, 0, rgb.pixels, rgb.width * 3, nullptr) == 0) {
    const std::string message = image.message;
    png_image_free(&image);
    throw CommandError(fmt::format("cannot encode the {}x{} picture as PNG: {}", rgb.width, rgb.height, message));
  }
  sink.Write(png.get(), bytes);
}

}  // namespace sorvan::cli
