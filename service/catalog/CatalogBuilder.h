// Builds and changes catalog folders (Catalog.h) from music files: decode (libsndfile),
// down-mix and resample to 8000 Hz (libsoxr), fingerprint on every core, then write an index
// segment in bounded memory (IndexWriter's sorted runs) and the version's SQLite metadata.
// A build, an addition, a removal or a merge is one new version, published at the end by
// renaming CURRENT: an interrupted one leaves the version in force as it was, and the next one
// starts clean (the unfinished work folder is removed).
#pragma once

#include "../fingerprint/FingerprintConfig.h"
#include "../fingerprint/HashBuilder.h"

#include <functional>
#include <string>
#include <vector>

namespace melodex::catalog {

struct BuildProgress {
    size_t done = 0;
    size_t total = 0;
    std::string name;          // the track just finished
    double audioSeconds = 0.0; // of the tracks done
    double elapsedSeconds = 0.0;
};

struct BuildOptions {
    double maxSecondsPerTrack = 0.0;  // 0: whole tracks; tests index only the first seconds
    unsigned threads = 0;             // 0: one per core
    size_t memoryBudget = size_t{1} << 30;  // index entries held in memory before a sorted run is spilled
    // Called after every track; the command line prints its progress line here.
    std::function<void(const BuildProgress&)> progress;
    // Called for files that cannot be read; they are skipped.
    std::function<void(const std::string&)> warning;
};

struct BuildReport {
    size_t tracks = 0;
    size_t skipped = 0;
    size_t landmarks = 0;
    size_t sortedRuns = 0;
    double audioSeconds = 0.0;
    double wallSeconds = 0.0;
    uint64_t indexBytes = 0;  // of the new segment
};

// One track as a producer hands it to the builder.
struct TrackInput {
    bool ok = false;
    std::string error;
    std::string path, title, artist, album, coverPath;
    double seconds = 0.0;
    std::vector<fp::Peak> peaks;  // the catalog's peaks of it (PeakDensity::Reference)
    std::vector<fp::Peak> roomPeaks;  // the same of it heard across a large room
};

class CatalogBuilder {
public:
    explicit CatalogBuilder(const fp::FingerprintConfig& config, BuildOptions options = {});

    // Every sound file under `directory` (recursively, in path order).
    static std::vector<std::string> findMusic(const std::string& directory);

    // A catalog of these files, in place of any catalog the folder holds.
    bool build(const std::vector<std::string>& files, const std::string& directory, BuildReport& report,
               std::string& error) const;
    // These files added to the catalog as one new segment; the tracks already there keep their ids.
    bool add(const std::vector<std::string>& files, const std::string& directory, BuildReport& report,
             std::string& error) const;

    // Tracks from a producer called on every core with indexes 0..count-1 (the files of build
    // and add; the benchmark's distractors). `replace`: a new catalog, else an addition.
    using Producer = std::function<void(size_t index, TrackInput& track)>;
    bool produce(size_t count, const Producer& producer, const std::string& directory, bool replace,
                 BuildReport& report, std::string& error) const;

    // The tracks of these files leave the catalog: at once from its answers (a deletion list),
    // from its segments at the next merge.
    static bool remove(const std::string& directory, const std::vector<std::string>& files, size_t& removed,
                       std::string& error);
    // Joins all segments into one without the deleted tracks' entries. Its own version, so it
    // can run in the background while the service answers from the version before.
    static bool merge(const std::string& directory, std::string& error);

    // The landmarks the catalog keeps for a file (decoded, resampled, fingerprinted).
    TrackInput fingerprintFile(const std::string& path) const;

private:
    fp::FingerprintConfig config_;
    BuildOptions options_;
};

} // namespace melodex::catalog
