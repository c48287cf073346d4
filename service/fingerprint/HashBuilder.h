// Stage 2 of the fingerprinter: landmarks. Each anchor peak is paired with the peaks that
// follow it in a target zone; the pair (anchor bin, bin difference, time difference) is a
// 21-bit hash, invariant to where in the song the pair occurs (Wang 2003, section 2.2).
#pragma once

#include "FingerprintConfig.h"
#include "PeakExtractor.h"

#include <cstdint>
#include <vector>

namespace melodex::fp {

struct Landmark {
    uint32_t hash;   // FingerprintConfig::kHashBits significant bits
    int32_t frame;   // the anchor's frame
};

class HashBuilder {
public:
    explicit HashBuilder(const FingerprintConfig& config);

    // Landmarks of peaks sorted by frame then bin; each anchor yields at most fanOut pairs,
    // nearest in time first.
    // With timeJitter > 0 each pair also yields the hashes of frame differences up to that
    // many frames off: a query's peaks may shift by a frame in a reverberant room, the
    // catalog's never do, so only queries use it.
    std::vector<Landmark> build(const std::vector<Peak>& peaks, int fanOut, int timeJitter = 0) const;

    // The hash layout: anchor bin (8 bits), bin difference + 64 (7 bits), frame difference (6 bits).
    static uint32_t pack(int anchorBin, int binDelta, int frameDelta);

private:
    FingerprintConfig config_;
};

} // namespace melodex::fp
