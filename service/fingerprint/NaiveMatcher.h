// The reference matcher: no hash lookup, a full scan of every entry of every segment against
// every query landmark, its own count of each hash's entries, its own search of the deleted
// tracks and its own vote count in an ordered map (not VoteTally, which it checks). Slow and
// obviously right; the tests hold the fast Matcher to its answers.
#pragma once

#include "FingerprintIndex.h"
#include "HashBuilder.h"
#include "VoteTally.h"  // MatchCandidate

#include <functional>
#include <vector>

namespace melodex::fp {

class NaiveMatcher {
public:
    NaiveMatcher(const FingerprintIndex& index, int offsetTolerance, uint32_t maxHashList = UINT32_MAX);

    MatchCandidate match(const std::vector<Landmark>& query) const;
    // Only the votes for `tracks`, every hash list read whatever its length.
    MatchCandidate matchTracks(const std::vector<Landmark>& query, const std::vector<uint32_t>& tracks) const;

private:
    // Every entry of every segment that `counts` and whose track is not deleted votes.
    MatchCandidate scan(const std::vector<Landmark>& query, const std::function<bool(uint32_t hash, uint32_t track)>& counts) const;

    const FingerprintIndex& index_;
    int tolerance_;
    uint32_t maxHashList_;
};

} // namespace melodex::fp
