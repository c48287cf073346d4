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
    const std::vector<uint32_t>& deleted = index_.deletedTracks();
    VoteTally tally;
    for (const auto& segment : index_.segments())
        segment->forEachEntry([&](uint32_t hash, uint32_t track, int32_t frame) {
            const auto it = entriesOfHash.find(hash);
            if (it == entriesOfHash.end() || it->second > maxHashList_ ||
                std::find(deleted.begin(), deleted.end(), track) != deleted.end())
                return;
            for (const Landmark& q : query)
                if (q.hash == hash)
                    tally.vote(track, frame - q.frame);
        });
    return tally.best(tolerance_);
}

} // namespace melodex::fp
