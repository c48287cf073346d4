#include "ShardService.h"

#include "PartitionQuery.h"
#include "Partitioner.h"
#include "http/IdService.h"

#include <cstdio>

namespace melodex::cluster {
namespace {
void refuse(http::HttpResponse& response, int status, const std::string& reason) {
    response.status = status;
    response.contentType = "text/plain";
    response.body = reason + "\n";
    response.note = reason;
}
} // namespace

ShardService::ShardService(ShardOptions options) : options_(std::move(options)), log_(options_.accessLog) {}

ShardService::~ShardService() { catalogs_.stop(); }

bool ShardService::open(std::string& error) {
    if (!catalogs_.open(options_.catalogDir, options_.fingerprint, error))
        return false;
    if (const auto version = current(); !version->error.empty()) {
        error = version->error;
        return false;
    }
    server_ = std::make_unique<http::HttpServer>(
        options_.limits, options_.threads, [this](const http::HttpRequest& q, http::HttpResponse& r) { handle(q, r); },
        [this](const http::HttpExchange& e) { log(e); });
    if (!server_->listen(options_.host, options_.port, 256, error))
        return false;
    if (options_.catalogPollMs > 0)
        catalogs_.watch(std::chrono::milliseconds(options_.catalogPollMs), [this](const std::string& m) { log_.event(m); });
    return true;
}

int ShardService::port() const { return server_ ? server_->port() : -1; }

bool ShardService::run() {
    if (!server_)
        return false;
    const auto version = current();
    log_.event("shard listening on " + options_.host + ":" + std::to_string(port()) + ", partition " +
               options_.catalogDir + " (" + std::to_string(version->served->catalog().index().entryCount()) +
               " entries, " + std::to_string(version->whole.longHashes.size()) + " over-long hashes in the whole catalog)");
    server_->run();
    log_.event("stopped");
    return true;
}

void ShardService::stop() {
    if (server_)
        server_->stop();
}

std::shared_ptr<const ShardService::Version> ShardService::current() {
    std::shared_ptr<const http::ServedCatalog> served = catalogs_.current();
    std::lock_guard lock(versionMutex_);
    if (version_ && version_->served == served)
        return version_;
    // A version taken up since the last query: what it knows of the whole catalog is read once.
    auto next = std::make_shared<Version>();
    next->served = std::move(served);
    readWholeCatalog(options_.catalogDir, next->served->catalog().manifest().version, next->whole, next->error);
    version_ = next;
    return version_;
}

void ShardService::log(const http::HttpExchange& e) { http::logExchange(log_, e); }

void ShardService::handle(const http::HttpRequest& request, http::HttpResponse& response) {
    if (request.path != kMatchPath)
        return refuse(response, 404, "a shard answers POST " + std::string(kMatchPath) + " only");
    if (request.method != "POST") {
        response.fields.emplace_back("Allow", "POST");
        return refuse(response, 405, "a partition query is a POST");
    }
    const std::optional<PartitionQuery> query = decodeQuery(request.body);
    if (!query)
        return refuse(response, 400, "not a partition query");
    const auto version = current();
    const fp::FingerprintIndex& index = version->served->catalog().index();
    // 503 sends the router's proxy to another replica of this partition.
    if (!version->error.empty())
        return refuse(response, 503, version->error);
    if (!index.intact())
        return refuse(response, 503, "this replica's index changed on disk while in use");
    const std::vector<PartitionCandidate> answer = answerQuery(options_.fingerprint, index, version->whole, *query);
    if (!index.intact())
        return refuse(response, 503, "this replica's index changed on disk while in use");
    response.contentType = "application/octet-stream";
    response.body = encodeAnswer(answer);
    char note[128];
    std::snprintf(note, sizeof note, "%zu peaks, %zu passes%s, best track %u score %d", query->peaks.size(),
                  query->passes.size(), query->passes[0].pass != Pass::triples ? " of pairs" : "", answer.empty() ? 0u : answer[0].candidate.track,
                  answer.empty() ? 0 : answer[0].candidate.score);
    response.note = note;
}

} // namespace melodex::cluster
