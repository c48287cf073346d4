// Stage 4 of the fingerprinter: look every query landmark up in the index and find the
// track and offset where most of them line up (VoteTally).
#pragma once

#include "FingerprintIndex.h"
#include "HashBuilder.h"
#include "VoteTally.h"

#include <cstdint>
#include <vector>

namespace melodex::fp {

class Matcher {
public:
    // Hashes with more than maxHashList entries in the whole index are not read. The best
    // candidate's anchors are counted for a score of at least describeFrom: below the floors no
    // decision needs them, and counting walks every list the vote read once more.
    Matcher(const FingerprintIndex& index, int offsetTolerance, uint32_t maxHashList = UINT32_MAX, int describeFrom = 0);

    MatchCandidate match(const std::vector<Landmark>& query) const;
    // The same, voting in a caller's tally (cleared first) whose buffers outlive the call.
    MatchCandidate match(const std::vector<Landmark>& query, VoteTally& tally) const;

    // The same, counting only the votes for `tracks` (ascending ids), and reading no hash list
    // whole: within a hash's entries one track's are one run (entries are sorted by hash, then
    // track), found by a galloping search from the last track's. The cost follows the tracks
    // asked about, not the lists' length, so no list is too long to read here.
    MatchCandidate matchTracks(const std::vector<Landmark>& query, const std::vector<uint32_t>& tracks,
                               VoteTally& tally) const;

private:
    // Looks up each distinct hash of the query once, in ascending hash order: one lookup
    // serves every frame of a hash, and ascending hashes read the directory and the entries in
    // file order, where the landmarks' own order missed the cache at every lookup.
    void lookUp(const std::vector<Landmark>& query) const;
    // Calls visit(frames, lists, total) for each hash of the last lookUp, ascending: the query
    // frames that carry it, its entries in every segment, and their count.
    template <typename Visit>
    void forEachFound(Visit&& visit) const;

    // The candidate's anchors: the query frames of the hits within the tolerance of its offset
    // for its track, in the lists the vote just read (longer than maxHashList left out unless
    // everyList), without looking them up again.
    void describe(MatchCandidate& candidate, bool everyList) const;

    const FingerprintIndex& index_;
    int tolerance_;
    uint32_t maxHashList_;
    int describeFrom_;
    // Buffers reused by every pass of one query (a Matcher serves one query on one thread).
    mutable std::vector<uint64_t> keys_;
    mutable std::vector<uint64_t> scratch_;
    mutable std::vector<int32_t> frames_;
    mutable std::vector<uint32_t> hashes_;       // the query's distinct hashes, ascending
    mutable std::vector<size_t> starts_;         // where each begins in keys_
    mutable std::vector<PostingList> found_;     // their lists, segment after segment
};

} // namespace melodex::fp
