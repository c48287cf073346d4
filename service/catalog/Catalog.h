// A built catalog: the landmark index (index.fpi) and the song metadata (catalog.sqlite),
// both in one folder. The metadata is read whole at open (a few rows per song), so request
// threads share it read-only without locks.
#pragma once

#include "../fingerprint/FingerprintIndex.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace melodex::catalog {

struct Album {
    uint32_t id = 0;
    std::string title;     // UTF-8
    std::string artist;
    std::string coverPath; // a JPEG beside the album's files, or empty: art is drawn
};

struct Track {
    uint32_t id = 0;       // the track number of the index
    std::string path;
    std::string title;     // UTF-8
    std::string artist;
    uint32_t albumId = 0;
    double seconds = 0.0;
};

class Catalog {
public:
    static constexpr const char* kIndexFile = "index.fpi";
    static constexpr const char* kMetadataFile = "catalog.sqlite";

    bool open(const std::string& directory, std::string& error);

    const fp::FingerprintIndex& index() const { return index_; }
    const std::vector<Track>& tracks() const { return tracks_; }
    const std::vector<Album>& albums() const { return albums_; }
    const Track* track(uint32_t id) const;
    const Album* album(uint32_t id) const;
    double totalSeconds() const;

private:
    fp::FingerprintIndex index_;
    std::vector<Track> tracks_;  // ordered by id
    std::vector<Album> albums_;  // ordered by id
};

} // namespace melodex::catalog
