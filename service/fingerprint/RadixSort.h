// An LSD radix sort of 64-bit keys, 11 bits a pass, skipping the digits every key shares: the
// matcher sorts up to ~150000 keys a lookup pass (the query's landmarks by hash, the votes by
// track and offset), where std::sort was most of the pass's time. Same order as std::sort.
#pragma once

#include <cstdint>
#include <vector>

namespace melodex::fp {

// Sorts `keys` ascending; `scratch` is a buffer the caller keeps, so repeated sorts reuse its memory.
void radixSort(std::vector<uint64_t>& keys, std::vector<uint64_t>& scratch);

} // namespace melodex::fp
