#include "cli/compare/png_file.h"

#include <fmt/format.h>
#include <png.h>

#include <cstring>

#include "cli/command_error.h"

namespace sorvan::cli {

std::vector<uint8_t> EncodePng(const RgbImage& rgb) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(rgb.width);
  image.height = static_cast<png_uint_32>(rgb.height);
  image.format = PNG_FORMAT_RGB;
  const png_int_32 stride = rgb.width * 3;
  // The first call only measures.
  png_alloc_size_t bytes = 0;
  if (png_image_write_to_memory(&image, nullptr, &bytes, 0, rgb.pixels, stride, nullptr) == 0) {
    const std::string message = image.message;
    png_image_free(&image);
    throw CommandError(fmt::format("cannot encode the {}x{} picture as PNG: {}", rgb.width, rgb.height, message));
  }
  std::vector<uint8_t> png(bytes);
  if (png_image_write_to_memory(&image, png.data(), &bytes, 0, rgb.pixels, stride, nullptr) == 0) {
    const std::string message = image.message;
    png_image_free(&image);
    throw CommandError(fmt::format("cannot encode the {}x{} picture as PNG: {}", rgb.width, rgb.height, message));
  }
  png.resize(bytes);
  return png;
}

}  // namespace sorvan::cli
