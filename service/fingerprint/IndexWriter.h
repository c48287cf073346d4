// Collects the landmarks of catalog tracks and writes one sorted index segment, in bounded
// memory: entries are sorted in memory up to a budget, spilled to sorted run files beside the
// segment, and the runs are merged into the segment at the end (an external merge sort). The
// same merge joins existing segments into one (IndexWriter::merge).
#pragma once

#include "HashBuilder.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace melodex::fp {

class IndexSegment;

struct IndexEntry {
    uint32_t hash;
    uint32_t track;
    uint32_t frame;
    auto operator<=>(const IndexEntry&) const = default;
};

class IndexWriter {
public:
    // Runs go to `workDirectory` (created; the caller removes it). memoryBudget bounds the
    // entries held before a run is spilled (12 bytes each).
    explicit IndexWriter(std::string workDirectory, size_t memoryBudget = size_t{512} << 20);
    ~IndexWriter();
    IndexWriter(const IndexWriter&) = delete;
    IndexWriter& operator=(const IndexWriter&) = delete;

    // Track ids must be at most kMaxTrack; landmarks at frames past kMaxFrame (74 hours) are
    // dropped. False with a reason when a run cannot be written.
    bool add(uint32_t track, const std::vector<Landmark>& landmarks, std::string& error);

    // Sorts what is left, merges the runs and writes the segment atomically (a temporary name,
    // flushed to disk, then renamed). False with a reason on failure.
    bool write(const std::string& path, std::string& error);

    // Joins segments into one at `path`, leaving out the entries of tracks `dropped` says to.
    static bool merge(const std::vector<const IndexSegment*>& segments, const std::function<bool(uint32_t)>& dropped,
                      const std::string& path, std::string& error);

    uint64_t entryCount() const { return total_; }
    size_t runCount() const { return runs_.size(); }

private:
    bool spill(std::string& error);

    std::string workDirectory_;
    size_t capacity_;
    std::vector<IndexEntry> entries_;
    std::vector<std::string> runs_;
    uint64_t total_ = 0;
};

} // namespace melodex::fp
