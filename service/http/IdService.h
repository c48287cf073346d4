// melodex-idd's HTTP front: POST /servlet/ZorbelId identifies a recording; GET /art/<album>.jpg,
// /wallpaper/<track>.jpg and the link pages serve what a reply points at. The server
// (HttpServer.h) bounds what each client may hold; stop() answers every accepted request first.
#pragma once

#include "AccessLog.h"
#include "CatalogHolder.h"
#include "HttpServer.h"
#include "audio/UploadDecoder.h"
#include "fingerprint/FingerprintConfig.h"

#include <cstdio>
#include <functional>
#include <memory>
#include <span>
#include <string>

namespace melodex::http {

struct ServiceOptions {
    std::string host = "127.0.0.1";  // loopback unless told otherwise
    int port = 8470;                 // 0: any free port (tests)
    std::string catalogDir;
    std::string publicUrl;           // base of the reply's URLs; empty: from the Host header
    unsigned threads = 4;            // identification workers; the I/O has a thread of its own
    HttpLimits limits;               // bodyBytes: larger uploads are refused before they are read
    std::string decoderPath;         // melodex-decode; empty: sound files decoded in this process
    FILE* accessLog = stderr;        // null: no access log
    int catalogPollMs = 1000;        // how often a new catalog version is looked for; 0: never
    fp::FingerprintConfig fingerprint;
    // Identification done elsewhere (a router asking the partitions of a catalog): the result,
    // or false with the reason the request is answered 503. Empty: the catalog's own index.
    std::function<bool(std::span<const float> samples, fp::Identification& result, std::string& reason)> identify;
};

class IdService {
public:
    static constexpr const char* kEndpoint = "/servlet/ZorbelId";
    static constexpr const char* kRequestId = "1003";  // the client's fixed request id
    static constexpr int kListenBacklog = 256;

    explicit IdService(ServiceOptions options);
    ~IdService();
    IdService(const IdService&) = delete;
    IdService& operator=(const IdService&) = delete;

    // Opens the catalog, starts watching it for new versions and binds the listening socket.
    bool open(std::string& error);
    int port() const;

    // Serves until stop() and until every accepted request is answered.
    bool run();
    // Safe from any thread, also before run(): stops accepting, answers what was accepted.
    void stop();
    bool running() const;
    size_t connections() const;

    // The catalog versions requests are served from: current(), replace(), refresh().
    CatalogHolder& catalogs() { return catalogs_; }

    // Routes one request (on a worker thread).
    void handle(const HttpRequest& request, HttpResponse& response);

private:
    void identify(const ServedCatalog& served, const HttpRequest& request, HttpResponse& response);
    void log(const HttpExchange& exchange);
    std::string baseUrl(const HttpRequest& request) const;

    ServiceOptions options_;
    CatalogHolder catalogs_;
    std::unique_ptr<audio::UploadDecoder> decoder_;
    AccessLog log_;
    std::unique_ptr<HttpServer> server_;
};

// The access-log line of one exchange (the identification service's and a shard's alike).
void logExchange(AccessLog& log, const HttpExchange& exchange);

// A value a client sent, fit to quote in a one-line reason: printable ASCII, other bytes as
// \xNN, at most 64 of them.
std::string quoteForReason(const std::string& value);

} // namespace melodex::http
