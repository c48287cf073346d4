// On-disk layout of one index segment, shared by IndexWriter and IndexSegment.
//
// A sorted, memory-mapped file: opening it costs one mmap, whatever the catalog's size.
//   Header
//   uint32 directory[2^directoryBits + 1]  first entry of each bucket (the top hash bits)
//   uint8  postings[count][6]              (track << 24) | anchor frame, little-endian
//   uint8  low[count][lowBytes]            the hash bits below the bucket number, little-endian
//   (zeros to a multiple of 8 bytes)
//   TrackPeaks tracks[trackCount]          ascending track ids: where each track's peaks are
//   uint32 peaks[peakCount]                (frame << 8) | bin, sorted by frame then bin
// Entries are sorted by (hash, track, frame), so the entries of one hash are one run.
// A track's peaks are what its landmarks were made of: a few nominated tracks' pairs are made
// again from them (Matcher) rather than searched for in hash lists that, in a large catalog,
// hold thousands of other tracks' entries. They cost 4 bytes a peak, about a thirtieth of the
// entries made from it.
//
// The directory grows with the segment (directoryBits from 16 to 24, about eight entries a
// bucket), so a small segment stays small and a large one finds a hash in one or two probes;
// a segment holds fewer than 2^32 entries (a catalog is several segments).
// The magic's digit changes with the hashes' layout (HashBuilder::pack): a segment of another
// layout would open and match nothing.
#pragma once

#include "FingerprintConfig.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>

namespace melodex::fp {

inline constexpr char kIndexMagic[8] = {'M', 'D', 'X', 'S', 'E', 'G', '4', '\0'};
inline constexpr int kPostingBytes = 6;
inline constexpr int kMinDirectoryBits = 16;
inline constexpr int kMaxDirectoryBits = 24;
inline constexpr uint32_t kMaxTrack = (1u << FingerprintConfig::kTrackBits) - 1;
inline constexpr uint32_t kMaxFrame = (1u << FingerprintConfig::kTimeBits) - 1;
static_assert(FingerprintConfig::kTrackBits + FingerprintConfig::kTimeBits == 8 * kPostingBytes);

struct IndexHeader {
    char magic[8];
    uint32_t hashBits;
    uint32_t directoryBits;
    uint64_t entryCount;
    uint32_t lowBytes;    // (hashBits - directoryBits) / 8, rounded up
    uint32_t trackLimit;  // one more than the largest track id
    uint64_t peakCount;
    uint32_t trackCount;  // tracks with peaks
    uint32_t reserved;
};
static_assert(sizeof(IndexHeader) == 48);

struct TrackPeaks {
    uint32_t track;
    uint32_t count;
    uint64_t first;  // index into the peaks
};
static_assert(sizeof(TrackPeaks) == 16);

// Directory bits for a segment of `entries` entries.
inline int directoryBitsFor(uint64_t entries) {
    int bits = kMinDirectoryBits;
    while (bits < kMaxDirectoryBits && (uint64_t{8} << bits) < entries)
        ++bits;
    return bits;
}
inline int lowBytesFor(int directoryBits) { return (FingerprintConfig::kHashBits - directoryBits + 7) / 8; }
// Where the track table begins after `entries` entries with `lowBytes` bytes of hash each.
inline uint64_t trackTableAt(int directoryBits, uint64_t entries, int lowBytes) {
    const uint64_t end = sizeof(IndexHeader) + ((uint64_t{1} << directoryBits) + 1) * sizeof(uint32_t) +
                         entries * (kPostingBytes + static_cast<uint64_t>(lowBytes));
    return (end + 7) / 8 * 8;
}

// Bins fit in 8 bits (FingerprintConfig::maxBin), frames in the postings' 24.
inline uint32_t packPeak(int32_t frame, int32_t bin) { return (static_cast<uint32_t>(frame) << 8) | static_cast<uint32_t>(bin); }
inline int32_t peakFrame(uint32_t packed) { return static_cast<int32_t>(packed >> 8); }
inline int32_t peakBin(uint32_t packed) { return static_cast<int32_t>(packed & 0xFF); }
// The run of a track's packed peaks (sorted by frame) whose frames lie within [first, last].
inline std::span<const uint32_t> peaksWithin(std::span<const uint32_t> peaks, int64_t first, int64_t last) {
    const auto frameBelow = [](uint32_t peak, int64_t frame) { return peakFrame(peak) < frame; };
    const auto from = std::lower_bound(peaks.begin(), peaks.end(), first, frameBelow);
    const auto to = std::lower_bound(from, peaks.end(), last + 1, frameBelow);
    return peaks.subspan(static_cast<size_t>(from - peaks.begin()), static_cast<size_t>(to - from));
}

inline void storePosting(uint8_t* out, uint32_t track, uint32_t frame) {
    const uint64_t v = (static_cast<uint64_t>(track) << FingerprintConfig::kTimeBits) | frame;
    for (int i = 0; i < kPostingBytes; ++i)
        out[i] = static_cast<uint8_t>(v >> (8 * i));
}
// Two loads joined in registers: six bytes copied into a zeroed eight-byte variable made the
// compiler store them as two parts and load the whole back, which the processor cannot
// forward, and every posting read waited for it.
inline uint64_t loadPosting(const uint8_t* in) {
    static_assert(sizeof(uint32_t) + sizeof(uint16_t) == kPostingBytes);
    uint32_t low = 0;
    uint16_t high = 0;
    std::memcpy(&low, in, sizeof low);  // little-endian hosts only, as is the whole file
    std::memcpy(&high, in + sizeof low, sizeof high);
    return low | static_cast<uint64_t>(high) << 32;
}
inline uint32_t postingTrack(uint64_t v) { return static_cast<uint32_t>(v >> FingerprintConfig::kTimeBits); }
inline int32_t postingFrame(uint64_t v) { return static_cast<int32_t>(v & kMaxFrame); }

} // namespace melodex::fp
