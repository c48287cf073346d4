#include "FingerprintIndex.h"

#include "SortedSearch.h"

#include <algorithm>
#include <cstring>

namespace melodex::fp {

IndexSegment::~IndexSegment() { close(); }

void IndexSegment::close() {
    file_.close();
    count_ = 0;
    trackLimit_ = 0;
    directoryBits_ = lowBytes_ = 0;
    directory_ = nullptr;
    postings_ = low_ = nullptr;
    tracks_ = nullptr;
    trackCount_ = 0;
    peaks_ = nullptr;
    peakCount_ = 0;
}

bool IndexSegment::open(const std::string& path, std::string& error) {
    close();
    path_ = path;
    MappedFile file;
    if (!file.open(path, error))
        return false;
    const uint64_t size = file.size();
    if (size < sizeof(IndexHeader)) {
        error = path + " is not an index segment (too short)";
        return false;
    }
    IndexHeader header{};
    std::memcpy(&header, file.data(), sizeof header);
    const bool bitsOk = header.hashBits == FingerprintConfig::kHashBits && header.directoryBits >= kMinDirectoryBits &&
                        header.directoryBits <= kMaxDirectoryBits &&
                        header.lowBytes == static_cast<uint32_t>(lowBytesFor(static_cast<int>(header.directoryBits)));
    const uint64_t dirEntries = bitsOk ? (uint64_t{1} << header.directoryBits) + 1 : 0;
    const uint64_t perEntry = kPostingBytes + header.lowBytes;
    const bool sized = bitsOk && header.entryCount <= (size - sizeof header) / perEntry &&
                       header.peakCount <= size / sizeof(uint32_t) &&
                       trackTableAt(static_cast<int>(header.directoryBits), header.entryCount, static_cast<int>(header.lowBytes)) +
                               uint64_t{header.trackCount} * sizeof(TrackPeaks) + header.peakCount * sizeof(uint32_t) ==
                           size;
    if (std::memcmp(header.magic, kIndexMagic, sizeof header.magic) != 0 || !sized) {
        error = path + " is not an index segment of this version";
        return false;
    }
    file_ = std::move(file);
    count_ = header.entryCount;
    trackLimit_ = header.trackLimit;
    directoryBits_ = static_cast<int>(header.directoryBits);
    lowBytes_ = static_cast<int>(header.lowBytes);
    const uint8_t* base = file_.data();
    directory_ = reinterpret_cast<const uint32_t*>(base + sizeof(IndexHeader));
    postings_ = base + sizeof(IndexHeader) + dirEntries * 4;
    low_ = postings_ + count_ * kPostingBytes;
    tracks_ = reinterpret_cast<const TrackPeaks*>(base + trackTableAt(directoryBits_, count_, lowBytes_));
    trackCount_ = header.trackCount;
    peaks_ = reinterpret_cast<const uint32_t*>(tracks_ + trackCount_);
    peakCount_ = header.peakCount;
    // A directory that runs backwards or past the entries would send lookups out of the file.
    bool ordered = directory_[0] == 0 && directory_[dirEntries - 1] == count_;
    for (uint64_t b = 1; ordered && b < dirEntries; ++b)
        ordered = directory_[b - 1] <= directory_[b];
    if (!ordered) {
        close();
        error = path + " has a damaged directory";
        return false;
    }
    bool tableOk = true;
    for (size_t t = 0; tableOk && t < trackCount_; ++t)
        tableOk = (t == 0 || tracks_[t - 1].track < tracks_[t].track) && tracks_[t].first <= peakCount_ &&
                  tracks_[t].count <= peakCount_ - tracks_[t].first;
    if (!tableOk) {
        close();
        error = path + " has a damaged track table";
        return false;
    }
    return true;
}

std::span<const uint32_t> IndexSegment::peaksOf(uint32_t track) const {
    const std::span<const TrackPeaks> table = trackTable();
    const auto it = std::lower_bound(table.begin(), table.end(), track, [](const TrackPeaks& t, uint32_t id) { return t.track < id; });
    if (it == table.end() || it->track != track)
        return {};
    // Checked at open, but a file changed under its mapping may hold anything.
    const TrackPeaks row = *it;
    if (row.first > peakCount_ || row.count > peakCount_ - row.first)
        return {};
    return {peaks_ + row.first, row.count};
}

uint32_t IndexSegment::hashAt(uint32_t bucket, uint64_t i) const {
    uint32_t low = 0;
    for (int k = 0; k < lowBytes_; ++k)
        low |= static_cast<uint32_t>(low_[i * static_cast<uint64_t>(lowBytes_) + static_cast<uint64_t>(k)]) << (8 * k);
    const int lowBits = FingerprintConfig::kHashBits - directoryBits_;
    return (bucket << lowBits) | (low & static_cast<uint32_t>((uint64_t{1} << lowBits) - 1));
}

PostingList IndexSegment::lookup(uint32_t hash) const { return lookupFrom(hash, 0); }

PostingList IndexSegment::lookupFrom(uint32_t hash, uint64_t from) const {
    if (file_.data() == nullptr)
        return {};
    const int lowBits = FingerprintConfig::kHashBits - directoryBits_;
    const uint32_t bucket = hash >> lowBits;
    const uint32_t mask = static_cast<uint32_t>((uint64_t{1} << lowBits) - 1);
    const uint32_t want = hash & mask;
    // The stored bytes hold whole bytes of the hash: the bits above lowBits are the bucket's.
    uint64_t lo = std::max<uint64_t>(directory_[bucket], from);
    const uint64_t bucketEnd = directory_[bucket + 1];
    // The directory was checked at open, but a file changed under its mapping may hold anything.
    if (directory_[bucket] > bucketEnd || bucketEnd > count_)
        return {};
    auto lowAt = [this, mask](uint64_t i) {
        const uint8_t* p = low_ + i * static_cast<uint64_t>(lowBytes_);
        return (lowBytes_ == 1 ? uint32_t{p[0]} : static_cast<uint32_t>(p[0] | (p[1] << 8))) & mask;
    };
    // A bucket holds about eight entries, but hashes that differ only in their frame differences
    // share one, and a query looking up ascending hashes starts where the last search ended.
    lo = firstNotBelow(lo, bucketEnd, [&](uint64_t i) { return lowAt(i) < want; });
    const uint64_t end = firstNotBelow(lo, bucketEnd, [&](uint64_t i) { return lowAt(i) <= want; });
    return PostingList{postings_ + lo * kPostingBytes, static_cast<size_t>(end - lo)};
}

void IndexSegment::lookupMany(std::span<const uint32_t> hashes, std::span<PostingList> lists) const {
    // A lookup waits on memory twice, for its directory entry and then for its bucket, and a
    // query makes tens of thousands of them. Fetching the directory entries a few lookups ahead,
    // and the buckets they point at fewer lookups ahead, lets those waits overlap.
    constexpr size_t kDirectoryAhead = 16;
    constexpr size_t kBucketAhead = 8;
    const int lowBits = FingerprintConfig::kHashBits - directoryBits_;
    const bool mapped = file_.data() != nullptr;
    uint64_t from = 0;  // ascending hashes: no entry before the last list's end can match
    for (size_t i = 0; i < hashes.size(); ++i) {
        if (mapped && i + kDirectoryAhead < hashes.size())
            __builtin_prefetch(&directory_[hashes[i + kDirectoryAhead] >> lowBits]);
        if (mapped && i + kBucketAhead < hashes.size()) {
            // A prefetch never faults, so an entry changed under the mapping does no harm here.
            const uint64_t first = directory_[hashes[i + kBucketAhead] >> lowBits];
            __builtin_prefetch(low_ + first * static_cast<uint64_t>(lowBytes_));
            __builtin_prefetch(postings_ + first * kPostingBytes);
        }
        lists[i] = lookupFrom(hashes[i], i > 0 && hashes[i - 1] < hashes[i] ? from : 0);
        if (lists[i].data != nullptr)
            from = static_cast<uint64_t>(lists[i].data - postings_) / kPostingBytes + lists[i].count;
    }
}

void IndexSegment::forEachEntry(const std::function<void(uint32_t, uint32_t, int32_t)>& visit) const {
    // Bucket by bucket, each entry at most once, whatever the directory holds by now.
    uint64_t i = 0;
    for (uint32_t bucket = 0; bucket < bucketCount() && i < count_; ++bucket)
        for (const uint64_t end = std::min<uint64_t>(directory_[bucket + 1], count_); i < end; ++i) {
            const uint64_t v = posting(i);
            visit(hashAt(bucket, i), postingTrack(v), postingFrame(v));
        }
}

bool FingerprintIndex::open(const std::vector<std::string>& segmentPaths, const std::vector<uint32_t>& deleted,
                            std::string& error) {
    segments_.clear();
    for (const std::string& path : segmentPaths) {
        auto segment = std::make_unique<IndexSegment>();
        if (!segment->open(path, error))
            return false;
        segments_.push_back(std::move(segment));
    }
    deletedList_ = deleted;
    std::sort(deletedList_.begin(), deletedList_.end());
    deleted_.assign(deletedList_.empty() ? 0 : deletedList_.back() + size_t{1}, false);
    for (uint32_t t : deletedList_)
        deleted_[t] = true;
    return true;
}

std::span<const uint32_t> FingerprintIndex::storedPeaksOf(uint32_t track) const {
    if (isDeleted(track))
        return {};
    for (const auto& segment : segments_)
        if (const std::span<const uint32_t> peaks = segment->peaksOf(track); !peaks.empty())
            return peaks;
    return {};
}

std::span<const uint32_t> FingerprintIndex::peaksOf(uint32_t track) const {
    return peaksWithin(storedPeaksOf(track), 0, FingerprintConfig::kRoomFrames - 1);
}

std::span<const uint32_t> FingerprintIndex::roomPeaksOf(uint32_t track) const {
    return peaksWithin(storedPeaksOf(track), FingerprintConfig::kRoomFrames, kMaxFrame);
}

uint64_t FingerprintIndex::entryCount() const {
    uint64_t n = 0;
    for (const auto& s : segments_)
        n += s->entryCount();
    return n;
}

uint64_t FingerprintIndex::fileBytes() const {
    uint64_t n = 0;
    for (const auto& s : segments_)
        n += s->fileBytes();
    return n;
}

bool FingerprintIndex::intact() const {
    return std::all_of(segments_.begin(), segments_.end(), [](const auto& s) { return s->intact(); });
}

} // namespace melodex::fp
