#include "NaiveMatcher.h"

namespace melodex::fp {

NaiveMatcher::NaiveMatcher(const FingerprintIndex& index, int offsetTolerance)
    : index_(index), tolerance_(offsetTolerance) {}

MatchCandidate NaiveMatcher::match(const std::vector<Landmark>& query) const {
    VoteTally tally;
    index_.forEachEntry([&](uint32_t hash, uint32_t value) {
        for (const Landmark& q : query)
            if (q.hash == hash)
                tally.vote(valueTrack(value), valueFrame(value) - q.frame);
    });
    return tally.best(tolerance_);
}

} // namespace melodex::fp
