#include "Identifier.h"

#include "Matcher.h"

#include <algorithm>

namespace melodex::fp {

bool acceptsMatch(const FingerprintConfig& config, int score, int runnerUpScore, bool resampled, bool byPairs) {
    const int floor = byPairs ? (resampled ? config.minPairScoreResampled : config.minPairScore)
                              : (resampled ? config.minScoreResampled : config.minScore);
    const float ratio = byPairs ? config.minPairScoreRatio : config.minScoreRatio;
    return score >= floor && static_cast<float>(score) >= ratio * static_cast<float>(runnerUpScore);
}

bool IsMatch(const FingerprintConfig& config, const MatchCandidate& candidate, double speed, bool byPairs) {
    return candidate.any && acceptsMatch(config, candidate.score, candidate.runnerUpScore, speed != 1.0, byPairs);
}

Identifier::Identifier(const FingerprintConfig& config, const FingerprintIndex& index)
    : config_(config), index_(index), peaks_(config), hashes_(config) {}

std::vector<Landmark> Identifier::queryLandmarks(std::span<const float> samples, double speed) const {
    const std::vector<Peak> peaks = peaks_.extract(samples, PeakDensity::Query);
    return speed == 1.0 ? hashes_.build(peaks, config_.queryFanOut, config_.queryTimeJitter)
                        : hashes_.build(peaks_.undoSpeed(peaks, speed), config_.retryFanOut, config_.retryTimeJitter);
}

std::vector<Landmark> Identifier::referenceLandmarks(std::span<const float> samples) const {
    return hashes_.buildReference(peaks_.extract(samples, PeakDensity::Reference));
}

Identification Identifier::identify(std::span<const float> samples) const {
    const Matcher matcher(index_, config_.offsetTolerance, config_.maxHashList);
    const auto limit = static_cast<size_t>(config_.maxQuerySeconds * config_.sampleRate);
    samples = samples.first(std::min(samples.size(), limit));

    // The peaks are found once; each speed hypothesis moves them (PeakExtractor::undoSpeed)
    // instead of resampling the recording and computing its spectrogram again, so a clip that
    // matches at no speed costs seven lookup passes, not seven whole fingerprintings.
    // Under each hypothesis the triples vote over the whole catalog; when they find nothing
    // sure, the pairs vote for the few tracks the triples liked best.
    const std::vector<Peak> peaks = peaks_.extract(samples, PeakDensity::Query);
    const bool everyTrack = index_.entryCount() < config_.pairsForEveryTrackBelow;
    Identification best;
    VoteTally tally;
    size_t postingsRead = 0;
    for (double speed : config_.speedFactors) {
        const bool resampled = speed != 1.0;
        const std::vector<Peak> moved = resampled ? peaks_.undoSpeed(peaks, speed) : std::vector<Peak>{};
        const std::vector<Peak>& at = resampled ? moved : peaks;
        const std::vector<Landmark> query = resampled ? hashes_.build(at, config_.retryFanOut, config_.retryTimeJitter)
                                                      : hashes_.build(at, config_.queryFanOut, config_.queryTimeJitter);
        MatchCandidate candidate = matcher.match(query, tally);
        postingsRead += tally.voteCount();
        bool byPairs = false;
        bool matched = IsMatch(config_, candidate, speed);
        const std::vector<uint32_t> nominees =
            matched ? std::vector<uint32_t>{} : tally.leaders(everyTrack ? SIZE_MAX : static_cast<size_t>(config_.pairCandidates));
        if (!nominees.empty()) {
            const std::vector<Landmark> pairs = hashes_.buildPairs(at, config_.queryPairFanOut, config_.pairTimeJitter);
            const MatchCandidate paired = matcher.matchTracks(pairs, nominees, tally);
            postingsRead += tally.voteCount();
            if (IsMatch(config_, paired, speed, true)) {
                candidate = paired;
                matched = byPairs = true;
            }
        }
        Identification result;
        result.track = candidate.track;
        result.offsetSeconds = static_cast<double>(candidate.offset) * config_.hopSize / config_.sampleRate;
        result.score = candidate.score;
        result.runnerUpScore = candidate.runnerUpScore;
        result.speed = speed;
        result.byPairs = byPairs;
        result.queryLandmarks = query.size();
        result.matched = matched;
        result.postingsRead = postingsRead;
        if (result.matched)
            return result;
        if (speed == 1.0 || result.score > best.score)
            best = result;
    }
    best.postingsRead = postingsRead;
    return best;
}

} // namespace melodex::fp
