// Stage 4 of the fingerprinter: look every query landmark up in the index and find the
// track and offset where most of them line up (VoteTally).
#pragma once

#include "FingerprintIndex.h"
#include "HashBuilder.h"
#include "VoteTally.h"

#include <cstdint>
#include <optional>
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

    // The same, and beside it each track's pairs counted together with its rendering's across
    // a large room (HashBuilder::buildRoomReference), folded onto the track's own frames, in
    // `withRoom`. Only where the index's lists are read (a small catalog, where pairs are counted
    // for every track): elsewhere the count with the room is none.
    struct WithRoom {
        MatchCandidate dry;
        MatchCandidate withRoom;
    };
    WithRoom matchTracksWithRoom(const std::vector<Landmark>& query, const std::vector<uint32_t>& tracks, VoteTally& tally,
                                 VoteTally& withRoom) const;

    // From now on matchTracks (with `always`) or only matchTracksWithin makes the tracks' pairs
    // again from their own peaks (FingerprintIndex::peaksOf, config's refPairFanOut) and joins
    // them with the query's hashes, instead of searching the index's hash lists for them. In a
    // large catalog a pair's list holds thousands of other tracks' entries, and finding a few
    // tracks in every list costs more than making their few thousand pairs; in a small one the
    // lists are short and the index is the cheaper way for whole tracks, while a window of a
    // track is cheaper joined. The votes are the same either way.
    enum class FromPeaks { always, withinWindows };
    void countPairsFromPeaks(const FingerprintConfig& config, FromPeaks when = FromPeaks::always);

    // The same, counting a track's pairs only for its anchors within `frames` (the first and
    // last frame of each track, in the tracks' order): the quick look under a change knows
    // where each nominee's triples lined up, and the support of a match where it lies, and a
    // window there costs a fraction of the whole track. Without countPairsFromPeaks it counts
    // whole tracks as matchTracks does (as it does when the windows are not one a track).
    MatchCandidate matchTracksWithin(const std::vector<Landmark>& query, const std::vector<uint32_t>& tracks,
                                     const std::vector<std::pair<int32_t, int32_t>>& frames, VoteTally& tally) const;

private:
    // One query's lookup: its hashes with their frames, and the lists they found.
    struct Lookup {
        std::vector<Landmark> query;     // kept only where a lookup is used again (counted_)
        std::vector<uint64_t> keys;      // (hash << 32) | frame, ascending
        std::vector<uint32_t> hashes;    // the query's distinct hashes, ascending
        std::vector<size_t> starts;      // where each begins in keys
        std::vector<PostingList> found;  // their lists, segment after segment
    };

    // Looks up each distinct hash of the query once, in ascending hash order: one lookup
    // serves every frame of a hash, and ascending hashes read the directory and the entries in
    // file order, where the landmarks' own order missed the cache at every lookup.
    void lookUp(const std::vector<Landmark>& query, Lookup& into) const;
    // matchTracks and matchTracksWithRoom: a rendering's entries vote in `withRoom` (with the
    // track's own) when it is given, else nowhere.
    WithRoom countTracks(const std::vector<Landmark>& query, const std::vector<uint32_t>& tracks, VoteTally& tally,
                         VoteTally* withRoom) const;
    // The first half of lookUp: the keys, hashes and starts of the query, nothing looked up.
    void sortQuery(const std::vector<Landmark>& query, Lookup& into) const;
    // Calls visit(frames, lists, total) for each hash of a lookup, ascending: the query
    // frames that carry it, its entries in every segment, and their count.
    template <typename Visit>
    void forEachFound(const Lookup& looked, Visit&& visit) const;

    // The candidate's anchors and hashes: the query frames and the query hashes of the hits
    // within the tolerance of its offset for its track, in the lists the vote just read
    // (`looked`; longer than maxHashList left out unless everyList), without looking them up
    // again; a track's rendering across a large room counts (at its track's frames) only when
    // `foldRoom`.
    void describe(MatchCandidate& candidate, const Lookup& looked, bool everyList, bool foldRoom = false) const;

    MatchCandidate matchTracksFromPeaks(const std::vector<Landmark>& query, const std::vector<uint32_t>& tracks,
                                        VoteTally& tally, const std::vector<std::pair<int32_t, int32_t>>* frames = nullptr) const;
    // After sortQuery: a table (and a bitmap) of the query's distinct hashes, and a hash's place
    // among them found through them (SIZE_MAX for a hash the query does not hold).
    void indexQuery() const;
    // Inline: it is asked of every pair of every nominee, and most are turned away by the bitmap.
    size_t queryHashAt(uint32_t hash) const {
        const uint32_t bit = seenBit(hash);
        if ((seen_[bit / 64] >> (bit % 64) & 1) == 0)
            return SIZE_MAX;
        return queryHashInTable(hash);
    }
    size_t queryHashInTable(uint32_t hash) const;
    // A bit for each of 2^kSeenBits classes of hash: most of a track's pairs share no hash with
    // the query, and this 32 KB turns them away from the first level of the cache instead of
    // the table.
    static constexpr int kSeenBits = 18;
    static uint32_t seenBit(uint32_t hash) { return (hash * 0x9E3779B1u) >> (32 - kSeenBits); }

    const FingerprintIndex& index_;
    int tolerance_;
    uint32_t maxHashList_;
    int describeFrom_;
    // Buffers reused by every pass of one query (a Matcher serves one query on one thread).
    mutable Lookup looked_;   // the last vote's
    mutable Lookup counted_;  // the last count of given tracks' (countTracks)
    mutable std::vector<uint64_t> scratch_;
    mutable std::vector<int32_t> frames_;
    mutable std::vector<uint64_t> liveBits_;    // the tracks a count asks about (countTracks)
    // Pairs from peaks (countPairsFromPeaks).
    std::optional<HashBuilder> pairBuilder_;
    int refPairFanOut_ = 0;
    bool everyCountFromPeaks_ = false;
    mutable std::vector<uint64_t> slots_;        // open addressing: (hash << 32) | (place + 1), 0 empty
    mutable int slotBits_ = 0;
    mutable std::vector<uint64_t> seen_;         // which classes of hash the query holds
};

} // namespace melodex::fp
