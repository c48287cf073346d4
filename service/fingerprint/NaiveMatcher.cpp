#include "NaiveMatcher.h"

#include <algorithm>
#include <map>

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
    VoteTally tally;
    for (const auto& segment : index_.segments())
        segment->forEachEntry([&](uint32_t hash, uint32_t track, int32_t frame) {
            if (!counts(hash, track) || std::find(deleted.begin(), deleted.end(), track) != deleted.end())
                return;
            for (const Landmark& q : query)
                if (q.hash == hash)
                    tally.vote(track, frame - q.frame);
        });
    return tally.best(tolerance_);
}

} // namespace melodex::fp
