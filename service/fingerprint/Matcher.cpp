#include "Matcher.h"

#include "RadixSort.h"
#include "SortedSearch.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>
#include <span>
#include <utility>

namespace melodex::fp {
namespace {

// The first entry of a sorted list at or after `lo` not below `value`.
size_t firstAtOrAbove(const PostingList& list, size_t lo, uint64_t value) {
    return firstNotBelow(lo, list.count, [&](uint64_t i) { return list[i] < value; });
}

// Where an entry at `frame` stands in its track: a rendering's entry (at kRoomFrames on) only
// when its count folds the rendering onto the track.
std::optional<int32_t> trackFrame(int32_t frame, bool foldRoom) {
    if (frame < FingerprintConfig::kRoomFrames)
        return frame;
    return foldRoom ? std::optional<int32_t>(frame - FingerprintConfig::kRoomFrames) : std::nullopt;
}

// How many different values `values` holds (a candidate's anchors or hashes); reorders them.
int distinctCount(std::vector<int32_t>& values) {
    std::sort(values.begin(), values.end());
    return static_cast<int>(std::unique(values.begin(), values.end()) - values.begin());
}

} // namespace

Matcher::Matcher(const FingerprintIndex& index, int offsetTolerance, uint32_t maxHashList, int describeFrom)
    : index_(index), tolerance_(offsetTolerance), maxHashList_(maxHashList), describeFrom_(describeFrom) {}

void Matcher::countPairsFromPeaks(const FingerprintConfig& config, FromPeaks when) {
    pairBuilder_.emplace(config);
    refPairFanOut_ = config.refPairFanOut;
    everyCountFromPeaks_ = when == FromPeaks::always;
}

void Matcher::sortQuery(const std::vector<Landmark>& query, Lookup& into) const {
    into.keys.clear();
    for (const Landmark& q : query)
        into.keys.push_back((static_cast<uint64_t>(q.hash) << 32) | static_cast<uint32_t>(q.frame));
    radixSort(into.keys, scratch_);
    into.hashes.clear();
    into.starts.clear();
    for (size_t i = 0; i < into.keys.size(); ++i)
        if (i == 0 || (into.keys[i] >> 32) != (into.keys[i - 1] >> 32)) {
            into.hashes.push_back(static_cast<uint32_t>(into.keys[i] >> 32));
            into.starts.push_back(i);
        }
    into.starts.push_back(into.keys.size());
}

void Matcher::lookUp(const std::vector<Landmark>& query, Lookup& into) const {
    sortQuery(query, into);
    const auto segments = index_.segments();
    const size_t n = into.hashes.size();
    into.found.resize(segments.size() * n);
    for (size_t s = 0; s < segments.size(); ++s)
        segments[s]->lookupMany(into.hashes, std::span<PostingList>(into.found).subspan(s * n, n));
}

template <typename Visit>
void Matcher::forEachFound(const Lookup& looked, Visit&& visit) const {
    const size_t segments = index_.segments().size();
    const size_t n = looked.hashes.size();
    std::vector<PostingList> lists(segments);
    // The lists were found a whole lookup ago and have left the nearer caches since: each is
    // fetched again a few hashes before it is read.
    constexpr size_t kListsAhead = 8;
    for (size_t k = 0; k < n; ++k) {
        if (k + kListsAhead < n)
            for (size_t s = 0; s < segments; ++s)
                __builtin_prefetch(looked.found[s * n + k + kListsAhead].data);
        frames_.clear();
        for (size_t i = looked.starts[k]; i < looked.starts[k + 1]; ++i)
            frames_.push_back(static_cast<int32_t>(static_cast<uint32_t>(looked.keys[i])));
        size_t total = 0;
        for (size_t s = 0; s < segments; ++s)
            total += (lists[s] = looked.found[s * n + k]).count;
        visit(std::span<const int32_t>(frames_), std::span<const PostingList>(lists), total);
    }
}

void Matcher::describe(MatchCandidate& candidate, const Lookup& looked, bool everyList, bool foldRoom) const {
    if (!candidate.any || candidate.score < describeFrom_)
        return;
    const uint64_t first = static_cast<uint64_t>(candidate.track) << FingerprintConfig::kTimeBits;
    std::vector<int32_t> anchors;
    int hashes = 0;
    forEachFound(looked, [&](std::span<const int32_t> frames, std::span<const PostingList> lists, size_t total) {
        if (total > maxHashList_ && !everyList)
            return;
        const size_t before = anchors.size();
        for (const PostingList& list : lists)
            for (size_t lo = firstAtOrAbove(list, 0, first); lo < list.count && postingTrack(list[lo]) == candidate.track; ++lo)
                if (const std::optional<int32_t> at = trackFrame(postingFrame(list[lo]), foldRoom))
                    for (const int32_t frame : frames)
                        if (std::abs(*at - frame - candidate.offset) <= tolerance_)
                            anchors.push_back(frame);
        hashes += anchors.size() > before;
    });
    candidate.anchors = distinctCount(anchors);
    candidate.hashes = hashes;
}

MatchCandidate Matcher::match(const std::vector<Landmark>& query) const {
    VoteTally tally;
    return match(query, tally);
}

MatchCandidate Matcher::match(const std::vector<Landmark>& query, VoteTally& tally) const {
    tally.clear();
    lookUp(query, looked_);
    forEachFound(looked_, [&](std::span<const int32_t> frames, std::span<const PostingList> lists, size_t total) {
        if (total > maxHashList_)
            return;
        for (const PostingList& list : lists)
            for (size_t i = 0; i < list.count; ++i) {
                const uint64_t posting = list[i];
                const uint32_t track = postingTrack(posting);
                if (index_.isDeleted(track))
                    continue;
                for (const int32_t frame : frames)
                    tally.vote(track, postingFrame(posting) - frame);
            }
    });
    MatchCandidate best = tally.best(tolerance_);
    describe(best, looked_, false);
    return best;
}

MatchCandidate Matcher::matchTracks(const std::vector<Landmark>& query, const std::vector<uint32_t>& tracks,
                                    VoteTally& tally) const {
    return countTracks(query, tracks, tally, nullptr).dry;
}

Matcher::WithRoom Matcher::matchTracksWithRoom(const std::vector<Landmark>& query, const std::vector<uint32_t>& tracks,
                                               VoteTally& tally, VoteTally& withRoom) const {
    return countTracks(query, tracks, tally, &withRoom);
}

Matcher::WithRoom Matcher::countTracks(const std::vector<Landmark>& query, const std::vector<uint32_t>& tracks, VoteTally& tally,
                                       VoteTally* withRoom) const {
    tally.clear();
    if (withRoom != nullptr)
        withRoom->clear();
    std::vector<uint32_t> live;
    for (uint32_t track : tracks)
        if (!index_.isDeleted(track))
            live.push_back(track);
    if (live.empty())
        return {};
    if (everyCountFromPeaks_)
        return {matchTracksFromPeaks(query, live, tally), {}};
    const auto voteAll = [&](std::span<const int32_t> frames, uint32_t track, int32_t frame) {
        const bool room = frame >= FingerprintConfig::kRoomFrames;
        if (room && withRoom == nullptr)
            return;
        const int32_t at = room ? frame - FingerprintConfig::kRoomFrames : frame;
        for (const int32_t q : frames) {
            if (!room)
                tally.vote(track, frame - q);
            if (withRoom != nullptr)
                withRoom->vote(track, at - q);
        }
    };
    // The plain passes a frame apart count the same pairs, each for the tracks the last did not
    // count: the lists the first read serve the next.
    if (counted_.query != query) {
        counted_.query = query;
        lookUp(query, counted_);
    }
    // Short lists (most of them) are read whole, each entry's track looked up in a bitmap of
    // the tracks asked about: a walk beside the sorted tracks cost a comparison for every asked
    // track below the entry's, a quarter of a count over every track of a small catalog.
    liveBits_.assign(*std::max_element(live.begin(), live.end()) / 64 + 1, 0);
    for (const uint32_t track : live)
        liveBits_[track / 64] |= uint64_t{1} << (track % 64);
    const auto asked = [this](uint32_t track) {
        return track / 64 < liveBits_.size() && (liveBits_[track / 64] >> (track % 64) & 1) != 0;
    };
    forEachFound(counted_, [&](std::span<const int32_t> frames, std::span<const PostingList> lists, size_t) {
        for (const PostingList& list : lists) {
            if (list.count <= 4 * live.size()) {
                for (size_t i = 0; i < list.count; ++i) {
                    const uint64_t posting = list[i];
                    if (asked(postingTrack(posting)))
                        voteAll(frames, postingTrack(posting), postingFrame(posting));
                }
                continue;
            }
            size_t at = 0;
            for (uint32_t track : live) {
                at = firstAtOrAbove(list, at, static_cast<uint64_t>(track) << FingerprintConfig::kTimeBits);
                for (; at < list.count && postingTrack(list[at]) == track; ++at)
                    voteAll(frames, track, postingFrame(list[at]));
                if (at == list.count)
                    break;
            }
        }
    });
    WithRoom counts{tally.best(tolerance_), {}};
    describe(counts.dry, counted_, true);
    if (withRoom != nullptr) {
        counts.withRoom = withRoom->best(tolerance_);
        describe(counts.withRoom, counted_, true, true);
    }
    return counts;
}

namespace {

size_t slotOf(uint32_t hash, int bits) { return static_cast<size_t>((hash * 0x9E3779B97F4A7C15ull) >> (64 - bits)); }

} // namespace

void Matcher::indexQuery() const {
    slotBits_ = 6;
    const std::vector<uint32_t>& hashes = looked_.hashes;
    while ((size_t{1} << slotBits_) < 2 * hashes.size())
        ++slotBits_;
    slots_.assign(size_t{1} << slotBits_, 0);
    seen_.assign((size_t{1} << kSeenBits) / 64, 0);
    const size_t mask = slots_.size() - 1;
    for (size_t k = 0; k < hashes.size(); ++k) {
        seen_[seenBit(hashes[k]) / 64] |= uint64_t{1} << (seenBit(hashes[k]) % 64);
        size_t at = slotOf(hashes[k], slotBits_);
        while (slots_[at] != 0)
            at = (at + 1) & mask;
        slots_[at] = (static_cast<uint64_t>(hashes[k]) << 32) | (k + 1);
    }
}

size_t Matcher::queryHashInTable(uint32_t hash) const {
    const size_t mask = slots_.size() - 1;
    for (size_t at = slotOf(hash, slotBits_); slots_[at] != 0; at = (at + 1) & mask)
        if (static_cast<uint32_t>(slots_[at] >> 32) == hash)
            return static_cast<uint32_t>(slots_[at]) - size_t{1};
    return SIZE_MAX;
}

MatchCandidate Matcher::matchTracksWithin(const std::vector<Landmark>& query, const std::vector<uint32_t>& tracks,
                                          const std::vector<std::pair<int32_t, int32_t>>& frames, VoteTally& tally) const {
    if (!pairBuilder_ || frames.size() != tracks.size())
        return matchTracks(query, tracks, tally);
    // A deleted track has no peaks (FingerprintIndex::peaksOf), so it gets no vote here.
    tally.clear();
    return matchTracksFromPeaks(query, tracks, tally, &frames);
}

MatchCandidate Matcher::matchTracksFromPeaks(const std::vector<Landmark>& query, const std::vector<uint32_t>& tracks,
                                             VoteTally& tally, const std::vector<std::pair<int32_t, int32_t>>* frames) const {
    sortQuery(query, looked_);
    indexQuery();
    // Calls hit(track's frame, query frame, the hash's place among the query's) for every hash
    // the track shares with the query.
    // The track's pairs are made again at each join, never stored: a query joins a nominee
    // only a few times, and storing its pairs (some 700 000 a query at 100 000 tracks) cost
    // four times what the joins do.
    // Only anchors within `within` (frames of the track) are paired.
    const auto join = [this](uint32_t track, std::pair<int32_t, int32_t> within, auto&& hit) {
        const std::span<const uint32_t> peaks = peaksWithin(index_.peaksOf(track), within.first, within.second);
        const auto peakAt = [peaks](size_t i) { return std::pair{peakFrame(peaks[i]), peakBin(peaks[i])}; };
        pairBuilder_->forEachPair(peaks.size(), peakAt, refPairFanOut_, [&](int bin, int df, int dt, int32_t frame) {
            const size_t k = queryHashAt(HashBuilder::packPair(bin, df, dt));
            if (k == SIZE_MAX)
                return;
            for (size_t i = looked_.starts[k]; i < looked_.starts[k + 1]; ++i)
                hit(frame, static_cast<int32_t>(static_cast<uint32_t>(looked_.keys[i])), k);
        });
    };
    const auto windowOf = [&](size_t t) { return frames ? (*frames)[t] : std::pair<int32_t, int32_t>{INT32_MIN, INT32_MAX}; };
    for (size_t t = 0; t < tracks.size(); ++t) {
        const uint32_t track = tracks[t];
        join(track, windowOf(t), [&](int32_t frame, int32_t q, size_t) { tally.vote(track, frame - q); });
    }
    MatchCandidate best = tally.best(tolerance_);
    if (best.any && best.score >= describeFrom_) {
        std::vector<int32_t> anchors, hashes;
        const auto t = static_cast<size_t>(std::lower_bound(tracks.begin(), tracks.end(), best.track) - tracks.begin());
        join(best.track, windowOf(t), [&](int32_t frame, int32_t q, size_t k) {
            if (std::abs(frame - q - best.offset) <= tolerance_) {
                anchors.push_back(q);
                hashes.push_back(static_cast<int32_t>(k));
            }
        });
        best.anchors = distinctCount(anchors);
        best.hashes = distinctCount(hashes);
    }
    return best;
}

} // namespace melodex::fp
