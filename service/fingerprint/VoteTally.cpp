#include "VoteTally.h"

#include "RadixSort.h"

#include <algorithm>
#include <bit>
#include <cstdint>

namespace melodex::fp {
namespace {
constexpr int64_t kBias = int64_t{1} << 31;
} // namespace

bool RanksBefore(const MatchCandidate& a, const MatchCandidate& b) {
    if (a.score != b.score)
        return a.score > b.score;
    if (a.track != b.track)
        return a.track < b.track;
    return a.offset < b.offset;
}

MatchCandidate mergeCandidates(std::span<const MatchCandidate> parts) {
    const MatchCandidate* best = nullptr;
    for (const MatchCandidate& c : parts)
        if (c.any && (best == nullptr || RanksBefore(c, *best)))
            best = &c;
    if (best == nullptr)
        return {};
    MatchCandidate merged = *best;
    for (const MatchCandidate& c : parts)
        if (c.any && &c != best)
            merged.runnerUpScore = std::max(merged.runnerUpScore, c.score);
    return merged;
}

void VoteTally::vote(uint32_t track, int32_t offset) {
    votes_.push_back((static_cast<uint64_t>(track) << 32) | static_cast<uint64_t>(offset + kBias));
}

MatchCandidate VoteTally::best(int tolerance) {
    MatchCandidate result;
    trackBest_.clear();
    if (votes_.empty())
        return result;
    pack();
    radixSort(votes_, scratch_);

    // Slide a window of 2*tolerance+1 frames over each track's offsets, centred on each
    // distinct offset in turn. Within a track the packed keys order and differ as the offsets
    // do; the window's upper end checks the track, as an offset plus the tolerance may reach
    // past the offset bits.
    const std::vector<uint64_t>& keys = votes_;
    const size_t n = keys.size();
    const uint64_t reach = static_cast<uint64_t>(tolerance);
    size_t lo = 0;
    size_t hi = 0;
    int windowSum = 0;
    for (size_t i = 0; i < n;) {
        const uint64_t centre = keys[i];
        const uint32_t track = trackOf(centre);
        if (i == 0 || trackOf(keys[i - 1]) != track) {
            lo = hi = i;
            windowSum = 0;
            trackBest_.push_back({track, 0, 0});
        }
        while (hi < n && keys[hi] <= centre + reach && trackOf(keys[hi]) == track) {
            ++windowSum;
            ++hi;
        }
        while (keys[lo] + reach < centre) {
            --windowSum;
            ++lo;
        }
        if (windowSum > trackBest_.back().score) {
            trackBest_.back() = {track, windowSum, static_cast<int32_t>(offsetOf(centre))};
            const MatchCandidate here{true, track, static_cast<int32_t>(offsetOf(centre)), windowSum, 0};
            if (!result.any || RanksBefore(here, result))
                result = here;
        }
        while (i < n && keys[i] == centre)
            ++i;
    }
    for (const Leader& t : trackBest_)
        if (t.track != result.track)
            result.runnerUpScore = std::max(result.runnerUpScore, t.score);
    return result;
}

void VoteTally::pack() {
    uint32_t low = UINT32_MAX;
    uint32_t high = 0;
    for (uint64_t v : votes_) {
        low = std::min(low, static_cast<uint32_t>(v));
        high = std::max(high, static_cast<uint32_t>(v));
    }
    low_ = low;
    offsetBits_ = std::bit_width(high - low);
    for (uint64_t& v : votes_)
        v = (v >> 32 << offsetBits_) | (static_cast<uint32_t>(v) - low);
}

int64_t VoteTally::offsetOf(uint64_t key) const {
    return static_cast<int64_t>(key & ((uint64_t{1} << offsetBits_) - 1)) + low_ - kBias;
}

int VoteTally::bestNear(uint32_t track, int32_t offset, int slack, int tolerance) const {
    const auto before = [this](uint64_t key, std::pair<uint32_t, int64_t> at) {
        return std::make_pair(trackOf(key), offsetOf(key)) < at;
    };
    const auto first = std::lower_bound(votes_.begin(), votes_.end(), std::make_pair(track, int64_t{offset} - slack - tolerance), before);
    const auto inTrack = [&](auto it) { return it != votes_.end() && trackOf(*it) == track; };
    int best = 0;
    for (auto centre = first; inTrack(centre) && offsetOf(*centre) <= int64_t{offset} + slack; ++centre) {
        if (offsetOf(*centre) < int64_t{offset} - slack || (centre != first && *centre == *(centre - 1)))
            continue;
        int sum = 0;
        for (auto it = first; inTrack(it) && offsetOf(*it) <= offsetOf(*centre) + tolerance; ++it)
            sum += offsetOf(*it) >= offsetOf(*centre) - tolerance;
        best = std::max(best, sum);
    }
    return best;
}

int32_t VoteTally::bestOffsetOf(uint32_t track) const {
    const auto it = std::lower_bound(trackBest_.begin(), trackBest_.end(), track,
                                     [](const Leader& t, uint32_t id) { return t.track < id; });
    return it != trackBest_.end() && it->track == track ? it->offset : 0;
}

bool LeadsBefore(const Leader& a, const Leader& b) { return a.score != b.score ? a.score > b.score : a.track < b.track; }

std::vector<Leader> VoteTally::leaderScores(size_t count) const {
    std::vector<Leader> ranked = trackBest_;
    count = std::min(count, ranked.size());
    std::partial_sort(ranked.begin(), ranked.begin() + static_cast<std::ptrdiff_t>(count), ranked.end(), LeadsBefore);
    ranked.resize(count);
    return ranked;
}

std::vector<uint32_t> VoteTally::leaders(size_t count) const {
    std::vector<uint32_t> tracks;
    for (const Leader& leader : leaderScores(count))
        tracks.push_back(leader.track);
    std::sort(tracks.begin(), tracks.end());
    return tracks;
}

} // namespace melodex::fp
