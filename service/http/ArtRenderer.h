// Album pictures for GET /art/<n>.jpg and the wallpaper: the catalog's own cover where one was
// found beside the album's files, else a picture drawn from the album's name, so that every album
// has its own art (a real JPEG under 100000 bytes for the client's 88-pixel art area).
#pragma once

#include "JpegCodec.h"

#include <string>

namespace melodex::http {

class ArtRenderer {
public:
    static constexpr int kArtSize = 88;            // the results screen's 88x88 picture area
    static constexpr size_t kMaxBytes = 100000;    // the client reads at most this

    // A JPEG of the album: its cover file scaled and cropped, or a drawn picture.
    static std::string albumJpeg(const std::string& albumTitle, const std::string& coverPath, int width, int height);

    // A record-sleeve picture whose colours and pattern follow from `seed`.
    static RgbImage draw(const std::string& seed, int width, int height);

    // Centre crop to the target's aspect ratio, then an area-average scale.
    static RgbImage fit(const RgbImage& source, int width, int height);
};

} // namespace melodex::http
