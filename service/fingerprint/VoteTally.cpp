#include "VoteTally.h"

#include "RadixSort.h"

#include <algorithm>

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

void VoteTally::vote(uint32_t track, int32_t offset) {
    votes_.push_back((static_cast<uint64_t>(track) << 32) | static_cast<uint64_t>(offset + kBias));
}

MatchCandidate VoteTally::best(int tolerance) {
    MatchCandidate result;
    trackBest_.clear();
    if (votes_.empty())
        return result;
    radixSort(votes_, scratch_);

    // Run-length encode into (track, offset, count), then slide a window of 2*tolerance+1
    // frames over each track's offsets.
    std::vector<Run>& runs = runs_;
    runs.clear();
    for (uint64_t v : votes_) {
        const auto track = static_cast<uint32_t>(v >> 32);
        const int64_t offset = static_cast<int64_t>(v & 0xFFFFFFFFu) - kBias;
        if (!runs.empty() && runs.back().track == track && runs.back().offset == offset)
            ++runs.back().count;
        else
            runs.push_back(Run{track, offset, 1});
    }

    std::vector<std::pair<uint32_t, int>>& trackBest = trackBest_;
    size_t lo = 0;
    size_t hi = 0;
    int windowSum = 0;
    for (size_t i = 0; i < runs.size(); ++i) {
        const Run& centre = runs[i];
        if (i == 0 || runs[i - 1].track != centre.track) {
            lo = hi = i;
            windowSum = 0;
            trackBest.emplace_back(centre.track, 0);
        }
        while (hi < runs.size() && runs[hi].track == centre.track && runs[hi].offset <= centre.offset + tolerance)
            windowSum += runs[hi++].count;
        while (runs[lo].offset < centre.offset - tolerance)
            windowSum -= runs[lo++].count;
        if (windowSum > trackBest.back().second) {
            trackBest.back().second = windowSum;
            const MatchCandidate here{true, centre.track, static_cast<int32_t>(centre.offset), windowSum, 0};
            if (!result.any || RanksBefore(here, result))
                result = here;
        }
    }
    for (const auto& [track, score] : trackBest)
        if (track != result.track)
            result.runnerUpScore = std::max(result.runnerUpScore, score);
    return result;
}

int VoteTally::bestNear(uint32_t track, int32_t offset, int slack, int tolerance) const {
    const auto before = [](const Run& r, std::pair<uint32_t, int64_t> key) { return std::make_pair(r.track, r.offset) < key; };
    const auto first = std::lower_bound(runs_.begin(), runs_.end(), std::make_pair(track, int64_t{offset} - slack - tolerance), before);
    int best = 0;
    for (auto centre = first; centre != runs_.end() && centre->track == track && centre->offset <= int64_t{offset} + slack; ++centre) {
        if (centre->offset < int64_t{offset} - slack)
            continue;
        int sum = 0;
        for (auto it = first; it != runs_.end() && it->track == track && it->offset <= centre->offset + tolerance; ++it)
            if (it->offset >= centre->offset - tolerance)
                sum += it->count;
        best = std::max(best, sum);
    }
    return best;
}

std::vector<std::pair<uint32_t, int>> VoteTally::leaderScores(size_t count) const {
    std::vector<std::pair<uint32_t, int>> ranked = trackBest_;
    count = std::min(count, ranked.size());
    std::partial_sort(ranked.begin(), ranked.begin() + static_cast<std::ptrdiff_t>(count), ranked.end(),
                      [](const auto& a, const auto& b) { return a.second != b.second ? a.second > b.second : a.first < b.first; });
    ranked.resize(count);
    return ranked;
}

std::vector<uint32_t> VoteTally::leaders(size_t count) const {
    std::vector<uint32_t> tracks;
    for (const auto& [track, score] : leaderScores(count))
        tracks.push_back(track);
    std::sort(tracks.begin(), tracks.end());
    return tracks;
}

} // namespace melodex::fp
