#include "RadixSort.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace melodex::fp {

void radixSort(std::vector<uint64_t>& keys, std::vector<uint64_t>& scratch) {
    if (keys.size() < 2)
        return;
    uint64_t differing = 0;
    for (uint64_t k : keys)
        differing |= k ^ keys.front();
    constexpr int kDigitBits = 11;
    constexpr size_t kBuckets = size_t{1} << kDigitBits;
    scratch.resize(keys.size());
    size_t count[kBuckets];
    for (int shift = 0; shift < 64 && (differing >> shift) != 0; shift += kDigitBits) {
        if (((differing >> shift) & (kBuckets - 1)) == 0)
            continue;
        std::fill(std::begin(count), std::end(count), size_t{0});
        for (uint64_t k : keys)
            ++count[(k >> shift) & (kBuckets - 1)];
        size_t sum = 0;
        for (size_t& c : count)
            sum += std::exchange(c, sum);
        for (uint64_t k : keys)
            scratch[count[(k >> shift) & (kBuckets - 1)]++] = k;
        keys.swap(scratch);
    }
}

} // namespace melodex::fp
