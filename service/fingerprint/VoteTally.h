// Time-offset consistency (Wang 2003, section 2.3): every landmark hit votes for a (track,
// reference frame - query frame) pair; the clip's true position collects many votes at one
// offset, chance hits scatter. The fast matcher counts its votes here; the naive reference
// matcher counts its own, so that the two check each other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

namespace melodex::fp {

struct MatchCandidate {
    bool any = false;        // at least one vote was cast
    uint32_t track = 0;
    int32_t offset = 0;      // reference frame minus query frame at the best alignment
    int score = 0;           // votes within +-tolerance frames of that offset
    int runnerUpScore = 0;   // the best score of any other track
    int anchors = 0;         // distinct query frames among those votes (Matcher fills it in)
    int support = 0;         // pairs under a change: the same alignment's best score under the
                             // neighbouring hypotheses (fp::addPairSupport fills it in)
    int hashes = 0;          // distinct query hashes among those votes: a figure both songs
                             // repeat at the same period lines up at every repetition, and
                             // counts once here (Matcher fills it in with the anchors)
    bool operator==(const MatchCandidate&) const = default;
};

// The order of candidates, which decides ties the same way whatever order the votes came in:
// more votes first; of equal votes the lower track id, then the lower offset (the track's
// earliest alignment). True when a ranks before b.
bool RanksBefore(const MatchCandidate& a, const MatchCandidate& b);

// The best and runner-up over disjoint sets of tracks, from each set's best and runner-up:
// votes never mix tracks, so this is what one tally over their union finds.
MatchCandidate mergeCandidates(std::span<const MatchCandidate> parts);

// A track's best window: its score, and where it lies.
struct Leader {
    uint32_t track = 0;
    int score = 0;
    int32_t offset = 0;
    bool operator==(const Leader&) const = default;
};
// The order of leaders: the higher score first, of equal scores the lower track id.
bool LeadsBefore(const Leader& a, const Leader& b);

class VoteTally {
public:
    void vote(uint32_t track, int32_t offset);
    size_t voteCount() const { return votes_.size(); }

    // The best-aligned track (RanksBefore decides ties).
    MatchCandidate best(int tolerance);

    // After best(): the `count` tracks of the highest scores (ties to the lower id), in id
    // order; the tracks a second, costlier look is worth spending on.
    std::vector<uint32_t> leaders(size_t count) const;
    // The same with their scores and offsets, best first: the leaders of a partitioned catalog
    // are the best of the partitions' leaders.
    std::vector<Leader> leaderScores(size_t count) const;
    // After best(): the best score of `track` with its window centred within `slack` frames of
    // `offset` (0 when it has no vote there).
    int bestNear(uint32_t track, int32_t offset, int slack, int tolerance) const;
    // After best(): the offset of `track`'s best window (0 when it has no vote).
    int32_t bestOffsetOf(uint32_t track) const;

    // Forgets the votes but keeps the memory: a query's speed hypotheses reuse one tally, as
    // fresh buffers of up to ~100000 votes cost more in page faults and copies than in votes.
    // Voting again after best() needs it first.
    void clear() { votes_.clear(); }

private:
    // Rewrites the votes as (track << offsetBits_) | (biased offset - low_), the fewest bits
    // these votes need, for the sort.
    void pack();
    uint32_t trackOf(uint64_t key) const { return static_cast<uint32_t>(key >> offsetBits_); }
    int64_t offsetOf(uint64_t key) const;

    std::vector<uint64_t> votes_;  // (track << 32) | (offset + 2^31); after best(), packed and sorted
    std::vector<uint64_t> scratch_;
    uint32_t low_ = 0;
    int offsetBits_ = 32;
    std::vector<Leader> trackBest_;  // each track's best window, in track order
};

} // namespace melodex::fp
