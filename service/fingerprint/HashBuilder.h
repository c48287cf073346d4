// Stage 2 of the fingerprinter: landmarks. Each anchor peak is joined with two of the peaks
// that follow it in a target zone; the three peaks' anchor bin and the two targets' bin and
// frame differences make a 32-bit hash, invariant to where in the song they occur (Wang 2003
// used pairs; a third peak makes the hash specific enough for catalogs of 10^5 tracks).
// The differences of a triple also keep open hashes of their ratios, which a change of speed
// or pitch leaves alone.
#pragma once

#include "FingerprintConfig.h"
#include "PeakExtractor.h"

#include <cstdint>
#include <vector>

namespace melodex::fp {

struct Landmark {
    uint32_t hash;   // FingerprintConfig::kHashBits significant bits
    int32_t frame;   // the anchor's frame
    bool operator==(const Landmark&) const = default;
};

class HashBuilder {
public:
    explicit HashBuilder(const FingerprintConfig& config);

    // Landmarks of peaks sorted by frame then bin: each anchor's first fanOut targets (nearest
    // in time first), every two of them with the anchor.
    // With timeJitter > 0 each landmark also yields the hashes of frame differences up to that
    // many frames off: a query's peaks may shift by a frame in a reverberant room, the
    // catalog's never do, so only queries use it.
    std::vector<Landmark> build(const std::vector<Peak>& peaks, int fanOut, int timeJitter = 0) const;

    // Pairs: each anchor with each of its first fanOut targets (frequency differences up to
    // pairMaxDf). Two peaks survive noise far more often than three, so a pair still finds a
    // clip that has lost most of its triples; pairs are looked up only for the few tracks the
    // triples nominated (Matcher::matchTracks), as their lists are long in a large catalog.
    std::vector<Landmark> buildPairs(const std::vector<Peak>& peaks, int fanOut, int timeJitter = 0) const;

    // The pairs buildPairs makes without jitter, handed to visit(anchor bin, bin difference,
    // frame difference, anchor frame) as they are found instead of stored: a nominee's pairs
    // in a large catalog are joined with a query's as they are made. peakAt(i) gives the
    // frame and bin of the i-th of `count` peaks sorted by frame then bin.
    template <typename PeakAt, typename Visit>
    void forEachPair(size_t count, PeakAt&& peakAt, int fanOut, Visit&& visit) const;

    // What the catalog stores for a track's peaks: its triples and its pairs.
    std::vector<Landmark> buildReference(const std::vector<Peak>& peaks) const;
    // The pairs of a track heard across a large room (the rendering's own peaks), at frames
    // FingerprintConfig::kRoomFrames on, so that they line up apart from the track's own.
    std::vector<Landmark> buildRoomReference(const std::vector<Peak>& roomPeaks) const;

    // The hash of anchor bin (8 bits), first and second target's bin difference + 32 (6 bits
    // each) and frame difference (6 bits each). The bins are mixed so that any run of the top
    // bits is as good as any other for bucketing (a bijection: no two triples share a hash);
    // the frame differences are the low twelve bits, so the time jitter of a query's landmark
    // looks up hashes close together.
    static uint32_t pack(int anchorBin, int binDelta1, int frameDelta1, int binDelta2, int frameDelta2) {
        const uint32_t bins = (static_cast<uint32_t>(anchorBin & 0xFF) << 12) |
                              (static_cast<uint32_t>((binDelta1 + 32) & 0x3F) << 6) | static_cast<uint32_t>((binDelta2 + 32) & 0x3F);
        return withFrameDeltas(bins, frameDelta1, frameDelta2);
    }

    // The hash of a pair: anchor bin (8 bits) and bin difference + 64 (7 bits) mixed alike,
    // the frame difference where a triple has its first, and a second frame difference of 0,
    // which no triple has (its targets come at least a frame after the anchor): no pair shares
    // a hash with a triple.
    // Inline, as a nominee's pairs are hashed one by one while they are joined (Matcher).
    static uint32_t packPair(int anchorBin, int binDelta, int frameDelta) {
        return withFrameDeltas((static_cast<uint32_t>(anchorBin & 0xFF) << 7) | static_cast<uint32_t>((binDelta + 64) & 0x7F),
                               frameDelta, 0);
    }

private:
    // A bijection of 20-bit values (a MurmurHash3-style finaliser cut to 20 bits: each xor-shift
    // and each product by an odd number modulo 2^20 can be undone) that spreads every input bit
    // over the output. The index's directory takes the top bits of a hash; unmixed, those would
    // be the anchor bin, and the low bins of most music would crowd a few buckets.
    static uint32_t mix20(uint32_t h) {
        constexpr uint32_t kMask = (1u << 20) - 1;
        h ^= h >> 10;
        h = (h * 0x85ebca6bu) & kMask;
        h ^= h >> 9;
        h = (h * 0xc2b2ae35u) & kMask;
        h ^= h >> 10;
        return h;
    }
    // The mixed bin fields above the frame differences, which stay in the low twelve bits
    // unmixed: a landmark looked up a frame off either way (the query's time jitter) then reads
    // hashes within 65 of each other, one run of the file that the first lookup brought into
    // the cache.
    static uint32_t withFrameDeltas(uint32_t binFields, int frameDelta1, int frameDelta2) {
        return (mix20(binFields) << 12) | (static_cast<uint32_t>(frameDelta1 & 0x3F) << 6) | static_cast<uint32_t>(frameDelta2 & 0x3F);
    }

    FingerprintConfig config_;
};

template <typename PeakAt, typename Visit>
void HashBuilder::forEachPair(size_t count, PeakAt&& peakAt, int fanOut, Visit&& visit) const {
    // Copied out of the config: the visitor's stores would make the compiler read them again
    // for every target.
    const int minDt = config_.targetMinDt, maxDt = config_.targetMaxDt, maxDf = config_.pairMaxDf;
    for (size_t i = 0; i < count; ++i) {
        const auto [anchorFrame, anchorBin] = peakAt(i);
        int paired = 0;
        for (size_t j = i + 1; j < count && paired < fanOut; ++j) {
            const auto [frame, bin] = peakAt(j);
            const int dt = frame - anchorFrame;
            if (dt > maxDt)
                break;
            const int df = bin - anchorBin;
            if (dt < minDt || df > maxDf || df < -maxDf)
                continue;
            visit(anchorBin, df, dt, anchorFrame);
            ++paired;
        }
    }
}

} // namespace melodex::fp
