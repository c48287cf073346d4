// The shard role of melodex-idd: one partition of a catalog (Partitioner.h), answering a
// router's queries (PartitionQuery.h) with this partition's best candidate per speed. Several
// replicas serve one partition read-only; nginx spreads the routers' queries over them and
// moves to another replica when one fails, so a shard that cannot answer truly says 503.
#pragma once

#include "Partitioner.h"
#include "http/AccessLog.h"
#include "http/CatalogHolder.h"
#include "http/HttpServer.h"

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace melodex::cluster {

struct ShardOptions {
    std::string host = "127.0.0.1";
    int port = 0;
    std::string catalogDir;   // a partition folder
    unsigned threads = 2;
    http::HttpLimits limits;
    FILE* accessLog = stderr;
    int catalogPollMs = 1000;
    fp::FingerprintConfig fingerprint;
};

class ShardService {
public:
    static constexpr const char* kMatchPath = "/match";

    explicit ShardService(ShardOptions options);
    ~ShardService();
    ShardService(const ShardService&) = delete;
    ShardService& operator=(const ShardService&) = delete;

    bool open(std::string& error);
    int port() const;
    bool run();
    void stop();

    void handle(const http::HttpRequest& request, http::HttpResponse& response);

private:
    // A version of the partition with what it knows of the whole catalog of that version.
    struct Version {
        std::shared_ptr<const http::ServedCatalog> served;
        WholeCatalog whole;
        std::string error;  // why this version cannot answer
    };
    std::shared_ptr<const Version> current();
    void log(const http::HttpExchange& exchange);

    ShardOptions options_;
    http::CatalogHolder catalogs_;
    http::AccessLog log_;
    std::mutex versionMutex_;
    std::shared_ptr<const Version> version_;
    std::unique_ptr<http::HttpServer> server_;
};

} // namespace melodex::cluster
