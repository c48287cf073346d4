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
    std::vector<Landmark> build(const std::vector<Peak>& peaks, int fanOut) const;

    // The hash layout: anchor bin (8 bits), bin difference + 64 (7 bits), frame difference (6 bits).
    static uint32_t pack(int anchorBin, int binDelta, int frameDelta);

private:
    FingerprintConfig config_;
};

} // namespace melodex::fp
