// melodex-idd: the identification service the client posts its recordings to.
//   melodex-idd --catalog DIR [--host 127.0.0.1] [--port 8470] [--public-url URL] [--threads N]
//               [--max-body BYTES] [--request-seconds S] [--max-per-address N] [--access-log FILE]
// SIGINT and SIGTERM stop it gracefully: it stops accepting and answers every accepted request.
#include "http/IdService.h"

#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <pthread.h>
#include <string>
#include <thread>

using namespace melodex;

namespace {
int usage() {
    std::fprintf(stderr, "usage: melodex-idd --catalog DIR [--host ADDR] [--port N] [--public-url URL] [--threads N]\n"
                         "                   [--max-body BYTES] [--request-seconds S] [--max-per-address N]\n"
                         "                   [--access-log FILE]\n");
    return 2;
}

// Every open connection is a descriptor: allow as many as the system lets this process have.
void raiseDescriptorLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}
} // namespace

int main(int argc, char** argv) {
    http::ServiceOptions options;
    std::error_code ec;
    options.decoderPath = (std::filesystem::read_symlink("/proc/self/exe", ec).parent_path() / "melodex-decode").string();
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h" || i + 1 >= argc)
            return usage();
        const char* v = argv[++i];
        if (arg == "--catalog")
            options.catalogDir = v;
        else if (arg == "--host")
            options.host = v;
        else if (arg == "--port")
            options.port = std::atoi(v);
        else if (arg == "--public-url")
            options.publicUrl = v;
        else if (arg == "--threads")
            options.threads = static_cast<unsigned>(std::atoi(v));
        else if (arg == "--max-body")
            options.limits.bodyBytes = static_cast<size_t>(std::strtoull(v, nullptr, 10));
        else if (arg == "--request-seconds")
            options.limits.requestSeconds = std::atof(v);
        else if (arg == "--max-per-address")
            options.limits.connectionsPerAddress = static_cast<size_t>(std::strtoull(v, nullptr, 10));
        else if (arg == "--access-log") {
            options.accessLog = std::fopen(v, "a");
            if (options.accessLog == nullptr) {
                std::fprintf(stderr, "melodex-idd: cannot open %s\n", v);
                return 1;
            }
        } else
            return usage();
    }
    if (options.catalogDir.empty() || options.port < 0 || options.port > 65535 || options.threads == 0 ||
        options.limits.requestSeconds <= 0 || options.limits.connectionsPerAddress == 0)
        return usage();
    if (!std::filesystem::exists(options.decoderPath)) {
        std::fprintf(stderr, "melodex-idd: %s is missing (it decodes uploaded sound files)\n", options.decoderPath.c_str());
        return 1;
    }
    raiseDescriptorLimit();

    // Block the stop signals in every thread; one thread waits for them and stops the server,
    // which is not something a signal handler could safely do.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    http::IdService service(options);
    std::string error;
    if (!service.open(error)) {
        std::fprintf(stderr, "melodex-idd: %s\n", error.c_str());
        return 1;
    }
    std::thread waiter([&] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        service.stop();
    });
    const bool ok = service.run();
    // run() also ends without a signal: wake the waiter to let it go.
    pthread_kill(waiter.native_handle(), SIGTERM);
    waiter.join();
    return ok ? 0 : 1;
}
