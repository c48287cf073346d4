// Stage 3 of the fingerprinter: the landmark index. A catalog's index is a few immutable
// segments (IndexFormat.h), each read through a memory map, and a list of deleted tracks whose
// entries the segments still hold until they are merged away. Opening costs one mmap and a
// header check per segment, so the service starts (and takes up a new catalog) in milliseconds.
// Segments are mapped through MappedFile, so one truncated in place under a running service
// reads as zeros and reports itself damaged instead of bringing the process down.
#pragma once

#include "IndexFormat.h"
#include "MappedFile.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace melodex::fp {

// The entries of one hash in one segment: `count` postings of kPostingBytes from `data`.
struct PostingList {
    const uint8_t* data = nullptr;
    size_t count = 0;
    uint64_t operator[](size_t i) const { return loadPosting(data + i * kPostingBytes); }
};

class IndexSegment {
public:
    IndexSegment() = default;
    ~IndexSegment();
    IndexSegment(const IndexSegment&) = delete;
    IndexSegment& operator=(const IndexSegment&) = delete;

    // Maps the file and checks its header, sizes and directory. False with a reason when it is
    // not a valid segment of this version.
    bool open(const std::string& path, std::string& error);

    PostingList lookup(uint32_t hash) const;
    // The same for many hashes (ascending, for the fewest cache misses): lists[i] for hashes[i].
    void lookupMany(std::span<const uint32_t> hashes, std::span<PostingList> lists) const;

    // The track's peaks (packed, IndexFormat.h), empty when the segment has none of it.
    std::span<const uint32_t> peaksOf(uint32_t track) const;
    std::span<const TrackPeaks> trackTable() const { return {tracks_, trackCount_}; }

    // Every entry in storage order (hash, track, frame); the naive matcher and merges read it.
    void forEachEntry(const std::function<void(uint32_t hash, uint32_t track, int32_t frame)>& visit) const;

    uint64_t entryCount() const { return count_; }
    uint64_t fileBytes() const { return file_.size(); }
    uint32_t trackLimit() const { return trackLimit_; }
    const std::string& path() const { return path_; }
    // False once the file changed on disk while mapped (MappedFile.h): its entries can no
    // longer be trusted, though reading them stays safe.
    bool intact() const { return file_.intact(); }

    // Raw access for sequential readers (merges): the end of a bucket, the posting and the
    // full hash of entry i (whose bucket the caller tracks).
    uint32_t bucketCount() const { return file_.data() != nullptr ? 1u << directoryBits_ : 0; }
    uint64_t bucketEnd(uint32_t bucket) const { return directory_[bucket + 1]; }
    uint64_t posting(uint64_t i) const { return loadPosting(postings_ + i * kPostingBytes); }
    uint32_t hashAt(uint32_t bucket, uint64_t i) const;

private:
    void close();
    // lookup() searching from entry `from` on, which must not be past the hash's first entry.
    PostingList lookupFrom(uint32_t hash, uint64_t from) const;

    std::string path_;
    MappedFile file_;
    uint64_t count_ = 0;
    uint32_t trackLimit_ = 0;
    int directoryBits_ = 0;
    int lowBytes_ = 0;
    const uint32_t* directory_ = nullptr;
    const uint8_t* postings_ = nullptr;
    const uint8_t* low_ = nullptr;
    const TrackPeaks* tracks_ = nullptr;
    size_t trackCount_ = 0;
    const uint32_t* peaks_ = nullptr;
    uint64_t peakCount_ = 0;
};

// A catalog's whole index: its segments and its deleted tracks.
class FingerprintIndex {
public:
    // Opens every segment; `deleted` are track ids whose entries no longer count.
    bool open(const std::vector<std::string>& segmentPaths, const std::vector<uint32_t>& deleted, std::string& error);

    std::span<const std::unique_ptr<IndexSegment>> segments() const { return segments_; }
    bool isDeleted(uint32_t track) const { return track < deleted_.size() && deleted_[track]; }
    // The peaks a track's landmarks were made of (IndexFormat.h); empty for a deleted track.
    std::span<const uint32_t> peaksOf(uint32_t track) const;
    // Those of its rendering across a large room, at their frames from FingerprintConfig::kRoomFrames
    // on; empty for a track without one. A segment keeps them after the track's own.
    std::span<const uint32_t> roomPeaksOf(uint32_t track) const;
    const std::vector<uint32_t>& deletedTracks() const { return deletedList_; }

    uint64_t entryCount() const;
    uint64_t fileBytes() const;
    // False once any segment changed on disk while mapped: answers from it are not to be given.
    bool intact() const;

private:
    std::span<const uint32_t> storedPeaksOf(uint32_t track) const;

    std::vector<std::unique_ptr<IndexSegment>> segments_;
    std::vector<bool> deleted_;       // by track id
    std::vector<uint32_t> deletedList_;
};

} // namespace melodex::fp
