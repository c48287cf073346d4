#include "IndexWriter.h"

#include "IndexFormat.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace melodex::fp {

void IndexWriter::add(uint32_t track, const std::vector<Landmark>& landmarks) {
    trackCount_ = std::max(trackCount_, track + 1);
    for (const Landmark& l : landmarks) {
        if (l.frame < 0 || l.frame >= (1 << FingerprintConfig::kTimeBits))
            continue;
        const uint64_t value = packValue(track, static_cast<uint32_t>(l.frame));
        entries_.push_back((static_cast<uint64_t>(l.hash) << 32) | value);
    }
}

bool IndexWriter::write(const std::string& path, std::string& error) {
    std::sort(entries_.begin(), entries_.end());
    entries_.erase(std::unique(entries_.begin(), entries_.end()), entries_.end());

    const size_t buckets = size_t{1} << kDirectoryBits;
    std::vector<uint32_t> directory(buckets + 1, 0);
    std::vector<uint32_t> values(entries_.size());
    std::vector<uint8_t> low(entries_.size());
    for (size_t i = 0; i < entries_.size(); ++i) {
        const auto hash = static_cast<uint32_t>(entries_[i] >> 32);
        values[i] = static_cast<uint32_t>(entries_[i]);
        low[i] = static_cast<uint8_t>(hash & ((1u << kLowBits) - 1));
        ++directory[(hash >> kLowBits) + 1];
    }
    for (size_t b = 1; b <= buckets; ++b)
        directory[b] += directory[b - 1];

    IndexHeader header{};
    std::memcpy(header.magic, kIndexMagic, sizeof header.magic);
    header.hashBits = FingerprintConfig::kHashBits;
    header.directoryBits = kDirectoryBits;
    header.entryCount = entries_.size();
    header.trackCount = trackCount_;

    const std::string temporary = path + ".tmp";
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(temporary.c_str(), "wb"), &std::fclose);
    if (!file) {
        error = "cannot create " + temporary;
        return false;
    }
    bool ok = std::fwrite(&header, sizeof header, 1, file.get()) == 1 &&
              std::fwrite(directory.data(), sizeof(uint32_t), directory.size(), file.get()) == directory.size() &&
              std::fwrite(values.data(), sizeof(uint32_t), values.size(), file.get()) == values.size() &&
              std::fwrite(low.data(), 1, low.size(), file.get()) == low.size();
    ok = (std::fclose(file.release()) == 0) && ok;
    if (!ok || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        error = "cannot write " + path;
        return false;
    }
    return true;
}

} // namespace melodex::fp
