#include "Matcher.h"

namespace melodex::fp {

Matcher::Matcher(const FingerprintIndex& index, int offsetTolerance)
    : index_(index), tolerance_(offsetTolerance) {}

MatchCandidate Matcher::match(const std::vector<Landmark>& query) const {
    VoteTally tally;
    return match(query, tally);
}

MatchCandidate Matcher::match(const std::vector<Landmark>& query, VoteTally& tally) const {
    tally.clear();
    for (const Landmark& q : query)
        for (uint32_t value : index_.lookup(q.hash))
            tally.vote(valueTrack(value), valueFrame(value) - q.frame);
    return tally.best(tolerance_);
}

} // namespace melodex::fp
