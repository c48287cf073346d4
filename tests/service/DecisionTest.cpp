// The decisions of a query: which candidate is best and which tracks are worth a second look
// (VoteTally), and whether the best is a match (IsMatch).
#include "fingerprint/Identifier.h"
#include "fingerprint/VoteTally.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstdlib>
#include <map>
#include <random>
#include <vector>

using namespace melodex::fp;

namespace {

struct Votes {
    uint32_t track;
    int32_t offset;
    int count;
};

VoteTally Tally(const std::vector<Votes>& votes) {
    VoteTally tally;
    for (const Votes& v : votes)
        for (int i = 0; i < v.count; ++i)
            tally.vote(v.track, v.offset + i % 2);
    return tally;
}

} // namespace

// Ties go to the lower track, then to the lower offset, whatever order the votes came in; a
// strictly higher score wins from anywhere; the runner-up is the best other track.
TEST(VoteTally, TiesGoToTheLowerTrackThenTheLowerOffset) {
    const struct {
        std::vector<Votes> votes;
        MatchCandidate best;
    } cases[] = {
        {{{9, 5, 3}, {4, 100, 3}}, {true, 4, 100, 3, 3}},
        {{{4, 100, 3}, {9, 5, 3}}, {true, 4, 100, 3, 3}},
        {{{4, 50, 2}, {4, 10, 2}}, {true, 4, 10, 2, 0}},
        {{{4, 10, 3}, {9, -7, 4}}, {true, 9, -7, 4, 3}},
        {{{4, 10, 2}, {4, 11, 1}, {9, 0, 3}}, {true, 4, 10, 3, 3}},  // 10 and 11 within the tolerance
        {{}, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Tally(c.votes).best(1), c.best) << "case " << (&c - cases);
}

// The leaders: the best scores first, ties to the lower id, any count, in id order.
TEST(VoteTally, LeadersAreTheBestScoredTracksInIdOrder) {
    VoteTally tally = Tally({{9, 100, 5}, {3, 100, 2}, {4, 100, 5}, {7, 100, 1}, {1, 100, 3}});
    tally.best(1);
    const struct {
        size_t count;
        std::vector<uint32_t> want;
    } cases[] = {{0, {}}, {1, {4}}, {2, {4, 9}}, {3, {1, 4, 9}}, {4, {1, 3, 4, 9}}, {9, {1, 3, 4, 7, 9}}};
    for (const auto& c : cases)
        EXPECT_EQ(tally.leaders(c.count), c.want) << c.count;
}

// The best window of one track whose centre lies within the slack of an offset: other
// tracks' votes and windows centred further off do not count.
TEST(VoteTally, BestNearAnOffsetKeepsToTheTrackAndTheSlack) {
    VoteTally tally = Tally({{4, 100, 5}, {4, 120, 3}, {9, 120, 7}});
    tally.best(1);
    const struct {
        uint32_t track;
        int32_t offset;
        int slack, want;
    } cases[] = {
        {4, 100, 0, 5}, {4, 110, 8, 0}, {4, 110, 10, 5}, {4, 125, 5, 3},
        {9, 118, 2, 7}, {9, 118, 1, 0}, {4, 104, 0, 0}, {5, 100, 50, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(tally.bestNear(c.track, c.offset, c.slack, 1), c.want) << c.track << " near " << c.offset << " within " << c.slack;
}

// The best and runner-up of several sets of tracks, from each set's own.
TEST(VoteTally, MergeTakesTheBestAndTheRunnerUpOverDisjointTracks) {
    const auto c = [](uint32_t track, int score, int runnerUp) { return MatchCandidate{true, track, 7, score, runnerUp}; };
    const MatchCandidate none;
    struct Case {
        const char* name;
        std::vector<MatchCandidate> parts;
        MatchCandidate merged;
    };
    const std::vector<Case> cases = {
        {"no part voted", {none, none}, none},
        {"one part voted", {none, c(5, 20, 3)}, c(5, 20, 3)},
        {"the runner-up is another part's best", {c(1, 20, 3), c(9, 8, 2)}, c(1, 20, 8)},
        {"the runner-up is the winner's own part's", {c(1, 4, 2), c(9, 30, 12)}, c(9, 30, 12)},
        {"a tie goes to the lower track", {c(9, 15, 1), c(4, 15, 2)}, c(4, 15, 15)},
        {"a part that did not vote adds no runner-up", {c(2, 15, 0), none, none}, c(2, 15, 0)},
    };
    for (const Case& k : cases)
        EXPECT_EQ(mergeCandidates(k.parts), k.merged) << k.name;
}

// The best window, its track's runner-up and the windows near an offset are those of counting
// every window by hand, however the offsets spread: within a few frames, across zero, over the
// whole range an offset can take, or with one track's last offset a window's reach below the
// next track's first.
TEST(VoteTally, AgreesWithCountingEveryWindow) {
    const struct {
        const char* name;
        uint32_t tracks;
        int64_t lowest, highest;  // offsets drawn from this range
        size_t votes;
    } cases[] = {
        {"one track, a few frames", 1, 10, 14, 40},
        {"offsets across zero", 6, -300, 300, 900},
        {"the whole range of an offset", 5, INT32_MIN, INT32_MAX, 300},
        {"offsets at both ends only", 3, INT32_MAX - 4, INT32_MAX, 60},
        {"many tracks, few votes each", 5000, -2000, 20000, 3000},
    };
    const int tolerance = 4;
    for (const auto& c : cases) {
        std::mt19937 random(static_cast<uint32_t>(c.votes));
        std::uniform_int_distribution<uint32_t> track(0, c.tracks - 1);
        std::uniform_int_distribution<int64_t> offset(c.lowest, c.highest);
        std::vector<std::pair<uint32_t, int32_t>> votes;
        for (size_t i = 0; i < c.votes; ++i)
            votes.emplace_back(track(random), static_cast<int32_t>(offset(random)));
        // A pile at one offset; a track's highest offset, and the next track's lowest just past
        // it in the order of the sort.
        for (int i = 0; i < 9; ++i)
            votes.emplace_back(c.tracks / 2, static_cast<int32_t>(c.lowest + (c.highest - c.lowest) / 2));
        for (int i = 0; i < 3; ++i) {
            votes.emplace_back(0, static_cast<int32_t>(c.highest));
            votes.emplace_back(c.tracks > 1 ? 1 : 0, static_cast<int32_t>(c.lowest + i));
        }

        VoteTally tally;
        for (const auto& [t, o] : votes)
            tally.vote(t, o);
        const MatchCandidate got = tally.best(tolerance);

        // Every window centred on a vote, counted by hand.
        std::map<uint32_t, int> trackBest;
        MatchCandidate want;
        for (const auto& [t, o] : votes) {
            int sum = 0;
            for (const auto& [t2, o2] : votes)
                sum += t2 == t && std::abs(int64_t{o2} - o) <= tolerance;
            trackBest[t] = std::max(trackBest[t], sum);
            const MatchCandidate here{true, t, o, sum, 0};
            if (!want.any || RanksBefore(here, want))
                want = here;
        }
        for (const auto& [t, score] : trackBest)
            if (t != want.track)
                want.runnerUpScore = std::max(want.runnerUpScore, score);
        EXPECT_EQ(got, want) << c.name;

        // The even tracks and the odd ones counted apart, merged, give the same.
        VoteTally even, odd;
        for (const auto& [t, o] : votes)
            (t % 2 == 0 ? even : odd).vote(t, o);
        EXPECT_EQ(mergeCandidates(std::array{even.best(tolerance), odd.best(tolerance)}), want) << c.name << ", merged";

        // Near the best offset, the best window of that track within a slack, by hand too.
        for (const int slack : {0, 3, 8}) {
            int near = 0;
            for (const auto& [t, o] : votes) {
                if (t != want.track || std::abs(int64_t{o} - want.offset) > slack)
                    continue;
                int sum = 0;
                for (const auto& [t2, o2] : votes)
                    sum += t2 == t && std::abs(int64_t{o2} - o) <= tolerance;
                near = std::max(near, sum);
            }
            EXPECT_EQ(tally.bestNear(want.track, want.offset, slack, tolerance), near) << c.name << ", slack " << slack;
        }
    }
}

// A match needs its floor (higher for a speed or pitch hypothesis, higher again for a far one;
// its own for pairs), its ratio over the runner-up (pairs counted for every track with a vote
// have their own under the plain hypothesis, lower as their hits come from more distinct query
// frames, and asked of their distinct hashes), and aligned hits from enough distinct query
// frames: hits that line up at a few frames only are a chance alignment, however many. Pairs
// that line up under a change must line up again near the same offset under the hypotheses a
// step either side (the support); the plain hypothesis and triples are not asked.
TEST(MatchDecision, FloorsRunnerUpRatioAnchorsAndSupport) {
    FingerprintConfig config;
    config.minScore = 15;
    config.minScoreResampled = 24;
    config.minScoreRatio = 3.0f;
    config.farChange = 0.035;
    config.minScoreFar = 30;
    config.minPairScore = 20;
    config.minPairScoreRatio = 2.5f;
    config.minPairScoreRatioEveryTrack = 2.2f;
    config.broadPairAnchors = 18;
    config.minPairScoreRatioBroad = 1.6f;
    config.narrowPairAnchors = 10;
    config.minPairScoreRatioNarrow = 3.0f;
    config.minPairSupport = 10;
    config.minAnchors = 6;
    config.minRoomPairScore = 24;
    config.broadRoomAnchors = 24;
    config.minRoomRatioBroad = 1.8f;
    config.minRoomRatio = 2.5f;
    const struct {
        int score, runnerUp;
        Change change;
        bool byPairs;
        int anchors;
        bool match;
        PairRivals rivals = PairRivals::Nominees;
        int hashes = -1;  // distinct hashes among the hits; -1: one for each hit
        int support = 10;
    } cases[] = {
        {14, 0, {}, false, 6, false}, {15, 0, {}, false, 6, true}, {16, 0, {}, false, 6, true},
        {23, 0, Change::speed(1.02), false, 6, false}, {24, 0, Change::speed(0.98), false, 6, true},
        {24, 0, {1.0, 1.03}, false, 6, true},  // a pitch within reach of the plain floors' neighbours
        {29, 0, Change::speed(1.05), false, 6, false}, {30, 0, Change::speed(0.95), false, 6, true},  // far changes need more
        {29, 0, {1.0, 1.06}, false, 6, false}, {30, 0, {1.0, 0.94}, false, 6, true},
        {30, 10, {}, false, 6, true}, {29, 10, {}, false, 6, false},  // 3 times the runner-up, exactly and not quite
        {15, 5, {}, false, 6, true}, {15, 6, {}, false, 6, false},
        {21, 7, {}, false, 4, false},  // a smeared chord: many hits from a few frames
        {21, 7, {}, false, 5, false}, {21, 7, {}, false, 6, true},
        {60, 0, {}, false, 5, false},  // a high score does not make up for them
        {19, 0, {}, true, 6, false}, {20, 0, {}, true, 6, true},
        {26, 10, {}, true, 5, false}, {26, 10, {}, true, 6, true}, {26, 10, {}, false, 6, false},
        {22, 10, {}, true, 10, false}, {22, 10, {}, true, 10, true, PairRivals::EveryTrack},
        {21, 10, {}, true, 17, false, PairRivals::EveryTrack},
        {30, 10, {}, true, 9, true, PairRivals::EveryTrack},  // from few frames, a lead of 3
        {29, 10, {}, true, 9, false, PairRivals::EveryTrack},
        {20, 12, {}, true, 18, true, PairRivals::EveryTrack},  // from many, of 1.6
        {19, 12, {}, true, 18, false, PairRivals::EveryTrack}, {20, 12, {}, true, 17, false, PairRivals::EveryTrack},
        {24, 10, {}, true, 18, false},  // among nominees 2.5 from any number of frames
        {24, 10, Change::speed(1.01), true, 18, false, PairRivals::EveryTrack},  // a change keeps 2.5
        {25, 10, Change::speed(1.01), true, 6, true, PairRivals::EveryTrack},
        {29, 10, {}, false, 18, false, PairRivals::EveryTrack},  // and triples their 3
        // A figure both songs repeat lines up at every repetition: over every track the lead
        // is counted in distinct hashes, the floor still in hits.
        {25, 10, {}, true, 13, false, PairRivals::EveryTrack, 16}, {25, 10, {}, true, 13, false, PairRivals::EveryTrack, 21},
        {25, 10, {}, true, 13, true, PairRivals::EveryTrack, 22},
        {20, 12, {}, true, 18, false, PairRivals::EveryTrack, 19}, {30, 10, {}, true, 9, false, PairRivals::EveryTrack, 29},
        {20, 0, {}, true, 18, true, PairRivals::EveryTrack, 1},
        {25, 10, {}, true, 13, true, PairRivals::Nominees, 10},  // not among nominees
        {25, 10, Change::speed(1.01), true, 6, true, PairRivals::EveryTrack, 10},  // nor under a change
        {30, 10, {}, false, 18, true, PairRivals::EveryTrack, 1},  // nor for triples
        // Counted with the tracks' renderings across a large room: a floor and leads of its own.
        {23, 0, {}, true, 24, false, PairRivals::EveryTrackWithRoom}, {24, 0, {}, true, 24, true, PairRivals::EveryTrackWithRoom},
        {36, 20, {}, true, 24, true, PairRivals::EveryTrackWithRoom}, {35, 20, {}, true, 24, false, PairRivals::EveryTrackWithRoom},
        {36, 20, {}, true, 23, false, PairRivals::EveryTrackWithRoom},  // 2.5 below 24 frames
        {50, 20, {}, true, 23, true, PairRivals::EveryTrackWithRoom}, {49, 20, {}, true, 10, false, PairRivals::EveryTrackWithRoom},
        {60, 20, {}, true, 9, true, PairRivals::EveryTrackWithRoom}, {59, 20, {}, true, 9, false, PairRivals::EveryTrackWithRoom},
        {50, 20, {}, true, 24, false, PairRivals::EveryTrackWithRoom, 35},  // its lead in distinct hashes too
        // Music not in the catalog, lined up under one speed.
        {30, 10, Change::speed(0.94), true, 12, false, PairRivals::Nominees, -1, 8},
        {30, 10, Change::speed(1.01), true, 12, false, PairRivals::Nominees, -1, 9},
        {30, 10, Change::speed(1.01), true, 12, true, PairRivals::Nominees, -1, 10},
        {30, 10, {1.0, 0.95}, true, 12, false, PairRivals::Nominees, -1, 9},  // a transposition alike
        {30, 10, {}, true, 12, true, PairRivals::Nominees, -1, 0},
        {30, 10, Change::speed(0.97), false, 12, true, PairRivals::Nominees, -1, 0},
    };
    for (const auto& c : cases) {
        MatchCandidate candidate{true, 3, 0, c.score, c.runnerUp};
        candidate.anchors = c.anchors;
        candidate.hashes = c.hashes < 0 ? c.score : c.hashes;
        candidate.support = c.support;
        EXPECT_EQ(IsMatch(config, candidate, c.change, c.byPairs, c.rivals), c.match)
            << c.score << " over " << c.runnerUp << " from " << c.anchors << " frames at tempo " << c.change.tempo
            << ", pitch " << c.change.pitch << ", " << candidate.hashes << " hashes, support " << c.support
            << (c.byPairs ? " (pairs" : " (triples")
            << (c.rivals == PairRivals::EveryTrack ? ", every track)" : c.rivals == PairRivals::EveryTrackWithRoom ? ", with rooms)" : ")");
    }
    EXPECT_FALSE(IsMatch(config, MatchCandidate{false, 0, 0, 40, 0}, {})) << "no vote at all";
}

namespace {

// One hypothesis's result as the decision sees it.
struct Tried {
    double speed;
    bool matched;
    bool byPairs;
    uint32_t track;
    int score;
};

Identification Result(const Tried& t, size_t postingsRead) {
    Identification r;
    r.speed = r.pitch = t.speed;
    r.matched = t.matched;
    r.byPairs = t.byPairs;
    r.track = t.track;
    r.score = t.score;
    r.postingsRead = postingsRead;
    return r;
}

} // namespace

// A match by triples ends the search wherever it comes, and so does a match by pairs under a
// change. A match by pairs under the plain hypothesis is held while the changes are tried: a
// later match by pairs that scores higher takes its place (and ends the search unless it is
// the plain hypothesis's again), one that scores lower does not.
TEST(MatchDecision, AMatchByPairsUnderThePlainHypothesisWaitsForTheChanges) {
    const struct {
        const char* name;
        std::vector<Tried> tried;
        size_t endsAt;  // the hypothesis after which no other is tried; the count when none
        uint32_t track;
        double speed;
    } cases[] = {
        {"triples at once", {{1.0, true, false, 4, 40}, {1.0, false, false, 9, 3}}, 0, 4, 1.0},
        {"pairs under a change at once", {{1.0, false, false, 2, 5}, {1.02, true, true, 4, 30}, {0.98, true, false, 6, 90}}, 1, 4, 1.02},
        {"a near relative gives way to the song's own speed",
         {{1.0, true, true, 7, 32}, {1.01, false, false, 7, 9}, {0.95, true, true, 4, 69}, {0.94, true, false, 6, 90}}, 2, 4, 0.95},
        {"a lower score under a change does not take its place",
         {{1.0, true, true, 7, 52}, {1.03, true, true, 4, 40}, {0.97, false, false, 4, 6}}, 3, 7, 1.0},
        {"an equal score does not either", {{1.0, true, true, 7, 40}, {1.03, true, true, 4, 40}}, 2, 7, 1.0},
        {"triples take its place at any score", {{1.0, true, true, 7, 80}, {1.04, true, false, 5, 16}}, 1, 5, 1.04},
        {"the plain hypothesis's second look holds a better match",
         {{1.0, true, true, 7, 20}, {1.0, true, true, 3, 45}, {1.01, true, true, 7, 30}, {0.99, false, false, 1, 2}}, 4, 3, 1.0},
        {"nothing matched: the first, or a later one scoring higher",
         {{1.0, false, false, 2, 11}, {1.01, false, false, 3, 9}, {0.99, false, false, 5, 12}, {1.02, false, true, 6, 12}}, 4, 5, 0.99},
    };
    for (const auto& c : cases) {
        Verdict verdict;
        size_t endsAt = c.tried.size();
        for (size_t k = 0; k < c.tried.size(); ++k)
            if (verdict.add(Result(c.tried[k], 100 * (k + 1)))) {
                endsAt = k;
                break;
            }
        const Identification answer = verdict.answer();
        EXPECT_EQ(endsAt, c.endsAt) << c.name;
        EXPECT_EQ(answer.track, c.track) << c.name;
        EXPECT_EQ(answer.speed, c.speed) << c.name;
        // What was read counts every hypothesis tried, not only up to the answer's.
        EXPECT_EQ(answer.postingsRead, 100 * std::min(endsAt + 1, c.tried.size())) << c.name;
    }
}

// The quick look at the pairs under a change leads to the whole pass only for a score at its
// floor that stands its ratio above the runner-up's (music not in the catalog often reaches the
// floor there, with a rival close behind), and not for the track a match under the plain
// hypothesis holds: the song lines up again under the speeds beside its own, and a whole pass
// could only name it again.
TEST(MatchDecision, TheQuickLookLeadsToAWholePassOnItsScoreAndLeadForATrackNotHeld) {
    FingerprintConfig config;
    config.pairScreenScore = 8;
    config.pairScreenRatio = 1.5f;
    const std::vector<Tried> nothingHeld = {{1.0, false, false, 4, 9}}, fourHeld = {{1.0, true, true, 4, 30}};
    const struct {
        const char* name;
        std::vector<Tried> before;
        uint32_t track;
        int score, runnerUp;
        bool worth;
    } cases[] = {
        {"below the floor", {}, 4, 7, 0, false},
        {"at the floor", {}, 4, 8, 0, true},
        {"1.5 times the runner-up", {}, 4, 12, 8, true},
        {"not quite 1.5 times", {}, 4, 12, 9, false},
        {"far above the floor, not quite 1.5 times", {}, 4, 30, 21, false},
        {"far above the floor, 1.5 times", {}, 4, 30, 20, true},
        {"nothing held", nothingHeld, 4, 20, 2, true},
        {"the held track", fourHeld, 4, 20, 2, false},
        {"another track", fourHeld, 5, 20, 2, true},
        {"another track below the look's floor", fourHeld, 5, 7, 2, false},
    };
    for (const auto& c : cases) {
        Verdict verdict;
        for (const Tried& t : c.before)
            verdict.add(Result(t, 0));
        const MatchCandidate look{true, c.track, 0, c.score, c.runnerUp};
        EXPECT_EQ(worthAWholePass(config, look, verdict), c.worth) << c.name << ": " << c.score << " over " << c.runnerUp;
    }
}

// A plain pass counts the pairs of the tracks the last one did not count, and merges with its
// answer, only while it nominates every track counted before; otherwise it counts its own.
TEST(MatchDecision, APlainPassCountsOnlyTheTracksTheLastOneDidNot) {
    const MatchCandidate counted{true, 5, 7, 20, 3};
    const MatchCandidate paired{true, 9, 7, 8, 1};
    const MatchCandidate merged{true, 5, 7, 20, 8};
    const struct {
        const char* name;
        std::vector<uint32_t> nominees, counted, tracks;
        MatchCandidate answer;
    } cases[] = {
        {"nothing counted yet", {2, 5}, {}, {2, 5}, merged},
        {"the same tracks", {2, 5}, {2, 5}, {}, merged},
        {"tracks added around", {1, 2, 5, 9}, {2, 5}, {1, 9}, merged},
        {"a track counted before is not nominated", {2, 9}, {2, 5}, {2, 9}, paired},
        {"nothing nominated", {}, {2, 5}, {}, paired},
    };
    for (const auto& c : cases) {
        const PlainPairs got = plainPairsToCount(c.nominees, c.counted);
        EXPECT_EQ(got.tracks, c.tracks) << c.name;
        EXPECT_EQ(got.answer(counted, paired), c.answer) << c.name;
    }
}
