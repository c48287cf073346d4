#include "NaiveMatcher.h"

#include <algorithm>
#include <map>
#include <utility>

namespace melodex::fp {

NaiveMatcher::NaiveMatcher(const FingerprintIndex& index, int offsetTolerance)
    : index_(index), tolerance_(offsetTolerance) {}

MatchCandidate NaiveMatcher::match(const std::vector<Landmark>& query) const {
    std::map<std::pair<uint32_t, int64_t>, int> votes;  // (track, offset) -> hits
    index_.forEachEntry([&](uint32_t hash, uint32_t value) {
        for (const Landmark& q : query)
            if (q.hash == hash)
                ++votes[{valueTrack(value), int64_t{valueFrame(value)} - q.frame}];
    });
    // Every voted offset is a window centre; its score is the hits within the tolerance.
    MatchCandidate best;
    std::map<uint32_t, int> trackScore;
    for (const auto& [centre, hits] : votes) {
        const auto [track, offset] = centre;
        int score = 0;
        for (auto it = votes.lower_bound({track, offset - tolerance_});
             it != votes.end() && it->first.first == track && it->first.second <= offset + tolerance_; ++it)
            score += it->second;
        trackScore[track] = std::max(trackScore[track], score);
        const bool better = score > best.score || (score == best.score && (track < best.track ||
                                                                           (track == best.track && offset < best.offset)));
        if (!best.any || better)
            best = MatchCandidate{true, track, static_cast<int32_t>(offset), score, 0};
    }
    for (const auto& [track, score] : trackScore)
        if (track != best.track)
            best.runnerUpScore = std::max(best.runnerUpScore, score);
    return best;
}

} // namespace melodex::fp
