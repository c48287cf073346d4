#include "HashBuilder.h"

#include <cstdlib>
#include <utility>

namespace melodex::fp {
HashBuilder::HashBuilder(const FingerprintConfig& config) : config_(config) {}

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

std::vector<Landmark> HashBuilder::buildRoomReference(const std::vector<Peak>& roomPeaks) const {
    std::vector<Landmark> pairs = buildPairs(roomPeaks, config_.refPairFanOut);
    for (Landmark& l : pairs)
        l.frame += FingerprintConfig::kRoomFrames;
    return pairs;
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
