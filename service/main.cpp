// melodex-idd: the identification service the client posts its recordings to.
//   melodex-idd --catalog DIR [--host 127.0.0.1] [--port 8470] [--public-url URL]
//               [--threads N] [--max-body BYTES] [--access-log FILE]
// SIGINT and SIGTERM stop it gracefully: requests in progress are answered first.
#include "http/IdService.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <pthread.h>
#include <string>
#include <thread>

using namespace melodex;

namespace {
int usage() {
    std::fprintf(stderr, "usage: melodex-idd --catalog DIR [--host ADDR] [--port N] [--public-url URL] [--threads N]\n"
                         "                   [--max-body BYTES] [--access-log FILE]\n");
    return 2;
}
} // namespace

int main(int argc, char** argv) {
    http::ServiceOptions options;
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
            options.maxBodyBytes = static_cast<size_t>(std::strtoull(v, nullptr, 10));
        else if (arg == "--access-log") {
            options.accessLog = std::fopen(v, "a");
            if (options.accessLog == nullptr) {
                std::fprintf(stderr, "melodex-idd: cannot open %s\n", v);
                return 1;
            }
        } else
            return usage();
    }
    if (options.catalogDir.empty() || options.port < 0 || options.port > 65535)
        return usage();

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
    // run() also ends without a signal (a failed accept loop): wake the waiter to let it go.
    pthread_kill(waiter.native_handle(), SIGTERM);
    waiter.join();
    return ok ? 0 : 1;
}
