// The search the index's sorted runs share: entries are looked up in ascending order (a query's
// hashes, a list's nominated tracks), so each search starts where the last one ended and
// gallops (steps of 1, 2, 4 ...) before it halves, finding a near entry in a few reads of memory
// that is already in the cache.
#pragma once

#include <algorithm>
#include <cstdint>

namespace melodex::fp {

// The first index in [lo, end) whose entry is not below the one sought, given that below(i)
// holds for a prefix of the range and for no index after it; end when it holds throughout.
template <typename Below>
uint64_t firstNotBelow(uint64_t lo, uint64_t end, Below below) {
    uint64_t hi = lo;
    if (lo < end && below(lo)) {
        uint64_t step = 1;
        while (lo + step < end && below(lo + step)) {
            lo += step;
            step *= 2;
        }
        hi = std::min(lo + step, end);  // the first entry not below is in (lo, hi]
        ++lo;
    }
    while (lo < hi) {
        const uint64_t mid = lo + (hi - lo) / 2;
        if (below(mid))
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

} // namespace melodex::fp
