// On-disk layout of the landmark index, shared by IndexWriter and FingerprintIndex.
//
// A sorted, memory-mapped file: opening it costs one mmap, whatever the catalog's size.
//   Header
//   uint32 directory[2^kDirectoryBits + 1]  first entry of each bucket (top hash bits)
//   uint32 values[count]                    (track << kTimeBits) | anchor frame
//   uint8  lowBits[count]                   the hash bits below the bucket number
// Entries are sorted by (hash, value), so the entries of one hash are one contiguous run.
#pragma once

#include "FingerprintConfig.h"

#include <cstdint>

namespace melodex::fp {

inline constexpr char kIndexMagic[8] = {'M', 'D', 'X', 'I', 'D', 'X', '1', '\0'};
inline constexpr int kDirectoryBits = 16;
inline constexpr int kLowBits = FingerprintConfig::kHashBits - kDirectoryBits;
static_assert(kLowBits > 0 && kLowBits <= 8, "low hash bits must fit one byte");

struct IndexHeader {
    char magic[8];
    uint32_t hashBits;
    uint32_t directoryBits;
    uint64_t entryCount;
    uint32_t trackCount;
    uint32_t reserved;
};
static_assert(sizeof(IndexHeader) == 32);

inline uint32_t packValue(uint32_t track, uint32_t frame) {
    return (track << FingerprintConfig::kTimeBits) | frame;
}
inline uint32_t valueTrack(uint32_t value) { return value >> FingerprintConfig::kTimeBits; }
inline int32_t valueFrame(uint32_t value) {
    return static_cast<int32_t>(value & ((1u << FingerprintConfig::kTimeBits) - 1));
}

} // namespace melodex::fp
