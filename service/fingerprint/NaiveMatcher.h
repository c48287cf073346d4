// The reference matcher: no hash lookup, a full scan of every index entry against every query
// landmark, and its own vote count in an ordered map (not VoteTally, which it checks). Slow
// and obviously right; the tests hold the fast Matcher to its answers.
#pragma once

#include "FingerprintIndex.h"
#include "HashBuilder.h"
#include "VoteTally.h"  // MatchCandidate

#include <vector>

namespace melodex::fp {

class NaiveMatcher {
public:
    NaiveMatcher(const FingerprintIndex& index, int offsetTolerance);

    MatchCandidate match(const std::vector<Landmark>& query) const;

private:
    const FingerprintIndex& index_;
    int tolerance_;
};

} // namespace melodex::fp
