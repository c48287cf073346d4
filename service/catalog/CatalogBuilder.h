// Builds a catalog folder from music files: decode (libsndfile), down-mix and resample to
// 8000 Hz (libsoxr), fingerprint, then write the index and the SQLite metadata.
#pragma once

#include "../fingerprint/FingerprintConfig.h"

#include <functional>
#include <string>
#include <vector>

namespace melodex::catalog {

struct BuildOptions {
    double maxSecondsPerTrack = 0.0;  // 0: whole tracks; tests index only the first seconds
    unsigned threads = 0;             // 0: one per core
    // Called after every file with (done, total, file); the command line draws its bar here.
    std::function<void(size_t, size_t, const std::string&)> progress;
    // Called for files that cannot be read; they are skipped.
    std::function<void(const std::string&)> warning;
};

struct BuildReport {
    size_t tracks = 0;
    size_t skipped = 0;
    size_t landmarks = 0;
    double audioSeconds = 0.0;
    double wallSeconds = 0.0;
    uint64_t indexBytes = 0;
};

class CatalogBuilder {
public:
    explicit CatalogBuilder(const fp::FingerprintConfig& config, BuildOptions options = {});

    // Every sound file under `directory` (recursively, in path order).
    static std::vector<std::string> findMusic(const std::string& directory);

    bool build(const std::vector<std::string>& files, const std::string& outputDirectory, BuildReport& report,
               std::string& error) const;

private:
    fp::FingerprintConfig config_;
    BuildOptions options_;
};

} // namespace melodex::catalog
