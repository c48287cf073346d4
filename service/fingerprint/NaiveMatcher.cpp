#include "NaiveMatcher.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>
#include <utility>

namespace melodex::fp {

NaiveMatcher::NaiveMatcher(const FingerprintIndex& index, int offsetTolerance, uint32_t maxHashList)
    : index_(index), tolerance_(offsetTolerance), maxHashList_(maxHashList) {}

MatchCandidate NaiveMatcher::match(const std::vector<Landmark>& query) const {
    std::map<uint32_t, uint64_t> entriesOfHash;
    for (const Landmark& q : query)
        entriesOfHash[q.hash] = 0;
    for (const auto& segment : index_.segments())
        segment->forEachEntry([&](uint32_t hash, uint32_t, int32_t) {
            if (auto it = entriesOfHash.find(hash); it != entriesOfHash.end())
                ++it->second;
        });
    return scan(query, [&](uint32_t hash, uint32_t) {
        const auto it = entriesOfHash.find(hash);
        return it != entriesOfHash.end() && it->second <= maxHashList_;
    });
}

MatchCandidate NaiveMatcher::matchTracks(const std::vector<Landmark>& query, const std::vector<uint32_t>& tracks) const {
    return scan(query,
                [&](uint32_t, uint32_t track) { return std::find(tracks.begin(), tracks.end(), track) != tracks.end(); });
}

MatchCandidate NaiveMatcher::scan(const std::vector<Landmark>& query,
                                  const std::function<bool(uint32_t hash, uint32_t track)>& counts) const {
    const std::vector<uint32_t>& deleted = index_.deletedTracks();
    std::map<std::pair<uint32_t, int64_t>, int> votes;  // (track, offset) -> hits
    for (const auto& segment : index_.segments())
        segment->forEachEntry([&](uint32_t hash, uint32_t track, int32_t frame) {
            // A track's rendering across a large room counts only when folded onto it, which the
            // fast matcher's matchTracksWithRoom alone does.
            if (frame >= FingerprintConfig::kRoomFrames || !counts(hash, track) ||
                std::find(deleted.begin(), deleted.end(), track) != deleted.end())
                return;
            for (const Landmark& q : query)
                if (q.hash == hash)
                    ++votes[{track, int64_t{frame} - q.frame}];
        });
    // Every voted offset is a window centre; its score is the hits within the tolerance.
    MatchCandidate best;
    std::map<uint32_t, int> trackScore;
    for (const auto& [centre, hits] : votes) {
        const auto [track, offset] = centre;
        int score = 0;
        for (auto it = votes.lower_bound({track, offset - tolerance_});
             it != votes.end() && it->first.first == track && it->first.second <= offset + tolerance_; ++it)
            score += it->second;
        trackScore[track] = std::max(trackScore[track], score);
        const bool better = score > best.score || (score == best.score && (track < best.track ||
                                                                           (track == best.track && offset < best.offset)));
        if (!best.any || better)
            best = MatchCandidate{true, track, static_cast<int32_t>(offset), score, 0};
    }
    for (const auto& [track, score] : trackScore)
        if (track != best.track)
            best.runnerUpScore = std::max(best.runnerUpScore, score);
    // The query frames of the best alignment's hits, scanned again.
    std::set<int32_t> frames;
    std::set<uint32_t> hashes;
    if (best.any)
        for (const auto& segment : index_.segments())
            segment->forEachEntry([&](uint32_t hash, uint32_t track, int32_t frame) {
                if (track != best.track || frame >= FingerprintConfig::kRoomFrames || !counts(hash, track))
                    return;
                for (const Landmark& q : query)
                    if (q.hash == hash && std::abs(int64_t{frame} - q.frame - best.offset) <= tolerance_) {
                        frames.insert(q.frame);
                        hashes.insert(hash);
                    }
            });
    best.anchors = static_cast<int>(frames.size());
    best.hashes = static_cast<int>(hashes.size());
    return best;
}

} // namespace melodex::fp
