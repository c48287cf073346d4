#include "HashBuilder.h"

#include <cstdlib>
#include <utility>

namespace melodex::fp {
namespace {

// A bijection of 20-bit values (a MurmurHash3-style finaliser cut to 20 bits: each xor-shift and
// each product by an odd number modulo 2^20 can be undone) that spreads every input bit over
// the output. The index's directory takes the top bits of a hash; unmixed, those would be the
// anchor bin, and the low bins of most music would crowd a few buckets.
uint32_t mix20(uint32_t h) {
    constexpr uint32_t kMask = (1u << 20) - 1;
    h ^= h >> 10;
    h = (h * 0x85ebca6bu) & kMask;
    h ^= h >> 9;
    h = (h * 0xc2b2ae35u) & kMask;
    h ^= h >> 10;
    return h;
}

// The mixed bin fields above the frame differences, which stay in the low twelve bits unmixed:
// a landmark looked up a frame off either way (the query's time jitter) then reads hashes
// within 65 of each other, one run of the file that the first lookup brought into the cache.
uint32_t withFrameDeltas(uint32_t binFields, int frameDelta1, int frameDelta2) {
    return (mix20(binFields) << 12) | (static_cast<uint32_t>(frameDelta1 & 0x3F) << 6) | static_cast<uint32_t>(frameDelta2 & 0x3F);
}

} // namespace

HashBuilder::HashBuilder(const FingerprintConfig& config) : config_(config) {}

uint32_t HashBuilder::pack(int anchorBin, int binDelta1, int frameDelta1, int binDelta2, int frameDelta2) {
    const uint32_t bins = (static_cast<uint32_t>(anchorBin & 0xFF) << 12) | (static_cast<uint32_t>((binDelta1 + 32) & 0x3F) << 6) |
                          static_cast<uint32_t>((binDelta2 + 32) & 0x3F);
    return withFrameDeltas(bins, frameDelta1, frameDelta2);
}

uint32_t HashBuilder::packPair(int anchorBin, int binDelta, int frameDelta) {
    return withFrameDeltas((static_cast<uint32_t>(anchorBin & 0xFF) << 7) | static_cast<uint32_t>((binDelta + 64) & 0x7F), frameDelta, 0);
}

std::vector<Landmark> HashBuilder::buildPairs(const std::vector<Peak>& peaks, int fanOut, int timeJitter) const {
    std::vector<Landmark> landmarks;
    landmarks.reserve(peaks.size() * static_cast<size_t>(fanOut) * static_cast<size_t>(2 * timeJitter + 1));
    const int minDt = config_.targetMinDt, maxDt = config_.targetMaxDt;
    const auto peakAt = [&peaks](size_t i) { return std::pair{peaks[i].frame, peaks[i].bin}; };
    forEachPair(peaks.size(), peakAt, fanOut, [&](int anchorBin, int df, int dt, int32_t anchorFrame) {
        for (int jitter = -timeJitter; jitter <= timeJitter; ++jitter)
            if (dt + jitter >= minDt && dt + jitter <= maxDt)
                landmarks.push_back(Landmark{packPair(anchorBin, df, dt + jitter), anchorFrame});
    });
    return landmarks;
}

std::vector<Landmark> HashBuilder::buildReference(const std::vector<Peak>& peaks) const {
    std::vector<Landmark> landmarks = build(peaks, config_.refFanOut);
    const std::vector<Landmark> pairs = buildPairs(peaks, config_.refPairFanOut);
    landmarks.insert(landmarks.end(), pairs.begin(), pairs.end());
    return landmarks;
}

std::vector<Landmark> HashBuilder::build(const std::vector<Peak>& peaks, int fanOut, int timeJitter) const {
    std::vector<Landmark> landmarks;
    const size_t perAnchor = static_cast<size_t>(fanOut) * static_cast<size_t>(fanOut - 1) / 2 *
                             static_cast<size_t>((2 * timeJitter + 1) * (2 * timeJitter + 1));
    landmarks.reserve(peaks.size() * perAnchor);
    std::vector<const Peak*> targets;
    const auto inZone = [this](int dt) { return dt >= config_.targetMinDt && dt <= config_.targetMaxDt; };
    for (size_t i = 0; i < peaks.size(); ++i) {
        const Peak& anchor = peaks[i];
        targets.clear();
        for (size_t j = i + 1; j < peaks.size() && targets.size() < static_cast<size_t>(fanOut); ++j) {
            const int dt = peaks[j].frame - anchor.frame;
            if (dt > config_.targetMaxDt)
                break;
            if (dt >= config_.targetMinDt && std::abs(peaks[j].bin - anchor.bin) <= config_.targetMaxDf)
                targets.push_back(&peaks[j]);
        }
        for (size_t a = 0; a < targets.size(); ++a)
            for (size_t b = a + 1; b < targets.size(); ++b) {
                const int df1 = targets[a]->bin - anchor.bin;
                const int df2 = targets[b]->bin - anchor.bin;
                const int dt1 = targets[a]->frame - anchor.frame;
                const int dt2 = targets[b]->frame - anchor.frame;
                for (int j1 = -timeJitter; j1 <= timeJitter; ++j1)
                    for (int j2 = -timeJitter; j2 <= timeJitter; ++j2)
                        if (inZone(dt1 + j1) && inZone(dt2 + j2))
                            landmarks.push_back(Landmark{pack(anchor.bin, df1, dt1 + j1, df2, dt2 + j2), anchor.frame});
            }
    }
    return landmarks;
}

} // namespace melodex::fp
