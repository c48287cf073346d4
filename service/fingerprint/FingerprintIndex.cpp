#include "FingerprintIndex.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace melodex::fp {

FingerprintIndex::~FingerprintIndex() { close(); }

FingerprintIndex::FingerprintIndex(FingerprintIndex&& other) noexcept { *this = std::move(other); }

FingerprintIndex& FingerprintIndex::operator=(FingerprintIndex&& other) noexcept {
    if (this != &other) {
        close();
        map_ = std::exchange(other.map_, nullptr);
        size_ = std::exchange(other.size_, 0);
        count_ = std::exchange(other.count_, 0);
        trackCount_ = std::exchange(other.trackCount_, 0);
        directory_ = std::exchange(other.directory_, nullptr);
        values_ = std::exchange(other.values_, nullptr);
        low_ = std::exchange(other.low_, nullptr);
    }
    return *this;
}

void FingerprintIndex::close() {
    if (map_ != nullptr)
        munmap(map_, size_);
    map_ = nullptr;
    size_ = count_ = 0;
    trackCount_ = 0;
    directory_ = values_ = nullptr;
    low_ = nullptr;
}

bool FingerprintIndex::open(const std::string& path, std::string& error) {
    close();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open " + path;
        return false;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || st.st_size < static_cast<off_t>(sizeof(IndexHeader))) {
        ::close(fd);
        error = path + " is not an index (too short)";
        return false;
    }
    const auto size = static_cast<uint64_t>(st.st_size);
    void* map = mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    ::close(fd);
    if (map == MAP_FAILED) {
        error = "cannot map " + path;
        return false;
    }
    IndexHeader header{};
    std::memcpy(&header, map, sizeof header);
    const uint64_t dirEntries = (uint64_t{1} << kDirectoryBits) + 1;
    const uint64_t expected = sizeof(IndexHeader) + dirEntries * 4 + header.entryCount * 5;
    if (std::memcmp(header.magic, kIndexMagic, sizeof header.magic) != 0 ||
        header.hashBits != FingerprintConfig::kHashBits || header.directoryBits != kDirectoryBits ||
        expected != size) {
        munmap(map, size);
        error = path + " is not an index of this version";
        return false;
    }
    map_ = map;
    size_ = size;
    count_ = header.entryCount;
    trackCount_ = header.trackCount;
    const auto* base = static_cast<const uint8_t*>(map);
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
    if (map_ == nullptr)
        return {};
    const uint32_t bucket = (hash >> kLowBits) & ((1u << kDirectoryBits) - 1);
    const auto low = static_cast<uint8_t>(hash & ((1u << kLowBits) - 1));
    const uint8_t* first = low_ + directory_[bucket];
    const uint8_t* last = low_ + directory_[bucket + 1];
    if (first > last || last > low_ + count_)
        return {};
    const auto [lo, hi] = std::equal_range(first, last, low);
    return {values_ + (lo - low_), static_cast<size_t>(hi - lo)};
}

void FingerprintIndex::forEachEntry(const std::function<void(uint32_t, uint32_t)>& visit) const {
    if (map_ == nullptr)
        return;
    for (uint32_t bucket = 0; bucket < (1u << kDirectoryBits); ++bucket)
        for (uint32_t i = directory_[bucket]; i < directory_[bucket + 1] && i < count_; ++i)
            visit((bucket << kLowBits) | low_[i], values_[i]);
}

} // namespace melodex::fp
