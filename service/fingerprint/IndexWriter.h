// Collects the landmarks of every catalog track and writes the sorted index file.
#pragma once

#include "HashBuilder.h"

#include <cstdint>
#include <string>
#include <vector>

namespace melodex::fp {

class IndexWriter {
public:
    // Track ids must be below 2^kTrackBits and frames below 2^kTimeBits; landmarks past the
    // time limit are dropped (a track longer than 4.6 hours is only indexed up to there).
    void add(uint32_t track, const std::vector<Landmark>& landmarks);

    // Writes the file atomically (temporary name, then rename). False with a reason on failure.
    bool write(const std::string& path, std::string& error);

    size_t entryCount() const { return entries_.size(); }

private:
    std::vector<uint64_t> entries_;  // (hash << 32) | value
    uint32_t trackCount_ = 0;
};

} // namespace melodex::fp
