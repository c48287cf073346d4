#include "FingerprintIndex.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace melodex::fp {

FingerprintIndex::~FingerprintIndex() { close(); }

FingerprintIndex::FingerprintIndex(FingerprintIndex&& other) noexcept { *this = std::move(other); }

FingerprintIndex& FingerprintIndex::operator=(FingerprintIndex&& other) noexcept {
    if (this != &other) {
        close();
        file_ = std::move(other.file_);
        count_ = std::exchange(other.count_, 0);
        trackCount_ = std::exchange(other.trackCount_, 0);
        directory_ = std::exchange(other.directory_, nullptr);
        values_ = std::exchange(other.values_, nullptr);
        low_ = std::exchange(other.low_, nullptr);
    }
    return *this;
}

void FingerprintIndex::close() {
    file_.close();
    count_ = 0;
    trackCount_ = 0;
    directory_ = values_ = nullptr;
    low_ = nullptr;
}

bool FingerprintIndex::open(const std::string& path, std::string& error) {
    close();
    MappedFile file;
    if (!file.open(path, error))
        return false;
    const uint64_t size = file.size();
    if (size < sizeof(IndexHeader)) {
        error = path + " is not an index (too short)";
        return false;
    }
    IndexHeader header{};
    std::memcpy(&header, file.data(), sizeof header);
    const uint64_t dirEntries = (uint64_t{1} << kDirectoryBits) + 1;
    const uint64_t expected = sizeof(IndexHeader) + dirEntries * 4 + header.entryCount * 5;
    if (std::memcmp(header.magic, kIndexMagic, sizeof header.magic) != 0 ||
        header.hashBits != FingerprintConfig::kHashBits || header.directoryBits != kDirectoryBits ||
        header.entryCount > size || expected != size) {
        error = path + " is not an index of this version";
        return false;
    }
    file_ = std::move(file);
    count_ = header.entryCount;
    trackCount_ = header.trackCount;
    const uint8_t* base = file_.data();
    directory_ = reinterpret_cast<const uint32_t*>(base + sizeof(IndexHeader));
    values_ = directory_ + dirEntries;
    low_ = reinterpret_cast<const uint8_t*>(values_ + count_);
    if (directory_[dirEntries - 1] != count_) {
        close();
        error = path + " has a damaged directory";
        return false;
    }
    return true;
}

std::span<const uint32_t> FingerprintIndex::lookup(uint32_t hash) const {
    if (file_.data() == nullptr)
        return {};
    const uint32_t bucket = (hash >> kLowBits) & ((1u << kDirectoryBits) - 1);
    const auto low = static_cast<uint8_t>(hash & ((1u << kLowBits) - 1));
    const uint32_t first = directory_[bucket];
    const uint32_t last = directory_[bucket + 1];
    if (first > last || last > count_)
        return {};
    const auto [lo, hi] = std::equal_range(low_ + first, low_ + last, low);
    return {values_ + (lo - low_), static_cast<size_t>(hi - lo)};
}

void FingerprintIndex::forEachEntry(const std::function<void(uint32_t, uint32_t)>& visit) const {
    if (file_.data() == nullptr)
        return;
    for (uint32_t bucket = 0; bucket < (1u << kDirectoryBits); ++bucket)
        for (uint32_t i = directory_[bucket]; i < directory_[bucket + 1] && i < count_; ++i)
            visit((bucket << kLowBits) | low_[i], values_[i]);
}

} // namespace melodex::fp
