// Stage 3 of the fingerprinter: the landmark index, read through a memory map (IndexFormat.h).
// Opening costs one mmap and a header check, so the service starts in milliseconds.
#pragma once

#include "IndexFormat.h"
#include "MappedFile.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace melodex::fp {

class FingerprintIndex {
public:
    FingerprintIndex() = default;
    ~FingerprintIndex();
    FingerprintIndex(const FingerprintIndex&) = delete;
    FingerprintIndex& operator=(const FingerprintIndex&) = delete;
    FingerprintIndex(FingerprintIndex&& other) noexcept;
    FingerprintIndex& operator=(FingerprintIndex&& other) noexcept;

    // Maps the file and checks its header and sizes. False with a reason when it is not a
    // valid index of this version.
    bool open(const std::string& path, std::string& error);

    // The packed values (IndexFormat.h) of every entry with this hash; empty if none.
    std::span<const uint32_t> lookup(uint32_t hash) const;

    // Every entry in storage order; used by the naive reference matcher.
    void forEachEntry(const std::function<void(uint32_t hash, uint32_t value)>& visit) const;

    uint64_t entryCount() const { return count_; }
    uint32_t trackCount() const { return trackCount_; }
    uint64_t fileBytes() const { return file_.size(); }
    // False once the file changed on disk while mapped (MappedFile.h): its entries can no
    // longer be trusted, though reading them stays safe.
    bool intact() const { return file_.intact(); }

private:
    void close();

    MappedFile file_;
    uint64_t count_ = 0;
    uint32_t trackCount_ = 0;
    const uint32_t* directory_ = nullptr;
    const uint32_t* values_ = nullptr;
    const uint8_t* low_ = nullptr;
};

} // namespace melodex::fp
