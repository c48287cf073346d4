#include "PartitionQuery.h"

#include "fingerprint/HashBuilder.h"
#include "fingerprint/Matcher.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace melodex::cluster {
namespace {

constexpr uint32_t kQueryMagic = 0x5158444Du;   // "MDXQ"
constexpr uint32_t kAnswerMagic = 0x5258444Du;  // "MDXR"
// A 30-second recording has a few thousand peaks; the hypotheses are a handful.
constexpr uint32_t kMaxPeaks = 1u << 20;
constexpr uint32_t kMaxSpeeds = 64;

static_assert(std::endian::native == std::endian::little, "the encoding is the host's little-endian layout");

class Writer {
public:
    template <typename T> void put(T value) { out_.append(reinterpret_cast<const char*>(&value), sizeof value); }
    std::string take() { return std::move(out_); }

private:
    std::string out_;
};

class Reader {
public:
    explicit Reader(std::string_view in) : in_(in) {}
    template <typename T> bool get(T& value) {
        if (in_.size() - pos_ < sizeof value)
            return false;
        std::memcpy(&value, in_.data() + pos_, sizeof value);
        pos_ += sizeof value;
        return true;
    }
    size_t left() const { return in_.size() - pos_; }

private:
    std::string_view in_;
    size_t pos_ = 0;
};

} // namespace

std::string encodeQuery(const PartitionQuery& query) {
    Writer w;
    w.put(kQueryMagic);
    w.put(static_cast<uint32_t>(query.speeds.size()));
    for (double s : query.speeds)
        w.put(s);
    w.put(static_cast<uint32_t>(query.peaks.size()));
    for (const fp::Peak& p : query.peaks) {
        w.put(p.frame);
        w.put(static_cast<int16_t>(p.bin));
        w.put(p.level);
        w.put(p.frameFraction);
        w.put(p.binFraction);
    }
    return w.take();
}

std::optional<PartitionQuery> decodeQuery(std::string_view bytes) {
    Reader r(bytes);
    uint32_t magic = 0, speeds = 0, peaks = 0;
    if (!r.get(magic) || magic != kQueryMagic || !r.get(speeds) || speeds == 0 || speeds > kMaxSpeeds)
        return std::nullopt;
    PartitionQuery query;
    query.speeds.resize(speeds);
    for (double& s : query.speeds)
        if (!r.get(s) || !(s > 0.5 && s < 2.0))
            return std::nullopt;
    constexpr size_t kPeakBytes = 4 + 2 + 4 + 4 + 4;
    if (!r.get(peaks) || peaks > kMaxPeaks || r.left() != size_t{peaks} * kPeakBytes)
        return std::nullopt;
    query.peaks.resize(peaks);
    for (fp::Peak& p : query.peaks) {
        int16_t bin = 0;
        r.get(p.frame);
        r.get(bin);
        r.get(p.level);
        r.get(p.frameFraction);
        r.get(p.binFraction);
        p.bin = bin;
        // Landmarks are built from frame and bin differences of peaks sorted by frame: a peak
        // out of any recording's range could only be a forged query.
        if (p.frame < 0 || p.frame > (1 << 20) || p.bin < 0 || p.bin > 4096)
            return std::nullopt;
    }
    const auto byFrameThenBin = [](const fp::Peak& a, const fp::Peak& b) {
        return a.frame != b.frame ? a.frame < b.frame : a.bin < b.bin;
    };
    if (!std::is_sorted(query.peaks.begin(), query.peaks.end(), byFrameThenBin))
        return std::nullopt;
    return query;
}

std::string encodeAnswer(const std::vector<PartitionCandidate>& answer) {
    Writer w;
    w.put(kAnswerMagic);
    w.put(static_cast<uint32_t>(answer.size()));
    for (const PartitionCandidate& a : answer) {
        w.put(static_cast<uint8_t>(a.candidate.any));
        w.put(a.candidate.track);
        w.put(a.candidate.offset);
        w.put(static_cast<int32_t>(a.candidate.score));
        w.put(static_cast<int32_t>(a.candidate.runnerUpScore));
        w.put(a.votes);
        w.put(a.landmarks);
    }
    return w.take();
}

std::optional<std::vector<PartitionCandidate>> decodeAnswer(std::string_view bytes) {
    Reader r(bytes);
    uint32_t magic = 0, count = 0;
    constexpr size_t kCandidateBytes = 1 + 4 + 4 + 4 + 4 + 8 + 8;
    if (!r.get(magic) || magic != kAnswerMagic || !r.get(count) || count > kMaxSpeeds ||
        r.left() != size_t{count} * kCandidateBytes)
        return std::nullopt;
    std::vector<PartitionCandidate> answer(count);
    for (PartitionCandidate& a : answer) {
        uint8_t any = 0;
        int32_t score = 0, runnerUp = 0;
        r.get(any);
        r.get(a.candidate.track);
        r.get(a.candidate.offset);
        r.get(score);
        r.get(runnerUp);
        r.get(a.votes);
        r.get(a.landmarks);
        if (any > 1 || score < 0 || runnerUp < 0)
            return std::nullopt;
        a.candidate.any = any != 0;
        a.candidate.score = score;
        a.candidate.runnerUpScore = runnerUp;
    }
    return answer;
}

fp::MatchCandidate mergeCandidates(std::span<const fp::MatchCandidate> partitions) {
    const fp::MatchCandidate* best = nullptr;
    for (const fp::MatchCandidate& c : partitions)
        if (c.any && (best == nullptr || c.score > best->score || (c.score == best->score && c.track < best->track)))
            best = &c;
    if (best == nullptr)
        return {};
    fp::MatchCandidate merged = *best;
    for (const fp::MatchCandidate& c : partitions)
        if (c.any && &c != best)
            merged.runnerUpScore = std::max(merged.runnerUpScore, c.score);
    return merged;
}

bool identifyAcrossPartitions(const fp::FingerprintConfig& config, const fp::PeakExtractor& peaks,
                              std::span<const float> samples, const AskPartitions& ask, fp::Identification& result,
                              std::string& reason) {
    const auto limit = static_cast<size_t>(config.maxQuerySeconds * config.sampleRate);
    samples = samples.first(std::min(samples.size(), limit));
    PartitionQuery query;
    query.peaks = peaks.extract(samples, fp::PeakDensity::Query);

    fp::Identification best;
    size_t postingsRead = 0;
    const std::span<const double> all = config.speedFactors;
    // The plain pass, then every other hypothesis in one round.
    for (const std::span<const double> round : {all.first(std::min<size_t>(1, all.size())), all.subspan(std::min<size_t>(1, all.size()))}) {
        if (round.empty())
            continue;
        query.speeds.assign(round.begin(), round.end());
        std::vector<std::vector<PartitionCandidate>> answers;
        if (!ask(query, answers, reason))
            return false;
        for (size_t h = 0; h < round.size(); ++h) {
            std::vector<fp::MatchCandidate> candidates;
            size_t landmarks = 0;
            for (const auto& answer : answers) {
                if (answer.size() != round.size()) {
                    reason = "a partition answered " + std::to_string(answer.size()) + " hypotheses of " +
                             std::to_string(round.size());
                    return false;
                }
                candidates.push_back(answer[h].candidate);
                postingsRead += answer[h].votes;
                landmarks = answer[h].landmarks;
            }
            const fp::MatchCandidate merged = mergeCandidates(candidates);
            const double speed = round[h];
            fp::Identification r;
            r.track = merged.track;
            r.offsetSeconds = static_cast<double>(merged.offset) * config.hopSize / config.sampleRate;
            r.score = merged.score;
            r.runnerUpScore = merged.runnerUpScore;
            r.speed = speed;
            r.queryLandmarks = landmarks;
            r.matched = merged.any && fp::acceptsMatch(config, merged.score, merged.runnerUpScore, speed != 1.0);
            r.postingsRead = postingsRead;
            if (r.matched) {
                result = r;
                return true;
            }
            if (speed == 1.0 || r.score > best.score)
                best = r;
        }
    }
    best.postingsRead = postingsRead;
    result = best;
    return true;
}

std::vector<PartitionCandidate> answerQuery(const fp::FingerprintConfig& config, const fp::FingerprintIndex& index,
                                            std::span<const uint32_t> overLongHashes, const PartitionQuery& query) {
    const fp::PeakExtractor peaks(config);
    const fp::HashBuilder hashes(config);
    const fp::Matcher matcher(index, config.offsetTolerance, config.maxHashList);
    fp::VoteTally tally;
    std::vector<PartitionCandidate> answer;
    for (double speed : query.speeds) {
        std::vector<fp::Landmark> landmarks =
            speed == 1.0 ? hashes.build(query.peaks, config.queryFanOut, config.queryTimeJitter)
                         : hashes.build(peaks.undoSpeed(query.peaks, speed), config.retryFanOut, config.retryTimeJitter);
        PartitionCandidate a;
        a.landmarks = landmarks.size();
        // What the matcher skips for a long list it must be told here: this partition holds
        // only part of each list.
        std::erase_if(landmarks, [&](const fp::Landmark& l) {
            return std::binary_search(overLongHashes.begin(), overLongHashes.end(), l.hash);
        });
        a.candidate = matcher.match(landmarks, tally);
        a.votes = tally.voteCount();
        answer.push_back(a);
    }
    return answer;
}

} // namespace melodex::cluster
