// Collects the landmarks of catalog tracks and writes one sorted index segment, in bounded
// memory: entries are sorted in memory up to a budget, spilled to sorted run files beside the
// segment, and the runs are merged into the segment at the end (an external merge sort). The
// same merge joins existing segments into one (IndexWriter::merge).
#pragma once

#include "HashBuilder.h"
#include "IndexFormat.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <span>
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

    // A track's landmarks and the peaks they were made of (sorted by frame, then bin, as
    // PeakExtractor gives them). Track ids must be at most kMaxTrack, and each added once;
    // landmarks and peaks at frames past kMaxFrame (74 hours) are dropped. False with a reason
    // when a run cannot be written.
    bool add(uint32_t track, const std::vector<Landmark>& landmarks, std::span<const Peak> peaks, std::string& error);

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
    bool addPeaks(uint32_t track, std::span<const Peak> peaks, std::string& error);

    std::string workDirectory_;
    size_t capacity_;
    std::vector<IndexEntry> entries_;
    std::vector<std::string> runs_;
    uint64_t total_ = 0;
    // Peaks go to a file beside the runs as they come, in the order added; the table says
    // where each track's are.
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> peakFile_{nullptr, &std::fclose};
    std::string peakPath_;
    std::vector<TrackPeaks> tracks_;
    uint64_t peakTotal_ = 0;
};

} // namespace melodex::fp
