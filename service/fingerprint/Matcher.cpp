#include "Matcher.h"

namespace melodex::fp {

Matcher::Matcher(const FingerprintIndex& index, int offsetTolerance, uint32_t maxHashList)
    : index_(index), tolerance_(offsetTolerance), maxHashList_(maxHashList) {}

MatchCandidate Matcher::match(const std::vector<Landmark>& query) const {
    VoteTally tally;
    return match(query, tally);
}

MatchCandidate Matcher::match(const std::vector<Landmark>& query, VoteTally& tally) const {
    tally.clear();
    const auto segments = index_.segments();
    std::vector<PostingList> lists(segments.size());
    for (const Landmark& q : query) {
        size_t total = 0;
        for (size_t s = 0; s < segments.size(); ++s)
            total += (lists[s] = segments[s]->lookup(q.hash)).count;
        if (total > maxHashList_)
            continue;
        for (const PostingList& list : lists)
            for (size_t i = 0; i < list.count; ++i) {
                const uint64_t posting = list[i];
                const uint32_t track = postingTrack(posting);
                if (!index_.isDeleted(track))
                    tally.vote(track, postingFrame(posting) - q.frame);
            }
    }
    return tally.best(tolerance_);
}

} // namespace melodex::fp
