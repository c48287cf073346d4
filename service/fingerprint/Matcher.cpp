#include "Matcher.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <span>

namespace melodex::fp {
namespace {

// Looks a hash up in every segment; the entries over all of them.
size_t lookupAll(std::span<const std::unique_ptr<IndexSegment>> segments, uint32_t hash, std::vector<PostingList>& lists) {
    size_t total = 0;
    for (size_t s = 0; s < segments.size(); ++s)
        total += (lists[s] = segments[s]->lookup(hash)).count;
    return total;
}

// The first entry of a sorted list at or after `lo` not below `value`.
size_t firstAtOrAbove(const PostingList& list, size_t lo, uint64_t value) {
    size_t hi = list.count;
    while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        if (list[mid] < value)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

} // namespace

Matcher::Matcher(const FingerprintIndex& index, int offsetTolerance, uint32_t maxHashList, int describeFrom)
    : index_(index), tolerance_(offsetTolerance), maxHashList_(maxHashList), describeFrom_(describeFrom) {}

void Matcher::describe(const std::vector<Landmark>& query, MatchCandidate& candidate, bool everyList) const {
    if (!candidate.any || candidate.score < describeFrom_)
        return;
    const uint64_t first = static_cast<uint64_t>(candidate.track) << FingerprintConfig::kTimeBits;
    std::vector<int32_t> frames;
    const auto segments = index_.segments();
    std::vector<PostingList> lists(segments.size());
    for (const Landmark& q : query) {
        if (lookupAll(segments, q.hash, lists) > maxHashList_ && !everyList)
            continue;
        for (const PostingList& list : lists) {
            for (size_t lo = firstAtOrAbove(list, 0, first); lo < list.count && postingTrack(list[lo]) == candidate.track; ++lo)
                if (std::abs(postingFrame(list[lo]) - q.frame - candidate.offset) <= tolerance_)
                    frames.push_back(q.frame);
        }
    }
    std::sort(frames.begin(), frames.end());
    candidate.anchors = static_cast<int>(std::unique(frames.begin(), frames.end()) - frames.begin());
}

MatchCandidate Matcher::match(const std::vector<Landmark>& query) const {
    VoteTally tally;
    return match(query, tally);
}

MatchCandidate Matcher::match(const std::vector<Landmark>& query, VoteTally& tally) const {
    tally.clear();
    const auto segments = index_.segments();
    std::vector<PostingList> lists(segments.size());
    for (const Landmark& q : query) {
        if (lookupAll(segments, q.hash, lists) > maxHashList_)
            continue;
        for (const PostingList& list : lists)
            for (size_t i = 0; i < list.count; ++i) {
                const uint64_t posting = list[i];
                const uint32_t track = postingTrack(posting);
                if (!index_.isDeleted(track))
                    tally.vote(track, postingFrame(posting) - q.frame);
            }
    }
    MatchCandidate best = tally.best(tolerance_);
    describe(query, best, false);
    return best;
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
    MatchCandidate best = tally.best(tolerance_);
    describe(query, best, true);
    return best;
}

} // namespace melodex::fp
