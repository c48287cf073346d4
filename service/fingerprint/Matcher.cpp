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

MatchCandidate Matcher::matchTracks(const std::vector<Landmark>& query, const std::vector<uint32_t>& tracks,
                                    VoteTally& tally) const {
    tally.clear();
    std::vector<uint32_t> live;
    for (uint32_t track : tracks)
        if (!index_.isDeleted(track))
            live.push_back(track);
    if (live.empty())
        return {};
    const auto firstAtOrAbove = [](const PostingList& list, size_t lo, uint64_t value) {
        size_t hi = list.count;
        while (lo < hi) {
            const size_t mid = lo + (hi - lo) / 2;
            if (list[mid] < value)
                lo = mid + 1;
            else
                hi = mid;
        }
        return lo;
    };
    for (const Landmark& q : query)
        for (const auto& segment : index_.segments()) {
            const PostingList list = segment->lookup(q.hash);
            if (list.count <= 4 * live.size()) {
                // Short lists (most of them): one walk beside the sorted tracks.
                auto want = live.begin();
                for (size_t i = 0; i < list.count && want != live.end(); ++i) {
                    const uint64_t posting = list[i];
                    const uint32_t track = postingTrack(posting);
                    while (want != live.end() && *want < track)
                        ++want;
                    if (want != live.end() && *want == track)
                        tally.vote(track, postingFrame(posting) - q.frame);
                }
                continue;
            }
            size_t at = 0;
            for (uint32_t track : live) {
                at = firstAtOrAbove(list, at, static_cast<uint64_t>(track) << FingerprintConfig::kTimeBits);
                for (; at < list.count && postingTrack(list[at]) == track; ++at)
                    tally.vote(track, postingFrame(list[at]) - q.frame);
                if (at == list.count)
                    break;
            }
        }
    return tally.best(tolerance_);
}

} // namespace melodex::fp
