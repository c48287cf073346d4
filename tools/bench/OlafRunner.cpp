#include "OlafRunner.h"

#include "MicSimulator.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <sys/resource.h>
#include <unistd.h>

namespace melodex::bench {
namespace {

// Runs a shell command and returns its standard output; false when it fails.
bool capture(const std::string& command, std::string& output) {
    output.clear();
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return false;
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, n);
    return pclose(pipe) == 0;
}

std::string quote(const std::string& text) { return "'" + text + "'"; }

// CPU time (user + system) of the children waited for so far, in milliseconds.
double childrenCpuMilliseconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return (static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3) +
           (static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3);
}

} // namespace

OlafRunner::OlafRunner(std::string binary) : binary_(std::move(binary)) {}

OlafRunner::~OlafRunner() {
    std::error_code ec;
    if (!workDir_.empty())
        std::filesystem::remove_all(workDir_, ec);
}

bool OlafRunner::index(const std::vector<std::string>& tracks, std::string& error) {
    char pattern[] = "/tmp/melodex-olaf-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        error = "cannot make a folder for Olaf's database";
        return false;
    }
    workDir_ = pattern;  // Olaf keeps its LMDB database under $HOME/.olaf/db, made here
    std::error_code ec;
    std::filesystem::create_directories(workDir_ + "/.olaf/db", ec);
    const std::string env = "HOME=" + quote(workDir_) + " ";
    const std::string raw = workDir_ + "/track.raw";
    std::string out;
    for (size_t i = 0; i < tracks.size(); ++i) {
        const std::string name = "track_" + std::to_string(i);
        if (!capture("sox -V1 " + quote(tracks[i]) + " -r 16000 -c 1 -b 32 -e floating-point -t raw " + quote(raw) + " 2>/dev/null", out) ||
            !capture(env + quote(binary_) + " store " + quote(raw) + " " + name + " 2>/dev/null", out)) {
            error = "Olaf could not store " + tracks[i];
            return false;
        }
        if (!capture(env + quote(binary_) + " name_to_id " + name, out)) {
            error = "Olaf name_to_id failed";
            return false;
        }
        ids_[static_cast<uint32_t>(std::strtoul(out.c_str(), nullptr, 10))] = static_cast<int>(i);
    }
    std::filesystem::remove(raw);
    return true;
}

uint64_t OlafRunner::databaseBytes() const {
    uint64_t bytes = 0;
    std::error_code ec;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(workDir_ + "/.olaf/db", ec))
        if (entry.is_regular_file(ec))
            bytes += entry.file_size(ec);
    return bytes;
}

int OlafRunner::query(const std::vector<float>& clip8k, double& milliseconds, double& cpuMilliseconds) {
    milliseconds = 0.0;
    cpuMilliseconds = 0.0;
    const std::string wav = workDir_ + "/query.wav";
    const std::string raw = workDir_ + "/query.raw";
    std::string error;
    std::string out;
    if (!micsim::MicSimulator::writeWav(wav, clip8k, error) ||
        !capture("sox -V1 " + quote(wav) + " -r 16000 -c 1 -b 32 -e floating-point -t raw " + quote(raw), out))
        return -1;
    // The time is Olaf's whole process (start, database open, query), as its command line runs.
    // Its CPU time (with the shell that starts it, a millisecond at most) is counted too: on a
    // busy machine wall-clock percentiles measure the neighbours as much as the program.
    const double cpuBefore = childrenCpuMilliseconds();
    const auto start = std::chrono::steady_clock::now();
    const bool ok = capture("HOME=" + quote(workDir_) + " " + quote(binary_) + " query " + quote(raw) + " query.wav 2>/dev/null", out);
    milliseconds = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    cpuMilliseconds = childrenCpuMilliseconds() - cpuBefore;
    if (!ok)
        return -1;
    // Result lines: "match count, query start, query stop, path, match id, ref start, ref stop".
    int bestCount = 0;
    int bestTrack = -1;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        std::vector<std::string> fields;
        std::istringstream parts(line);
        std::string field;
        while (std::getline(parts, field, ','))
            fields.push_back(field);
        if (fields.size() < 7)
            continue;
        const int count = std::atoi(fields[0].c_str());
        const auto id = static_cast<uint32_t>(std::strtoul(fields[4].c_str(), nullptr, 10));
        const auto it = ids_.find(id);
        if (count > bestCount && it != ids_.end()) {
            bestCount = count;
            bestTrack = it->second;
        }
    }
    return bestTrack;
}

} // namespace melodex::bench
