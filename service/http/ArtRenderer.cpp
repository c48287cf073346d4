#include "ArtRenderer.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <sstream>

namespace melodex::http {
namespace {

uint32_t fnv1a(const std::string& text) {
    uint32_t h = 2166136261u;
    for (unsigned char c : text)
        h = (h ^ c) * 16777619u;
    return h;
}

// Hue (0-360), saturation and value (0-1) to 8-bit RGB.
void hsv(double h, double s, double v, uint8_t* rgb) {
    const double c = v * s;
    const double x = c * (1.0 - std::fabs(std::fmod(h / 60.0, 2.0) - 1.0));
    const double m = v - c;
    double r = 0, g = 0, b = 0;
    switch (static_cast<int>(h / 60.0) % 6) {
    case 0: r = c, g = x; break;
    case 1: r = x, g = c; break;
    case 2: g = c, b = x; break;
    case 3: g = x, b = c; break;
    case 4: r = x, b = c; break;
    default: r = c, b = x; break;
    }
    rgb[0] = static_cast<uint8_t>((r + m) * 255.0);
    rgb[1] = static_cast<uint8_t>((g + m) * 255.0);
    rgb[2] = static_cast<uint8_t>((b + m) * 255.0);
}

} // namespace

RgbImage ArtRenderer::draw(const std::string& seed, int width, int height) {
    const uint32_t h = fnv1a(seed);
    const double hueA = h % 360;
    const double hueB = std::fmod(hueA + 40.0 + (h >> 9) % 120, 360.0);
    const double stripeAngle = ((h >> 16) % 180) * 3.14159265 / 180.0;
    const double stripeWidth = 4.0 + (h >> 24) % 8;
    RgbImage image{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * static_cast<size_t>(height) * 3)};
    const double cx = width / 2.0, cy = height / 2.0;
    const double disc = 0.40 * std::min(width, height);
    const double label = 0.15 * std::min(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &image.pixels[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3];
            const double t = static_cast<double>(y) / std::max(1, height - 1);
            const double along = x * std::cos(stripeAngle) + y * std::sin(stripeAngle);
            const bool stripe = std::fmod(along / stripeWidth, 2.0) < 1.0;
            hsv(std::fmod(hueA + t * (hueB - hueA) + 360.0, 360.0), 0.65, stripe ? 0.85 : 0.72, p);
            const double r = std::hypot(x + 0.5 - cx, y + 0.5 - cy);
            if (r < disc) {
                // A record: dark grooves, a coloured label and the spindle hole.
                const uint8_t groove = static_cast<int>(r) % 3 == 0 ? 48 : 24;
                p[0] = p[1] = p[2] = groove;
                if (r < label)
                    hsv(hueB, 0.8, 0.95, p);
                if (r < 0.02 * std::min(width, height) + 1.0)
                    p[0] = p[1] = p[2] = 240;
            }
        }
    }
    return image;
}

RgbImage ArtRenderer::fit(const RgbImage& source, int width, int height) {
    RgbImage out{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * static_cast<size_t>(height) * 3)};
    // The largest centred region of the source with the target's aspect ratio.
    double cropW = source.width, cropH = source.height;
    if (cropW * height > cropH * width)
        cropW = cropH * width / height;
    else
        cropH = cropW * height / width;
    const double x0 = (source.width - cropW) / 2.0, y0 = (source.height - cropH) / 2.0;
    for (int y = 0; y < height; ++y) {
        const int sy0 = static_cast<int>(y0 + y * cropH / height);
        const int sy1 = std::max(sy0 + 1, static_cast<int>(y0 + (y + 1) * cropH / height));
        for (int x = 0; x < width; ++x) {
            const int sx0 = static_cast<int>(x0 + x * cropW / width);
            const int sx1 = std::max(sx0 + 1, static_cast<int>(x0 + (x + 1) * cropW / width));
            unsigned sum[3] = {0, 0, 0};
            unsigned n = 0;
            for (int sy = sy0; sy < std::min(sy1, source.height); ++sy)
                for (int sx = sx0; sx < std::min(sx1, source.width); ++sx, ++n)
                    for (int c = 0; c < 3; ++c)
                        sum[c] += source.pixels[(static_cast<size_t>(sy) * static_cast<size_t>(source.width) + static_cast<size_t>(sx)) * 3 + static_cast<size_t>(c)];
            for (int c = 0; c < 3; ++c)
                out.pixels[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3 + static_cast<size_t>(c)] =
                    static_cast<uint8_t>(n ? sum[c] / n : 0);
        }
    }
    return out;
}

std::string ArtRenderer::albumJpeg(const std::string& albumTitle, const std::string& coverPath, int width, int height) {
    RgbImage picture;
    bool haveCover = false;
    if (!coverPath.empty()) {
        std::ifstream in(coverPath, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        RgbImage cover;
        if (!bytes.empty() && JpegCodec::decode(bytes, cover) && cover.width > 0 && cover.height > 0) {
            picture = fit(cover, width, height);
            haveCover = true;
        }
    }
    if (!haveCover)
        picture = draw(albumTitle, width, height);
    // Lower the quality until the picture fits the client's single 100000-byte read.
    for (int quality = 90; quality >= 20; quality -= 10) {
        std::string jpeg = JpegCodec::encode(picture, quality);
        if (!jpeg.empty() && jpeg.size() < kMaxBytes)
            return jpeg;
    }
    return {};
}

} // namespace melodex::http
