// Reads a PNG (a headless snap) into a surface of 0x00RRGGBB pixels, through libpng's simplified
// reader, for comparing what the runner snapped with what a window showed.
#pragma once

#include <png.h>

#include <string>

#include "device/Surface.h"

namespace melodex_test {

inline bool ReadPng(const std::string& path, device::Surface* out) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  // BGRA bytes are 0xAARRGGBB as a little-endian 32-bit word.
  image.format = PNG_FORMAT_BGRA;
  device::Surface surface(static_cast<int>(image.width), static_cast<int>(image.height));
  if (!png_image_finish_read(&image, nullptr, surface.pixels.data(), 0, nullptr)) {
    png_image_free(&image);
    return false;
  }
  for (uint32_t& p : surface.pixels) p &= 0xFFFFFF;
  *out = std::move(surface);
  return true;
}

}  // namespace melodex_test
