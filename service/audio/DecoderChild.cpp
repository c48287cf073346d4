#include "DecoderChild.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>

extern char** environ;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define MELODEX_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define MELODEX_SANITIZED 1
#endif
#endif

namespace melodex::audio {
namespace {

constexpr char kMagic[4] = {'M', 'D', 'X', 'D'};
constexpr size_t kMaxReason = 512;
constexpr rlim_t kChildCpuSeconds = 5;

DecodedUpload failure(int status, std::string reason) {
    DecodedUpload d;
    d.status = status;
    d.reason = std::move(reason);
    return d;
}

bool writeAll(int fd, const void* data, size_t size) {
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Reads until end of file, `limit` bytes or the deadline; false on a time-out.
bool readUntil(int fd, std::string& out, size_t limit, std::chrono::steady_clock::time_point deadline) {
    char buffer[65536];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return ready == 0 ? false : true;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return true;
        out.append(buffer, static_cast<size_t>(std::min<size_t>(static_cast<size_t>(n), limit - std::min(limit, out.size()))));
        if (out.size() >= limit)
            return true;
    }
}

struct Fd {
    int fd = -1;
    ~Fd() { reset(); }
    void reset() {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
};

std::string number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", v);
    return text;
}

} // namespace

DecodedUpload runDecoderChild(const std::string& decoderPath, std::string_view body, const DecodeLimits& limits,
                              double seconds) {
    Fd input;
    input.fd = memfd_create("melodex-upload", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (input.fd < 0 || !writeAll(input.fd, body.data(), body.size()) || ::lseek(input.fd, 0, SEEK_SET) != 0)
        return failure(503, "cannot hand the sound file to a decoder");
    fcntl(input.fd, F_ADD_SEALS, F_SEAL_WRITE | F_SEAL_GROW | F_SEAL_SHRINK | F_SEAL_SEAL);
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return failure(503, "cannot start a decoder");
    Fd readEnd{pipeFds[0]};
    Fd writeEnd{pipeFds[1]};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input.fd, 0);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.fd, 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    // The service's sockets and files stay out of the child.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    const std::string maxSeconds = number(limits.maxSeconds);
    const std::string minSeconds = number(limits.minSeconds);
    char* const argv[] = {const_cast<char*>(decoderPath.c_str()), const_cast<char*>(maxSeconds.c_str()),
                          const_cast<char*>(minSeconds.c_str()), nullptr};
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, decoderPath.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    writeEnd.reset();
    input.reset();
    if (spawned != 0)
        return failure(503, "cannot start the decoder " + decoderPath + ": " + std::strerror(spawned));

    const size_t limit = 16 + kMaxReason + static_cast<size_t>(limits.maxSeconds * 8000.0 + 1.0) * sizeof(float);
    std::string out;
    const bool inTime = readUntil(readEnd.fd, out, limit,
                                  std::chrono::steady_clock::now() + std::chrono::milliseconds(static_cast<long>(seconds * 1000)));
    if (!inTime)
        ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!inTime)
        return failure(415, "sound file not decoded within " + std::to_string(static_cast<int>(seconds)) + " s");
    if (WIFSIGNALED(status))
        return failure(415, "sound file could not be decoded (the decoder ended with signal " +
                                std::to_string(WTERMSIG(status)) + ")");

    // "MDXD", status, reason length, reason, sample count, samples.
    int32_t code = 0;
    uint32_t reasonLength = 0;
    uint32_t count = 0;
    if (out.size() < 12 || std::memcmp(out.data(), kMagic, 4) != 0)
        return failure(415, "sound file could not be decoded");
    std::memcpy(&code, out.data() + 4, 4);
    std::memcpy(&reasonLength, out.data() + 8, 4);
    if (reasonLength > kMaxReason || out.size() < 16 + size_t{reasonLength})
        return failure(415, "sound file could not be decoded");
    DecodedUpload d;
    d.status = code;
    d.reason = out.substr(12, reasonLength);
    std::memcpy(&count, out.data() + 12 + reasonLength, 4);
    const size_t start = 16 + reasonLength;
    if (out.size() - start != size_t{count} * sizeof(float))
        return failure(415, "sound file could not be decoded");
    d.samples.resize(count);
    if (count > 0)
        std::memcpy(d.samples.data(), out.data() + start, out.size() - start);
    return d;
}

int serveDecoderChild(int argc, char** argv) {
    if (argc != 3)
        return 2;
    DecodeLimits limits;
    limits.maxSeconds = std::strtod(argv[1], nullptr);
    limits.minSeconds = std::strtod(argv[2], nullptr);
    const rlimit cpu{kChildCpuSeconds, kChildCpuSeconds};
    const rlimit none{0, 0};
    setrlimit(RLIMIT_CPU, &cpu);
    setrlimit(RLIMIT_FSIZE, &none);
    setrlimit(RLIMIT_CORE, &none);
#ifndef MELODEX_SANITIZED
    // The libraries, a block of frames, one query's samples and what a codec keeps per stream
    // stay far below 512 MiB. (The sanitizers reserve terabytes of address space for their
    // shadow memory, so sanitized builds go without this limit.)
    constexpr rlim_t kChildAddressSpace = rlim_t{512} << 20;
    const rlimit space{kChildAddressSpace, kChildAddressSpace};
    setrlimit(RLIMIT_AS, &space);
#endif
    DecodedUpload d = UploadDecoder::decodeSoundFile(0, limits);
    if (d.reason.size() > kMaxReason)
        d.reason.resize(kMaxReason);
    if (d.status != 0)
        d.samples.clear();
    const int32_t code = d.status;
    const auto reasonLength = static_cast<uint32_t>(d.reason.size());
    const auto count = static_cast<uint32_t>(d.samples.size());
    const bool ok = writeAll(1, kMagic, 4) && writeAll(1, &code, 4) && writeAll(1, &reasonLength, 4) &&
                    writeAll(1, d.reason.data(), d.reason.size()) && writeAll(1, &count, 4) &&
                    writeAll(1, d.samples.data(), d.samples.size() * sizeof(float));
    return ok ? 0 : 1;
}

} // namespace melodex::audio
