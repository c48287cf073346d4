// A built catalog, one folder of immutable files named by a manifest:
//   CURRENT            the name of the manifest in force ("manifest-000007")
//   manifest-000007    the catalog's version, its index segments, its deleted tracks, its
//                      metadata file and the next free track id
//   seg-000003.fpi     index segments (IndexFormat.h)
//   meta-000007.sqlite the song metadata of that version
// A new version is written beside the old one and takes effect when CURRENT is renamed over,
// so a reader sees one whole version or the other. The metadata is read whole at open (a few
// rows per song), so request threads share it read-only without locks.
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

struct Manifest {
    uint64_t version = 0;
    uint32_t nextTrack = 0;
    std::string metadata;               // file name within the folder
    std::vector<std::string> segments;  // file names within the folder
    std::vector<uint32_t> deleted;      // tracks whose entries the segments still hold

    static constexpr const char* kCurrentFile = "CURRENT";

    // The manifest CURRENT names ("" when the folder holds no catalog).
    static std::string current(const std::string& directory);
    bool read(const std::string& directory, const std::string& name, std::string& error);
    // Writes this manifest, flushed to disk, and makes it current; then removes the files no
    // version but this one names (a reader still holding them keeps its mappings).
    bool publish(const std::string& directory, std::string& error) const;
    std::string name() const;
    // The index of this version: its segments within `directory`, less its deleted tracks.
    bool openIndex(const std::string& directory, fp::FingerprintIndex& index, std::string& error) const;
};

class Catalog {
public:
    bool open(const std::string& directory, std::string& error);

    const fp::FingerprintIndex& index() const { return index_; }
    const std::vector<Track>& tracks() const { return tracks_; }
    const std::vector<Album>& albums() const { return albums_; }
    const Track* track(uint32_t id) const;
    const Album* album(uint32_t id) const;
    double totalSeconds() const;
    const Manifest& manifest() const { return manifest_; }
    const std::string& directory() const { return directory_; }

private:
    std::string directory_;
    Manifest manifest_;
    fp::FingerprintIndex index_;
    std::vector<Track> tracks_;  // ordered by id
    std::vector<Album> albums_;  // ordered by id
};

} // namespace melodex::catalog
