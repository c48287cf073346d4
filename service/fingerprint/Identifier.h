// The whole query road for one recording: peaks, landmarks, matching, and the decision
// whether the best candidate is a match at all (score threshold, margin over the runner-up).
// Small changes of speed or pitch are undone by trying the recording's peaks again, moved to
// where each of a few changes would put them.
#pragma once

#include "FingerprintConfig.h"
#include "FingerprintIndex.h"
#include "HashBuilder.h"
#include "Matcher.h"
#include "PeakAgreement.h"
#include "PeakExtractor.h"
#include "VoteTally.h"

#include <optional>
#include <span>
#include <vector>

namespace melodex::fp {

struct Identification {
    bool matched = false;
    uint32_t track = 0;
    double offsetSeconds = 0.0;  // where in the track the recording starts
    int score = 0;               // aligned landmark hits of the best candidate
    int runnerUpScore = 0;
    int anchors = 0;             // distinct query frames of the aligned hits (MatchCandidate)
    int hashes = 0;              // distinct query hashes of the aligned hits (MatchCandidate)
    int support = 0;             // pairs under a change: the neighbouring hypotheses' score (MatchCandidate)
    double speed = 1.0;          // the tempo factor that matched (a speed changes the pitch alike)
    double pitch = 1.0;          // the pitch factor that matched
    int timeJitter = 0;          // frames off the triples' frame differences were looked up
    bool byPairs = false;        // the score counts pairs of peaks among the triples' nominees
    // A match no count decided, found by the last look at the plain pairs' leaders: how far
    // its track's peaks stand out in the recording's spectrogram (PeakAgreement); else both 0.
    Agreement agreement;
    size_t queryLandmarks = 0;
    size_t postingsRead = 0;     // index entries that voted, over every speed tried
};

// Whom a candidate by pairs was measured against: the few tracks the triples nominated (a large
// catalog), or every track that had a vote (a small one).
// EveryTrackWithRoom: every track, each counted with its rendering across a large room.
enum class PairRivals { Nominees, EveryTrack, EveryTrackWithRoom };

// The decision, from the best track's score and the runner-up track's alone: votes for a
// track never mix with another's, so the best and runner-up of disjoint parts of a catalog,
// merged, give exactly the decision made over the whole. Pairs (`byPairs`), counted only for
// the tracks the triples nominated, have floors of their own, and ratios of their own when
// every track was counted under the plain hypothesis: lower as the best track's hits come from
// more distinct query frames (`anchors`), and asked of its distinct hashes (`hashes`).
bool acceptsMatch(const FingerprintConfig& config, const MatchCandidate& candidate, Change change, bool byPairs = false,
                  PairRivals rivals = PairRivals::Nominees);

// The same for the best candidate of one hypothesis: at least config.minScore aligned hits
// (config.minScoreResampled under any change, config.minScoreFar under one further than
// config.farChange, as every change tried is another chance for music not in the catalog to
// match), and at least config.minScoreRatio times the score of the best other track, from at
// least config.minAnchors query frames; pairs under a change also need config.minPairSupport
// from the neighbouring hypotheses. False when nothing voted at all.
bool IsMatch(const FingerprintConfig& config, const MatchCandidate& candidate, Change change, bool byPairs = false,
             PairRivals rivals = PairRivals::Nominees);

// The lowest score any hypothesis accepts: below it a candidate is not worth describing.
int lowestFloor(const FingerprintConfig& config);

// Fills in the support of a pairs candidate found under `change` (peaks: the recording's, as
// found; the candidate's track among those the pairs were counted for), when the candidate
// is one the decision would ask it of: a change, and a candidate the rest of the decision
// accepts (its floor, its lead over the runner-up, its anchors), as the support costs two
// more passes of pairs. The same whether the catalog is searched whole or a partition at a
// time: a partition's runner-up is never above the whole catalog's, so every candidate the
// whole catalog asks support of, its partition asks it of too.
void addPairSupport(const FingerprintConfig& config, const PeakExtractor& extractor, const HashBuilder& hashes,
                    const Matcher& matcher, const std::vector<Peak>& peaks, Change change, MatchCandidate& candidate);

// What the decision under one hypothesis found: its best candidate (by pairs or by triples).
Identification describe(const FingerprintConfig& config, const MatchCandidate& candidate, const Hypothesis& hypothesis,
                        bool matched, bool byPairs, size_t queryLandmarks, size_t postingsRead);

// The answer over the hypotheses, given in the order tried. A match by triples is the answer
// at once, and so is a match by pairs under a change (its neighbours support it). A match by
// pairs under the plain hypothesis is held while the changes are tried, and gives way to a
// later match by triples, or by pairs that scores higher: the pairs of a near relative of a
// song (the song transposed, or reversed in part, or mixed with another) can pass under the
// plain hypothesis before the song's own speed is tried, and there the song's own pairs score
// higher. With no match the answer describes the first hypothesis's best candidate, or a
// later one that scored higher; the Identifier then gives the plain pairs' leaders a last look
// (PeakAgreement), whose match, when it finds one, is added last.
class Verdict {
public:
    // The result under the next hypothesis (its postingsRead counted over every one so far);
    // true when no later hypothesis can change the answer.
    bool add(const Identification& result);
    Identification answer() const;
    // The track a match by pairs under the plain hypothesis holds while the changes are tried.
    std::optional<uint32_t> held() const;

private:
    Identification answer_;
    size_t postingsRead_ = 0;
    bool any_ = false;
};

// The frames of each nominee whose pairs the quick look counts (Matcher::matchTracksWithin):
// the span of the recording's peaks `at` placed at the offset where the nominee's triples
// lined up best (`offsets`, in the nominees' order), and config.pairScreenMargin either side.
std::vector<std::pair<int32_t, int32_t>> lookWindows(const FingerprintConfig& config, const std::vector<Peak>& at,
                                                     const std::vector<int32_t>& offsets);

// The quick look at a change's pairs: within the nominees' windows, or over whole tracks in a
// small catalog (`everyTrack`), whose lists are short enough to read whole.
MatchCandidate quickLook(const Matcher& matcher, const std::vector<Landmark>& pairs, const std::vector<uint32_t>& nominees,
                         const std::vector<std::pair<int32_t, int32_t>>& windows, bool everyTrack, VoteTally& tally);

// Whether a quick look at the pairs under a change (FingerprintConfig::pairScreenFanOut) makes
// their whole pass worth it: a track stands out, and it is not the track held already (the
// song found under the plain hypothesis lines up again under the speeds beside it, and a
// whole pass there could only name it again).
bool worthAWholePass(const FingerprintConfig& config, const MatchCandidate& look, const Verdict& verdict);

// The tracks whose pairs a plain pass counts, given those the last plain pass counted
// (`counted`): its pairs are the same at every frame difference and votes never mix tracks, so
// when it nominates those tracks and more (in a small catalog, every track with a vote, and the
// frames a frame off only add votes) only the new ones are counted, and the answer is theirs
// merged with the last one's.
struct PlainPairs {
    std::vector<uint32_t> tracks;
    bool mergeWithCounted = false;
    // The answer over every nominee, from the last plain pass's and the one over `tracks`.
    MatchCandidate answer(const MatchCandidate& counted, const MatchCandidate& paired) const;
};
PlainPairs plainPairsToCount(const std::vector<uint32_t>& nominees, const std::vector<uint32_t>& counted);

class Identifier {
public:
    Identifier(const FingerprintConfig& config, const FingerprintIndex& index);

    // samples: mono at config.sampleRate.
    Identification identify(std::span<const float> samples) const;

    // The triples a query of these samples looks up under a hypothesis (exposed for tests and
    // the benchmark).
    std::vector<Landmark> queryLandmarks(std::span<const float> samples, const Hypothesis& hypothesis) const;

    // The landmarks the catalog stores for a track's samples (triples and pairs).
    std::vector<Landmark> referenceLandmarks(std::span<const float> samples) const;

private:
    std::vector<Landmark> landmarksUnder(const std::vector<Peak>& at, const Hypothesis& hypothesis) const;
    // Under a change, the pairs of each anchor's nearest few targets vote first (config
    // pairScreenFanOut): a clip that truly matches already stands out there, music not in the
    // catalog seldom does, so the whole pass of pairs is spent only where a match may be.
    bool pairsWorthCounting(const Matcher& matcher, const std::vector<Peak>& at, Change change,
                            const std::vector<uint32_t>& nominees, const Verdict& verdict, bool everyTrack,
                            VoteTally& tally, size_t& postingsRead) const;

    FingerprintConfig config_;
    const FingerprintIndex& index_;
    PeakExtractor peaks_;
    HashBuilder hashes_;
};

} // namespace melodex::fp
