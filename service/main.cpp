// melodex-idd: the identification service the client posts its recordings to.
//   melodex-idd --catalog DIR [--host 127.0.0.1] [--port 8470] [--public-url URL] [--threads N]
//               [--max-body BYTES] [--request-seconds S] [--max-per-address N] [--access-log FILE]
//               [--role router --partitions P --proxy HOST:PORT | --role shard]
// A router answers the phones from a catalog's metadata and asks the P partitions of its index
// through the proxy; a shard serves one partition to the routers (melodex-catalog partition).
// SIGINT and SIGTERM stop it gracefully: it stops accepting and answers every accepted request.
#include "cluster/PartitionClient.h"
#include "cluster/ShardService.h"
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
                         "                   [--access-log FILE]\n"
                         "                   [--role router --partitions P --proxy HOST:PORT | --role shard]\n");
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

// Serves until SIGINT or SIGTERM, which every thread blocks; one thread waits for them and
// stops the server, which is not something a signal handler could safely do.
template <typename Service, typename Options>
int serve(const Options& options, sigset_t& stopSignals) {
    Service service(options);
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

cluster::ShardOptions shardOptions(const http::ServiceOptions& o) {
    cluster::ShardOptions shard;
    shard.host = o.host;
    shard.port = o.port;
    shard.catalogDir = o.catalogDir;
    shard.threads = o.threads;
    shard.limits = o.limits;
    shard.accessLog = o.accessLog;
    shard.fingerprint = o.fingerprint;
    return shard;
}

} // namespace

int main(int argc, char** argv) {
    http::ServiceOptions options;
    std::string role = "single";
    int partitions = 0;
    std::string proxy;
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
        } else if (arg == "--role")
            role = v;
        else if (arg == "--partitions")
            partitions = std::atoi(v);
        else if (arg == "--proxy")
            proxy = v;
        else
            return usage();
    }
    const size_t colon = proxy.rfind(':');
    if ((role != "single" && role != "router" && role != "shard") ||
        (role == "router" && (partitions < 1 || colon == std::string::npos)))
        return usage();
    if (options.catalogDir.empty() || options.port < 0 || options.port > 65535 || options.threads == 0 ||
        options.limits.requestSeconds <= 0 || options.limits.connectionsPerAddress == 0)
        return usage();
    if (!std::filesystem::exists(options.decoderPath)) {
        std::fprintf(stderr, "melodex-idd: %s is missing (it decodes uploaded sound files)\n", options.decoderPath.c_str());
        return 1;
    }
    raiseDescriptorLimit();

    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    if (role == "shard")
        return serve<cluster::ShardService>(shardOptions(options), stopSignals);
    std::unique_ptr<cluster::PartitionClient> partitionClient;
    if (role == "router") {
        partitionClient = std::make_unique<cluster::PartitionClient>(proxy.substr(0, colon), std::atoi(proxy.c_str() + colon + 1),
                                                                     static_cast<unsigned>(partitions));
        const fp::FingerprintConfig config = options.fingerprint;
        options.identify = [config, peaks = fp::PeakExtractor(config), client = partitionClient.get()](
                               std::span<const float> samples, fp::Identification& result, std::string& reason) {
            return cluster::identifyAcrossPartitions(
                config, peaks, samples,
                [client](const cluster::PartitionQuery& q, auto& answers, std::string& why) { return client->ask(q, answers, why); },
                result, reason);
        };
    }
    return serve<http::IdService>(options, stopSignals);
}
