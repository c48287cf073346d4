// melodex-idd's HTTP front: POST /servlet/ZorbelId identifies a recording (the phone's recording
// image or a sound file); GET /art/<album>.jpg, /wallpaper/<track>.jpg and the link pages serve
// what a reply points at. Requests run on a thread pool; stop() lets requests in progress finish.
#pragma once

#include "AccessLog.h"
#include "LinkPages.h"
#include "audio/UploadDecoder.h"
#include "catalog/CatalogHolder.h"
#include "fingerprint/FingerprintConfig.h"
#include "fingerprint/Identifier.h"

#include <atomic>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

namespace melodex::http {

struct ServiceOptions {
    std::string host = "127.0.0.1";         // loopback unless told otherwise
    int port = 8470;                        // 0: any free port (tests)
    std::string catalogDir;
    std::string publicUrl;                  // base of the reply's URLs; empty: from the Host header
    size_t maxBodyBytes = 8u * 1024 * 1024; // larger uploads are refused before they are read
    unsigned threads = 8;
    FILE* accessLog = stderr;               // null: no access log
    int catalogPollMs = 1000;               // how often a new catalog version is looked for; 0: never
    fp::FingerprintConfig fingerprint;
};

class IdService {
public:
    static constexpr const char* kEndpoint = "/servlet/ZorbelId";
    static constexpr const char* kRequestId = "1003";  // the fixed id every client request carries
    static constexpr int kListenBacklog = 256;

    explicit IdService(ServiceOptions options);
    ~IdService();
    IdService(const IdService&) = delete;
    IdService& operator=(const IdService&) = delete;

    // Opens the catalog, draws the album pictures and binds the listening socket.
    bool open(std::string& error);
    int port() const { return port_; }

    // Serves until stop(); returns false if the server could not run.
    bool run();
    // Safe from any thread: stops accepting, lets requests in progress finish, ends run().
    void stop();
    bool running() const;

    std::shared_ptr<const catalog::Catalog> catalog() const { return catalogs_.current(); }

private:
    void installRoutes();
    void identify(const httplib::Request& request, const std::string& body, httplib::Response& response);
    void refuse(httplib::Response& response, int status, const std::string& reason);
    std::string baseUrl(const httplib::Request& request) const;
    std::string albumArt(const catalog::Catalog& catalog, uint32_t albumId);

    ServiceOptions options_;
    // Each request answers from the catalog version in force when it began (CatalogHolder).
    catalog::CatalogHolder catalogs_;
    std::unique_ptr<audio::UploadDecoder> decoder_;
    std::mutex artMutex_;
    std::map<uint32_t, std::string> albumArt_;  // album id -> 88x88 JPEG; album ids outlive versions
    AccessLog log_;
    std::unique_ptr<httplib::Server> server_;
    int port_ = 0;
    std::atomic<bool> runCalled_{false};
    std::atomic<bool> runDone_{false};
};

} // namespace melodex::http
