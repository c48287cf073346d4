#include "HashBuilder.h"

#include <cstdlib>

namespace melodex::fp {

HashBuilder::HashBuilder(const FingerprintConfig& config) : config_(config) {}

uint32_t HashBuilder::pack(int anchorBin, int binDelta, int frameDelta) {
    return (static_cast<uint32_t>(anchorBin & 0xFF) << 13) |
           (static_cast<uint32_t>((binDelta + 64) & 0x7F) << 6) |
           static_cast<uint32_t>(frameDelta & 0x3F);
}

std::vector<Landmark> HashBuilder::build(const std::vector<Peak>& peaks, int fanOut, int timeJitter) const {
    std::vector<Landmark> landmarks;
    landmarks.reserve(peaks.size() * static_cast<size_t>(fanOut));
    for (size_t i = 0; i < peaks.size(); ++i) {
        const Peak& anchor = peaks[i];
        int paired = 0;
        for (size_t j = i + 1; j < peaks.size() && paired < fanOut; ++j) {
            const Peak& target = peaks[j];
            const int dt = target.frame - anchor.frame;
            if (dt > config_.targetMaxDt)
                break;
            const int df = target.bin - anchor.bin;
            if (dt < config_.targetMinDt || std::abs(df) > config_.targetMaxDf)
                continue;
            for (int j = -timeJitter; j <= timeJitter; ++j)
                if (dt + j >= config_.targetMinDt && dt + j <= config_.targetMaxDt)
                    landmarks.push_back(Landmark{pack(anchor.bin, df, dt + j), anchor.frame});
            ++paired;
        }
    }
    return landmarks;
}

} // namespace melodex::fp
