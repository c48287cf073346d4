#include "PartitionQuery.h"

#include "fingerprint/HashBuilder.h"
#include "fingerprint/Matcher.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace melodex::cluster {
namespace {

// "MDX4": each pass carries a tempo, a pitch and the frames off its triples look, and a quick
// look its tracks' offsets; a shard of an older form refuses it rather than misreading it.
constexpr uint32_t kQueryMagic = 0x3458444Du;   // "MDX4"
// "MDR5": each candidate carries its anchors, its hashes and its support beside its scores,
// and each leader its offset; an answer of a form before them is refused rather than misread.
constexpr uint32_t kAnswerMagic = 0x3552444Du;  // "MDR5"
// A 30-second recording has a few thousand peaks; the passes are a dozen or so, the leaders
// whom pairs are counted for a few dozen.
constexpr uint32_t kMaxPeaks = 1u << 20;
constexpr uint32_t kMaxPasses = 64;
constexpr uint32_t kMaxTracks = 1u << 16;
// Each frame off either way multiplies a triple's lookups (HashBuilder::build): 25 at 2.
constexpr uint8_t kMaxTimeJitter = 2;
// An offset is a track's frame less a query's: both within the postings' 24 bits.
constexpr int32_t kMaxOffset = 1 << 24;
// A small catalog (FingerprintConfig::pairsForEveryTrackBelow) sends every track voted for.
constexpr uint32_t kMaxLeaders = 1u << 24;

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
    w.put(static_cast<uint32_t>(query.passes.size()));
    for (const PassRequest& h : query.passes) {
        w.put(h.hypothesis.change.tempo);
        w.put(h.hypothesis.change.pitch);
        w.put(static_cast<uint8_t>(h.hypothesis.timeJitter));
        w.put(static_cast<uint8_t>(h.pass));
        w.put(static_cast<uint32_t>(h.tracks.size()));
        for (uint32_t t : h.tracks)
            w.put(t);
        if (h.pass == Pass::pairScreen)
            for (int32_t offset : h.offsets)
                w.put(offset);
    }
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
    uint32_t magic = 0, count = 0, peaks = 0;
    if (!r.get(magic) || magic != kQueryMagic || !r.get(count) || count == 0 || count > kMaxPasses)
        return std::nullopt;
    PartitionQuery query;
    query.passes.resize(count);
    for (PassRequest& h : query.passes) {
        fp::Change& change = h.hypothesis.change;
        uint8_t jitter = 0, pass = 0;
        uint32_t tracks = 0;
        if (!r.get(change.tempo) || !(change.tempo > 0.5 && change.tempo < 2.0) || !r.get(change.pitch) ||
            !(change.pitch > 0.5 && change.pitch < 2.0) || !r.get(jitter) || jitter > kMaxTimeJitter || !r.get(pass) ||
            pass > static_cast<uint8_t>(Pass::pairScreen) || !r.get(tracks) || tracks > kMaxTracks ||
            (pass == static_cast<uint8_t>(Pass::triples) && tracks != 0))
            return std::nullopt;
        h.hypothesis.timeJitter = jitter;
        h.pass = static_cast<Pass>(pass);
        h.tracks.resize(tracks);
        for (uint32_t& t : h.tracks)
            if (!r.get(t))
                return std::nullopt;
        if (!std::is_sorted(h.tracks.begin(), h.tracks.end()))
            return std::nullopt;
        if (h.pass == Pass::pairScreen) {
            h.offsets.resize(tracks);
            for (int32_t& offset : h.offsets)
                if (!r.get(offset) || offset < -kMaxOffset || offset > kMaxOffset)
                    return std::nullopt;
        }
    }
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
        w.put(static_cast<int32_t>(a.candidate.anchors));
        w.put(static_cast<int32_t>(a.candidate.hashes));
        w.put(static_cast<int32_t>(a.candidate.support));
        w.put(a.votes);
        w.put(a.landmarks);
        w.put(static_cast<uint8_t>(a.everyTrack));
        w.put(static_cast<uint32_t>(a.leaders.size()));
        for (const fp::Leader& leader : a.leaders) {
            w.put(leader.track);
            w.put(static_cast<int32_t>(leader.score));
            w.put(leader.offset);
        }
    }
    return w.take();
}

std::optional<std::vector<PartitionCandidate>> decodeAnswer(std::string_view bytes) {
    Reader r(bytes);
    uint32_t magic = 0, count = 0;
    if (!r.get(magic) || magic != kAnswerMagic || !r.get(count) || count > kMaxPasses)
        return std::nullopt;
    std::vector<PartitionCandidate> answer(count);
    for (PartitionCandidate& a : answer) {
        uint8_t any = 0, everyTrack = 0;
        int32_t score = 0, runnerUp = 0, anchors = 0, hashes = 0, support = 0;
        uint32_t leaders = 0;
        if (!r.get(any) || !r.get(a.candidate.track) || !r.get(a.candidate.offset) || !r.get(score) || !r.get(runnerUp) ||
            !r.get(anchors) || !r.get(hashes) || !r.get(support) || !r.get(a.votes) || !r.get(a.landmarks) || !r.get(everyTrack) ||
            !r.get(leaders) || any > 1 || everyTrack > 1 || score < 0 || runnerUp < 0 || anchors < 0 || hashes < 0 || support < 0 ||
            leaders > kMaxLeaders)
            return std::nullopt;
        a.everyTrack = everyTrack != 0;
        a.candidate.any = any != 0;
        a.candidate.score = score;
        a.candidate.runnerUpScore = runnerUp;
        a.candidate.anchors = anchors;
        a.candidate.hashes = hashes;
        a.candidate.support = support;
        a.leaders.resize(leaders);
        for (fp::Leader& leader : a.leaders) {
            int32_t s = 0;
            if (!r.get(leader.track) || !r.get(s) || s < 0 || !r.get(leader.offset))
                return std::nullopt;
            leader.score = s;
        }
    }
    if (r.left() != 0)
        return std::nullopt;
    return answer;
}

namespace {

// One pass merged over the partitions.
struct MergedPass {
    fp::MatchCandidate candidate;
    uint64_t votes = 0;
    uint64_t landmarks = 0;
    std::vector<uint32_t> nominees;  // triples: the leaders over every partition, ascending
    std::vector<int32_t> nomineeOffsets;  // where each one's triples lined up best
    // Triples: whom the nominees' pairs will be measured against (every track with a vote in a
    // small catalog).
    fp::PairRivals rivals = fp::PairRivals::Nominees;
};

bool mergePass(const std::vector<std::vector<PartitionCandidate>>& answers, size_t h, size_t leaders, MergedPass& pass,
               std::string& reason) {
    std::vector<fp::MatchCandidate> candidates;
    std::vector<fp::Leader> ranked;
    pass = {};
    bool everyTrack = false;
    for (const auto& answer : answers) {
        if (h >= answer.size()) {
            reason = "a partition answered " + std::to_string(answer.size()) + " passes, not more";
            return false;
        }
        candidates.push_back(answer[h].candidate);
        pass.votes += answer[h].votes;
        pass.landmarks = answer[h].landmarks;
        ranked.insert(ranked.end(), answer[h].leaders.begin(), answer[h].leaders.end());
        everyTrack = everyTrack || answer[h].everyTrack;
    }
    pass.candidate = fp::mergeCandidates(candidates);
    pass.rivals = everyTrack ? fp::PairRivals::EveryTrack : fp::PairRivals::Nominees;
    // Each partition's leaders hold every one of its tracks among the leaders over all.
    leaders = everyTrack ? ranked.size() : std::min(leaders, ranked.size());
    std::partial_sort(ranked.begin(), ranked.begin() + static_cast<std::ptrdiff_t>(leaders), ranked.end(), fp::LeadsBefore);
    ranked.resize(leaders);
    std::sort(ranked.begin(), ranked.end(), [](const fp::Leader& a, const fp::Leader& b) { return a.track < b.track; });
    for (const fp::Leader& leader : ranked) {
        pass.nominees.push_back(leader.track);
        pass.nomineeOffsets.push_back(leader.offset);
    }
    return true;
}

} // namespace

bool identifyAcrossPartitions(const fp::FingerprintConfig& config, const fp::PeakExtractor& peaks,
                              std::span<const float> samples, const AskPartitions& ask, fp::Identification& result,
                              std::string& reason) {
    const auto limit = static_cast<size_t>(config.maxQuerySeconds * config.sampleRate);
    samples = samples.first(std::min(samples.size(), limit));
    PartitionQuery query;
    query.peaks = peaks.extract(samples, fp::PeakDensity::Query);
    const size_t leaders = static_cast<size_t>(std::max(config.pairCandidates, 0));

    // Asks for `passes` and merges each answer.
    const auto round = [&](std::vector<PassRequest> passes, std::vector<MergedPass>& merged) {
        query.passes = std::move(passes);
        std::vector<std::vector<PartitionCandidate>> answers;
        if (!ask(query, answers, reason))
            return false;
        merged.resize(query.passes.size());
        for (size_t h = 0; h < merged.size(); ++h)
            if (!mergePass(answers, h, leaders, merged[h], reason))
                return false;
        return true;
    };
    const std::vector<fp::Hypothesis> hypotheses = config.hypotheses();
    const size_t n = hypotheses.size();
    std::vector<MergedPass> triples(n), screens(n), pairs(n);
    std::vector<bool> screensAsked(n, false), pairsAsked(n, false);
    std::vector<fp::PlainPairs> pairCounts(n);  // whose pairs each hypothesis's whole pass counts
    const auto accepted = [&](const MergedPass& pass, size_t k, bool byPairs) {
        // The pairs were counted for the tracks the same hypothesis's triples nominated.
        return fp::IsMatch(config, pass.candidate, hypotheses[k].change, byPairs, triples[k].rivals);
    };
    const auto askTriples = [&](size_t from, size_t to) {
        std::vector<PassRequest> passes;
        for (size_t k = from; k < to; ++k)
            passes.push_back({hypotheses[k], Pass::triples, {}, {}});
        std::vector<MergedPass> merged;
        if (passes.empty())
            return true;
        if (!round(std::move(passes), merged))
            return false;
        std::move(merged.begin(), merged.end(), triples.begin() + static_cast<std::ptrdiff_t>(from));
        return true;
    };
    // Asks each pass in `which` (a hypothesis and the kind of pairs) for its triples' leaders.
    const auto askFor = [&](const std::vector<std::pair<size_t, Pass>>& which) {
        std::vector<PassRequest> passes;
        for (const auto& [k, kind] : which)
            passes.push_back({hypotheses[k], kind, kind == Pass::pairScreen ? triples[k].nominees : pairCounts[k].tracks,
                              kind == Pass::pairScreen ? triples[k].nomineeOffsets : std::vector<int32_t>{}});
        std::vector<MergedPass> merged;
        if (passes.empty())
            return true;
        if (!round(std::move(passes), merged))
            return false;
        for (size_t i = 0; i < which.size(); ++i) {
            const auto& [k, kind] = which[i];
            (kind == Pass::pairScreen ? screens : pairs)[k] = std::move(merged[i]);
            (kind == Pass::pairScreen ? screensAsked : pairsAsked)[k] = true;
        }
        return true;
    };
    // What one process finds under hypothesis k, from the passes asked; postingsRead counts on.
    const auto resultOf = [&](size_t k, uint64_t& postingsRead) {
        const MergedPass& t = triples[k];
        postingsRead += t.votes;
        bool byPairs = false;
        bool matched = accepted(t, k, false);
        fp::MatchCandidate candidate = t.candidate;
        if (!matched && screensAsked[k])
            postingsRead += screens[k].votes;
        if (!matched && pairsAsked[k]) {
            postingsRead += pairs[k].votes;
            if (accepted(pairs[k], k, true)) {
                candidate = pairs[k].candidate;
                matched = byPairs = true;
            }
        }
        return fp::describe(config, candidate, hypotheses[k], matched, byPairs, t.landmarks, postingsRead);
    };
    // The decision over the hypotheses before `to`, as one process makes it.
    const auto verdictBefore = [&](size_t to) {
        fp::Verdict verdict;
        uint64_t postingsRead = 0;
        for (size_t k = 0; k < to; ++k)
            if (verdict.add(resultOf(k, postingsRead)))
                break;
        return verdict;
    };
    const size_t changesFrom = static_cast<size_t>(
        std::find_if(hypotheses.begin(), hypotheses.end(), [](const fp::Hypothesis& h) { return !h.change.none(); }) -
        hypotheses.begin());
    // The pairs of every hypothesis in [from, to) whose triples were not accepted but had
    // leaders: in one round the plain hypothesis's whole passes and the changes' quick looks,
    // then the whole pass of each change whose look found it worth it, given what the plain
    // hypothesis holds (every plain pass is known by then).
    // A plain pass counts only the tracks the last plain pass did not, as one process does
    // (fp::plainPairsToCount), and its answer is merged with that pass's.
    const auto askPairs = [&](size_t from, size_t to) {
        std::vector<std::pair<size_t, Pass>> first, then;
        std::vector<size_t> countedBefore(n, n);
        size_t plainCounted = n;
        for (size_t k = 0; k < from; ++k)
            if (hypotheses[k].change.none() && pairsAsked[k])
                plainCounted = k;
        for (size_t k = from; k < to; ++k) {
            const bool plain = hypotheses[k].change.none();
            if (accepted(triples[k], k, false) || triples[k].nominees.empty())
                continue;
            if (plain) {
                fp::PlainPairs count =
                    fp::plainPairsToCount(triples[k].nominees, plainCounted < n ? triples[plainCounted].nominees : std::vector<uint32_t>{});
                if (count.tracks.empty())
                    continue;
                pairCounts[k] = std::move(count);
                countedBefore[k] = plainCounted;
                plainCounted = k;
            } else {
                pairCounts[k] = {triples[k].nominees};
            }
            first.emplace_back(k, config.screensPairs(hypotheses[k].change) ? Pass::pairScreen : Pass::pairs);
        }
        if (!askFor(first))
            return false;
        // A change's pass merges with nothing: its answer stands as it came.
        for (const auto& [k, kind] : first) {
            const fp::MatchCandidate before = countedBefore[k] < n ? pairs[countedBefore[k]].candidate : fp::MatchCandidate{};
            pairs[k].candidate = pairCounts[k].answer(before, pairs[k].candidate);
        }
        if (to <= changesFrom)
            return true;
        const fp::Verdict plain = verdictBefore(changesFrom);
        for (const auto& [k, kind] : first)
            if (kind == Pass::pairScreen && fp::worthAWholePass(config, screens[k].candidate, plain))
                then.emplace_back(k, Pass::pairs);
        return askFor(then);
    };
    // The first hypothesis whose triples are accepted; n when none is.
    const auto firstTriplesAccepted = [&](size_t from) {
        for (size_t k = from; k < n; ++k)
            if (accepted(triples[k], k, false))
                return k;
        return n;
    };

    if (n == 0) {
        result = {};
        return true;
    }
    // Only a match by triples under the first hypothesis ends the search there: a match by
    // pairs under the plain hypothesis waits for the changes' (fp::Verdict).
    if (!askTriples(0, 1) || !askPairs(0, std::min<size_t>(firstTriplesAccepted(0), 1)))
        return false;
    if (!accepted(triples[0], 0, false) && (!askTriples(1, n) || !askPairs(1, firstTriplesAccepted(1))))
        return false;
    result = verdictBefore(n).answer();
    return true;
}

std::vector<PartitionCandidate> answerQuery(const fp::FingerprintConfig& config, const fp::FingerprintIndex& index,
                                            const WholeCatalog& whole, const PartitionQuery& query) {
    const std::vector<uint32_t>& overLong = whole.longHashes;
    const bool everyTrack = whole.entries < config.pairsForEveryTrackBelow;
    const fp::PeakExtractor peaks(config);
    const fp::HashBuilder hashes(config);
    fp::Matcher matcher(index, config.offsetTolerance, config.maxHashList, fp::lowestFloor(config));
    matcher.countPairsFromPeaks(config, everyTrack ? fp::Matcher::FromPeaks::withinWindows : fp::Matcher::FromPeaks::always);
    fp::VoteTally tally;
    std::vector<PartitionCandidate> answer;
    for (const PassRequest& h : query.passes) {
        const fp::Change change = h.hypothesis.change;
        const bool resampled = !change.none();
        const std::vector<fp::Peak> moved = resampled ? peaks.undoChange(query.peaks, change) : std::vector<fp::Peak>{};
        const std::vector<fp::Peak>& at = resampled ? moved : query.peaks;
        PartitionCandidate a;
        if (h.pass != Pass::triples) {
            // A quick look differs from a whole pass only in its pairs an anchor, and asks for
            // no support.
            const bool look = h.pass == Pass::pairScreen;
            const int fanOut = look ? config.pairScreenFanOut : config.pairFanOut(change);
            const std::vector<fp::Landmark> pairs = hashes.buildPairs(at, fanOut, config.pairTimeJitter);
            a.landmarks = pairs.size();
            a.candidate = look ? fp::quickLook(matcher, pairs, h.tracks, fp::lookWindows(config, at, h.offsets), everyTrack, tally)
                               : matcher.matchTracks(pairs, h.tracks, tally);
            if (!look)
                fp::addPairSupport(config, peaks, hashes, matcher, query.peaks, change, a.candidate);
        } else {
            std::vector<fp::Landmark> triples = hashes.build(at, config.tripleFanOut(change), h.hypothesis.timeJitter);
            a.landmarks = triples.size();
            // What the matcher skips for a long list it must be told here: this partition holds
            // only part of each list.
            std::erase_if(triples, [&](const fp::Landmark& l) {
                return std::binary_search(overLong.begin(), overLong.end(), l.hash);
            });
            a.candidate = matcher.match(triples, tally);
            a.everyTrack = everyTrack;
            a.leaders = tally.leaderScores(everyTrack ? SIZE_MAX : static_cast<size_t>(std::max(config.pairCandidates, 0)));
        }
        a.votes = tally.voteCount();
        answer.push_back(std::move(a));
    }
    return answer;
}

} // namespace melodex::cluster
