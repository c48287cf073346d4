// Baseline JPEG in and out through libjpeg-turbo. Decoding treats its input as
// untrusted: a damaged file is a failure, never a crash.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace melodex::http {

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;  // width * height * 3, row-major, top row first
};

class JpegCodec {
public:
    static std::string encode(const RgbImage& image, int quality);
    static bool decode(const std::string& bytes, RgbImage& image);
};

} // namespace melodex::http
