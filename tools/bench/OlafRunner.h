// Drives an Olaf binary (github JorenSix/Olaf, built by hand outside this repository with
// `make compile_core`) on the same clips as Melodex. Olaf's core reads raw 32-bit float mono
// at 16000 Hz, made here with sox.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace melodex::bench {

class OlafRunner {
public:
    explicit OlafRunner(std::string binary);
    ~OlafRunner();
    OlafRunner(const OlafRunner&) = delete;
    OlafRunner& operator=(const OlafRunner&) = delete;

    // Stores every catalog track (path order = catalog ids) in a fresh Olaf database.
    bool index(const std::vector<std::string>& tracks, std::string& error);

    // The catalog id Olaf names for a clip at 8000 Hz, or -1 for no match.
    int query(const std::vector<float>& clip8k, double& milliseconds, double& cpuMilliseconds);

    // Size of Olaf's LMDB database files.
    uint64_t databaseBytes() const;

private:
    std::string binary_;
    std::string workDir_;
    std::map<uint32_t, int> ids_;  // Olaf's numeric id of a stored name -> catalog track
};

} // namespace melodex::bench
