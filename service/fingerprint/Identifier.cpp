#include "Identifier.h"

#include "Matcher.h"

#include <algorithm>

namespace melodex::fp {

bool IsMatch(const FingerprintConfig& config, const MatchCandidate& candidate, double speed) {
    const int floor = speed == 1.0 ? config.minScore : config.minScoreResampled;
    return candidate.any && candidate.score >= floor &&
           static_cast<float>(candidate.score) >= config.minScoreRatio * static_cast<float>(candidate.runnerUpScore);
}

Identifier::Identifier(const FingerprintConfig& config, const FingerprintIndex& index)
    : config_(config), index_(index), peaks_(config), hashes_(config) {}

std::vector<Landmark> Identifier::queryLandmarks(std::span<const float> samples, double speed) const {
    const std::vector<Peak> peaks = peaks_.extract(samples, PeakDensity::Query);
    return hashes_.build(speed == 1.0 ? peaks : peaks_.undoSpeed(peaks, speed), config_.queryFanOut, config_.queryTimeJitter);
}

std::vector<Landmark> Identifier::referenceLandmarks(std::span<const float> samples) const {
    return hashes_.build(peaks_.extract(samples, PeakDensity::Reference), config_.refFanOut);
}

Identification Identifier::identify(std::span<const float> samples) const {
    const Matcher matcher(index_, config_.offsetTolerance);
    const auto limit = static_cast<size_t>(config_.maxQuerySeconds * config_.sampleRate);
    samples = samples.first(std::min(samples.size(), limit));

    // The peaks are found once; each speed hypothesis moves them (PeakExtractor::undoSpeed)
    // instead of resampling the recording and computing its spectrogram again, so a clip that
    // matches at no speed costs seven lookup passes, not seven whole fingerprintings.
    const std::vector<Peak> peaks = peaks_.extract(samples, PeakDensity::Query);
    Identification best;
    VoteTally tally;
    for (double speed : config_.speedFactors) {
        const std::vector<Landmark> query =
            hashes_.build(speed == 1.0 ? peaks : peaks_.undoSpeed(peaks, speed), config_.queryFanOut, config_.queryTimeJitter);
        const MatchCandidate candidate = matcher.match(query, tally);
        Identification result;
        result.track = candidate.track;
        result.offsetSeconds = static_cast<double>(candidate.offset) * config_.hopSize / config_.sampleRate;
        result.score = candidate.score;
        result.runnerUpScore = candidate.runnerUpScore;
        result.speed = speed;
        result.queryLandmarks = query.size();
        result.matched = IsMatch(config_, candidate, speed);
        if (result.matched)
            return result;
        if (speed == 1.0 || result.score > best.score)
            best = result;
    }
    return best;
}

} // namespace melodex::fp
