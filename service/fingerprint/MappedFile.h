// A file mapped read-only that cannot bring the process down when it changes underneath. The
// index is mapped, not copied; if the file is truncated in place while mapped, a read past its
// new end would raise SIGBUS. A process-wide handler catches faults inside registered mappings,
// maps zero pages over the lost part and marks the mapping damaged, so the read completes
// (with zeros) and the owner learns from intact() that it must stop trusting the data.
// Catalogs are replaced by writing a new file and renaming it over the old one, which leaves
// the mapped file untouched.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>

namespace melodex::fp {

class MappedFile {
public:
    MappedFile() = default;
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    MappedFile(MappedFile&& other) noexcept;
    MappedFile& operator=(MappedFile&& other) noexcept;

    bool open(const std::string& path, std::string& error);
    void close();

    const uint8_t* data() const { return data_; }
    uint64_t size() const { return size_; }
    // False once a read past the file's end was caught, or when the file's size or
    // modification time differ from when it was mapped.
    bool intact() const;

private:
    const uint8_t* data_ = nullptr;
    uint64_t size_ = 0;
    int fd_ = -1;
    int slot_ = -1;
    int64_t mtimeNs_ = 0;
};

} // namespace melodex::fp
