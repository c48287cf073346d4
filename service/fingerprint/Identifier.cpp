#include "Identifier.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace melodex::fp {

namespace {

float everyTrackPairRatio(const FingerprintConfig& config, int anchors, PairRivals rivals) {
    const bool room = rivals == PairRivals::EveryTrackWithRoom;
    if (anchors >= (room ? config.broadRoomAnchors : config.broadPairAnchors))
        return room ? config.minRoomRatioBroad : config.minPairScoreRatioBroad;
    if (anchors < config.narrowPairAnchors)
        return config.minPairScoreRatioNarrow;
    return room ? config.minRoomRatio : config.minPairScoreRatioEveryTrack;
}

// The plain passes' leaders together, best first: the second pass counts only tracks the first
// did not, so a track is in one of them.
void addLeaders(std::vector<Leader>& into, const std::vector<Leader>& more) {
    into.insert(into.end(), more.begin(), more.end());
    std::sort(into.begin(), into.end(), LeadsBefore);
}

// The candidate a last look agreed on: its pairs' window, against the best other leader's.
MatchCandidate agreedCandidate(const Agreed& agreed, const std::vector<Leader>& leaders) {
    MatchCandidate candidate;
    candidate.any = true;
    candidate.track = agreed.leader.track;
    candidate.offset = agreed.leader.offset;
    candidate.score = agreed.leader.score;
    for (const Leader& other : leaders)
        if (other.track != candidate.track)
            candidate.runnerUpScore = std::max(candidate.runnerUpScore, other.score);
    return candidate;
}

} // namespace

bool acceptsMatch(const FingerprintConfig& config, const MatchCandidate& candidate, Change change, bool byPairs,
                  PairRivals rivals) {
    const bool far = change.distance() > config.farChange;
    const int plainPairFloor = rivals == PairRivals::EveryTrackWithRoom ? config.minRoomPairScore : config.minPairScore;
    const int floor = byPairs ? (change.none() ? plainPairFloor : far ? config.minPairScoreFar : config.minPairScoreResampled)
                              : (change.none() ? config.minScore : far ? config.minScoreFar : config.minScoreResampled);
    const bool everyTrack = byPairs && rivals != PairRivals::Nominees && change.none();
    const float ratio = !byPairs ? config.minScoreRatio
                        : everyTrack ? everyTrackPairRatio(config, candidate.anchors, rivals) : config.minPairScoreRatio;
    // Counted over every track, a lead made of one figure repeated is not a lead: it is asked
    // of the distinct hashes (the runner-up's score counts each of its hits, which only asks
    // more).
    const int lead = everyTrack ? candidate.hashes : candidate.score;
    return candidate.score >= floor && static_cast<float>(lead) >= ratio * static_cast<float>(candidate.runnerUpScore);
}

namespace {

// Everything the decision asks of a candidate but the support of the neighbouring hypotheses.
bool acceptedButForSupport(const FingerprintConfig& config, const MatchCandidate& candidate, Change change, bool byPairs,
                           PairRivals rivals = PairRivals::Nominees) {
    return candidate.any && acceptsMatch(config, candidate, change, byPairs, rivals) &&
           candidate.anchors >= config.minAnchors;
}

} // namespace

bool IsMatch(const FingerprintConfig& config, const MatchCandidate& candidate, Change change, bool byPairs,
             PairRivals rivals) {
    return acceptedButForSupport(config, candidate, change, byPairs, rivals) &&
           (!byPairs || change.none() || candidate.support >= config.minPairSupport);
}

void addPairSupport(const FingerprintConfig& config, const PeakExtractor& extractor, const HashBuilder& hashes,
                    const Matcher& matcher, const std::vector<Peak>& peaks, Change change, MatchCandidate& candidate) {
    if (change.none() || !acceptedButForSupport(config, candidate, change, true))
        return;
    VoteTally tally;
    for (const double step : config.supportSteps) {
        // A step moves what the change moves: tempo and pitch for a speed, the pitch alone for
        // a transposition.
        const Change side{change.tempo == 1.0 ? 1.0 : change.tempo + step, change.pitch == 1.0 ? 1.0 : change.pitch + step};
        const std::vector<Landmark> pairs =
            hashes.buildPairs(extractor.undoChange(peaks, side), config.queryPairFanOut, config.pairTimeJitter);
        if (pairs.empty())
            continue;
        // Only the track's anchors that can vote within the slack of the offset are counted.
        const auto [first, last] = std::minmax_element(pairs.begin(), pairs.end(),
                                                       [](const Landmark& a, const Landmark& b) { return a.frame < b.frame; });
        const int32_t reach = config.supportSlack + config.offsetTolerance;
        matcher.matchTracksWithin(pairs, {candidate.track},
                                  {{candidate.offset + first->frame - reach, candidate.offset + last->frame + reach}}, tally);
        candidate.support =
            std::max(candidate.support, tally.bestNear(candidate.track, candidate.offset, config.supportSlack, config.offsetTolerance));
    }
}

PlainPairs plainPairsToCount(const std::vector<uint32_t>& nominees, const std::vector<uint32_t>& counted) {
    if (!std::includes(nominees.begin(), nominees.end(), counted.begin(), counted.end()))
        return {nominees, false};
    PlainPairs added{{}, true};
    std::set_difference(nominees.begin(), nominees.end(), counted.begin(), counted.end(), std::back_inserter(added.tracks));
    return added;
}

MatchCandidate PlainPairs::answer(const MatchCandidate& counted, const MatchCandidate& paired) const {
    return mergeWithCounted ? mergeCandidates(std::array{counted, paired}) : paired;
}

int lowestFloor(const FingerprintConfig& config) {
    return std::min({config.minScore, config.minScoreResampled, config.minScoreFar, config.minPairScore,
                     config.minPairScoreResampled, config.minPairScoreFar, config.minRoomPairScore});
}

Identifier::Identifier(const FingerprintConfig& config, const FingerprintIndex& index)
    : config_(config), index_(index), peaks_(config), hashes_(config) {}

std::vector<Landmark> Identifier::queryLandmarks(std::span<const float> samples, const Hypothesis& hypothesis) const {
    return landmarksUnder(peaks_.extract(samples, PeakDensity::Query), hypothesis);
}

std::vector<Landmark> Identifier::landmarksUnder(const std::vector<Peak>& at, const Hypothesis& hypothesis) const {
    return hashes_.build(at, config_.tripleFanOut(hypothesis.change), hypothesis.timeJitter);
}

std::vector<Landmark> Identifier::referenceLandmarks(std::span<const float> samples) const {
    return hashes_.buildReference(peaks_.extract(samples, PeakDensity::Reference));
}

bool Identifier::pairsWorthCounting(const Matcher& matcher, const std::vector<Peak>& at, Change change,
                                    const std::vector<uint32_t>& nominees, const Verdict& verdict, bool everyTrack,
                                    VoteTally& tally, size_t& postingsRead) const {
    if (!config_.screensPairs(change))
        return true;
    const std::vector<Landmark> few = hashes_.buildPairs(at, config_.pairScreenFanOut, config_.pairTimeJitter);
    std::vector<int32_t> offsets;
    for (const uint32_t track : nominees)
        offsets.push_back(tally.bestOffsetOf(track));
    const MatchCandidate look = quickLook(matcher, few, nominees, lookWindows(config_, at, offsets), everyTrack, tally);
    postingsRead += tally.voteCount();
    return worthAWholePass(config_, look, verdict);
}

Identification Identifier::identify(std::span<const float> samples) const {
    const bool everyTrack = index_.entryCount() < config_.pairsForEveryTrackBelow;
    const PairRivals rivals = everyTrack ? PairRivals::EveryTrack : PairRivals::Nominees;
    Matcher matcher(index_, config_.offsetTolerance, config_.maxHashList, lowestFloor(config_));
    matcher.countPairsFromPeaks(config_, everyTrack ? Matcher::FromPeaks::withinWindows : Matcher::FromPeaks::always);
    const auto limit = static_cast<size_t>(config_.maxQuerySeconds * config_.sampleRate);
    samples = samples.first(std::min(samples.size(), limit));

    // The peaks are found once; each hypothesis moves them (PeakExtractor::undoChange) instead
    // of resampling the recording and computing its spectrogram again, so a clip that matches
    // under no change costs a lookup pass for each, not a whole fingerprinting.
    // Under each hypothesis the triples vote over the whole catalog; when they find nothing
    // sure, the pairs vote for the few tracks the triples liked best.
    int frames = 0;
    const std::vector<float> power = peaks_.spectrogram(samples, frames);
    const std::vector<Peak> peaks = peaks_.extractFromSpectrogram(power, frames, PeakDensity::Query);
    Verdict verdict;
    VoteTally tally;
    size_t postingsRead = 0;
    std::vector<uint32_t> plainPairsCounted;
    MatchCandidate plainPaired, plainWithRoom;
    VoteTally withRoomTally;
    std::vector<Leader> plainLeaders;
    const std::vector<Hypothesis> hypotheses = config_.hypotheses();
    for (const Hypothesis& hypothesis : hypotheses) {
        const Change change = hypothesis.change;
        const bool resampled = !change.none();
        const std::vector<Peak> moved = resampled ? peaks_.undoChange(peaks, change) : std::vector<Peak>{};
        const std::vector<Peak>& at = resampled ? moved : peaks;
        const std::vector<Landmark> query = landmarksUnder(at, hypothesis);
        MatchCandidate candidate = matcher.match(query, tally);
        postingsRead += tally.voteCount();
        bool byPairs = false;
        bool matched = IsMatch(config_, candidate, change);
        const std::vector<uint32_t> nominees =
            matched ? std::vector<uint32_t>{} : tally.leaders(everyTrack ? SIZE_MAX : static_cast<size_t>(config_.pairCandidates));
        const PlainPairs toCount = resampled ? PlainPairs{nominees} : plainPairsToCount(nominees, plainPairsCounted);
        if (!toCount.tracks.empty() && pairsWorthCounting(matcher, at, change, nominees, verdict, everyTrack, tally, postingsRead)) {
            const std::vector<Landmark> pairs = hashes_.buildPairs(at, config_.pairFanOut(change), config_.pairTimeJitter);
            // Over every track under the plain hypothesis the pairs are counted with each track's
            // rendering across a large room as well, beside the dry count.
            const bool countRoom = everyTrack && !resampled;
            const Matcher::WithRoom counted = countRoom ? matcher.matchTracksWithRoom(pairs, toCount.tracks, tally, withRoomTally)
                                                        : Matcher::WithRoom{matcher.matchTracks(pairs, toCount.tracks, tally), {}};
            postingsRead += tally.voteCount();
            if (!resampled)
                addLeaders(plainLeaders, (countRoom ? withRoomTally : tally).leaderScores(config_.agreementCandidates));
            MatchCandidate paired = toCount.answer(plainPaired, counted.dry);
            const MatchCandidate withRoom = toCount.answer(plainWithRoom, counted.withRoom);
            if (!resampled) {
                plainPairsCounted = nominees;
                plainPaired = paired;
                plainWithRoom = withRoom;
            }
            addPairSupport(config_, peaks_, hashes_, matcher, peaks, change, paired);
            if (IsMatch(config_, paired, change, true, rivals)) {
                candidate = paired;
                matched = byPairs = true;
            } else if (countRoom && IsMatch(config_, withRoom, change, true, PairRivals::EveryTrackWithRoom)) {
                candidate = withRoom;
                matched = byPairs = true;
            }
        }
        if (verdict.add(describe(config_, candidate, hypothesis, matched, byPairs, query.size(), postingsRead)))
            break;
    }
    // Where no count decided under any hypothesis, the plain pairs' leaders get a last look.
    if (!verdict.held() && !plainLeaders.empty()) {
        if (const std::optional<Agreed> agreed = agreedLeader(config_, AgreementMap(config_, power, frames), index_, plainLeaders)) {
            Identification result = describe(config_, agreedCandidate(*agreed, plainLeaders), hypotheses.front(), true, true,
                                             verdict.answer().queryLandmarks, postingsRead);
            result.agreement = agreed->agreement;
            verdict.add(result);
        }
    }
    return verdict.answer();
}

Identification describe(const FingerprintConfig& config, const MatchCandidate& candidate, const Hypothesis& hypothesis,
                        bool matched, bool byPairs, size_t queryLandmarks, size_t postingsRead) {
    Identification result;
    result.matched = matched;
    result.track = candidate.track;
    result.offsetSeconds = static_cast<double>(candidate.offset) * config.hopSize / config.sampleRate;
    result.score = candidate.score;
    result.runnerUpScore = candidate.runnerUpScore;
    result.anchors = candidate.anchors;
    result.hashes = candidate.hashes;
    result.support = candidate.support;
    result.speed = hypothesis.change.tempo;
    result.pitch = hypothesis.change.pitch;
    result.timeJitter = hypothesis.timeJitter;
    result.byPairs = byPairs;
    result.queryLandmarks = queryLandmarks;
    result.postingsRead = postingsRead;
    return result;
}

std::vector<std::pair<int32_t, int32_t>> lookWindows(const FingerprintConfig& config, const std::vector<Peak>& at,
                                                     const std::vector<int32_t>& offsets) {
    const int32_t first = at.empty() ? 0 : at.front().frame;
    const int32_t last = at.empty() ? 0 : at.back().frame;
    std::vector<std::pair<int32_t, int32_t>> windows;
    for (const int32_t offset : offsets)
        windows.emplace_back(offset + first - config.pairScreenMargin, offset + last + config.pairScreenMargin);
    return windows;
}

MatchCandidate quickLook(const Matcher& matcher, const std::vector<Landmark>& pairs, const std::vector<uint32_t>& nominees,
                         const std::vector<std::pair<int32_t, int32_t>>& windows, bool everyTrack, VoteTally& tally) {
    return everyTrack ? matcher.matchTracks(pairs, nominees, tally) : matcher.matchTracksWithin(pairs, nominees, windows, tally);
}

bool worthAWholePass(const FingerprintConfig& config, const MatchCandidate& look, const Verdict& verdict) {
    const std::optional<uint32_t> held = verdict.held();
    return config.passesPairScreen(look.score, look.runnerUpScore) && !(held && look.track == *held);
}

bool Verdict::add(const Identification& result) {
    postingsRead_ = result.postingsRead;
    const bool first = !any_;
    any_ = true;
    // A held match gives way only to a match of more weight.
    if (result.matched && (!answer_.matched || !result.byPairs || result.score > answer_.score)) {
        answer_ = result;
        const bool plain = result.speed == 1.0 && result.pitch == 1.0;
        return !(plain && result.byPairs);
    }
    if (!answer_.matched && (first || result.score > answer_.score))
        answer_ = result;
    return false;
}

std::optional<uint32_t> Verdict::held() const {
    return answer_.matched ? std::optional<uint32_t>{answer_.track} : std::nullopt;
}

Identification Verdict::answer() const {
    Identification answer = answer_;
    answer.postingsRead = postingsRead_;
    return answer;
}

} // namespace melodex::fp
