#include "IdService.h"

#include "ArtRenderer.h"
#include "ReplyBuilder.h"

#include <cctype>
#include <cstdio>
#include <optional>

namespace melodex::http {
namespace {

bool isHostHeader(const std::string& host) {
    if (host.empty() || host.size() > 255)
        return false;
    for (char c : host)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == ':' || c == '[' || c == ']'))
            return false;
    return true;
}

constexpr const char* kIndexChanged =
    "the catalog's index changed on disk while in use; catalogs change by new versions (melodex-catalog)";

void refuse(HttpResponse& response, int status, const std::string& reason) {
    response.status = status;
    response.contentType = "text/plain";
    response.body = reason + "\n";
    response.note = reason;
}

// "<prefix><1 to 9 digits><suffix>" gives the number.
std::optional<uint32_t> numbered(const std::string& path, std::string_view prefix, std::string_view suffix) {
    if (path.size() <= prefix.size() + suffix.size() || path.compare(0, prefix.size(), prefix) != 0 ||
        path.compare(path.size() - suffix.size(), suffix.size(), suffix) != 0)
        return std::nullopt;
    const std::string digits = path.substr(prefix.size(), path.size() - prefix.size() - suffix.size());
    if (digits.size() > 9)
        return std::nullopt;
    for (char c : digits)
        if (c < '0' || c > '9')
            return std::nullopt;
    return static_cast<uint32_t>(std::stoul(digits));
}

} // namespace

std::string quoteForReason(const std::string& value) {
    std::string out;
    for (size_t i = 0; i < value.size() && i < 64; ++i) {
        const auto c = static_cast<unsigned char>(value[i]);
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    if (value.size() > 64)
        out += "...";
    return out;
}

IdService::IdService(ServiceOptions options) : options_(std::move(options)), log_(options_.accessLog) {}

// The catalog watcher logs through log_, which goes before the holder would stop it.
IdService::~IdService() { catalogs_.stop(); }

bool IdService::open(std::string& error) {
    if (!catalogs_.open(options_.catalogDir, options_.fingerprint, error))
        return false;
    audio::DecodeLimits limits;
    limits.maxSeconds = options_.fingerprint.maxQuerySeconds;
    decoder_ = std::make_unique<audio::UploadDecoder>(limits, options_.decoderPath);

    server_ = std::make_unique<HttpServer>(
        options_.limits, options_.threads, [this](const HttpRequest& q, HttpResponse& r) { handle(q, r); },
        [this](const HttpExchange& e) { log(e); });
    if (!server_->listen(options_.host, options_.port, kListenBacklog, error))
        return false;
    if (options_.catalogPollMs > 0)
        catalogs_.watch(std::chrono::milliseconds(options_.catalogPollMs), [this](const std::string& message) { log_.event(message); });
    return true;
}

int IdService::port() const { return server_ ? server_->port() : -1; }

bool IdService::run() {
    if (!server_)
        return false;
    log_.event("listening on " + options_.host + ":" + std::to_string(port()) + ", catalog " + options_.catalogDir +
               " (" + std::to_string(catalogs_.current()->catalog().tracks().size()) + " tracks)");
    server_->run();
    log_.event("stopped");
    return true;
}

void IdService::stop() {
    if (server_)
        server_->stop();
}

bool IdService::running() const { return server_ && server_->running(); }

size_t IdService::connections() const { return server_ ? server_->connections() : 0; }

void IdService::log(const HttpExchange& e) { logExchange(log_, e); }

void logExchange(AccessLog& log, const HttpExchange& e) {
    AccessRecord r;
    r.remote = e.remote;
    if (e.request != nullptr) {
        r.method = e.request->method;
        r.target = e.request->target;
        r.agent = e.request->field("user-agent");
    }
    r.status = e.response->status;
    r.bytesIn = e.bytesIn;
    r.bytesOut = e.response->body.size();
    r.milliseconds = e.milliseconds;
    r.note = e.response->note;
    log.write(r);
}

std::string IdService::baseUrl(const HttpRequest& request) const {
    if (!options_.publicUrl.empty())
        return options_.publicUrl;
    // The address the client used reaches us (it may be a name its network maps).
    const std::string host = request.field("host");
    if (isHostHeader(host))
        return "http://" + host;
    return "http://" + (options_.host == "0.0.0.0" ? std::string("127.0.0.1") : options_.host) + ":" +
           std::to_string(port());
}

void IdService::handle(const HttpRequest& request, HttpResponse& response) {
    const std::shared_ptr<const ServedCatalog> served = catalogs_.current();
    const catalog::Catalog& catalog = served->catalog();
    const std::string& path = request.path;
    const bool get = request.method == "GET";
    const auto allowOnly = [&](const char* method) {
        response.fields.emplace_back("Allow", method);
        refuse(response, 405, std::string(path == kEndpoint ? "identification takes a POST of the recording"
                                                            : "this resource answers GET only") +
                                  ", not " + quoteForReason(request.method));
    };
    if (path == kEndpoint)
        return request.method == "POST" ? identify(*served, request, response) : allowOnly("POST");

    if (const auto album = numbered(path, "/art/", ".jpg")) {
        if (!get)
            return allowOnly("GET");
        std::string art = served->albumArt(*album);
        if (art.empty())
            return refuse(response, 404, "no album " + std::to_string(*album));
        response.contentType = "image/jpeg";
        response.body = std::move(art);
        return;
    }
    if (const auto n = numbered(path, "/wallpaper/", ".jpg")) {
        if (!get)
            return allowOnly("GET");
        const catalog::Track* track = catalog.track(*n);
        if (track == nullptr)
            return refuse(response, 404, "no track " + std::to_string(*n));
        const catalog::Album* album = catalog.album(track->albumId);
        response.contentType = "image/jpeg";
        response.body = ArtRenderer::albumJpeg(album ? album->title : track->title, album ? album->coverPath : "", 240, 320);
        return;
    }
    for (const auto& [kind, prefix] : {std::pair{LinkKind::Ringtone, "/ringtone/"}, std::pair{LinkKind::FullSong, "/fullsong/"},
                                       std::pair{LinkKind::Wallpaper, "/wallpaper/"}, std::pair{LinkKind::Recommend, "/recommend/"}})
        if (const auto n = numbered(path, prefix, ".html")) {
            if (!get)
                return allowOnly("GET");
            const catalog::Track* track = catalog.track(*n);
            if (track == nullptr)
                return refuse(response, 404, "no track " + std::to_string(*n));
            response.contentType = "text/html; charset=utf-8";
            response.body = served->pages().page(kind, *track);
            return;
        }
    if (path == "/") {
        if (!get)
            return allowOnly("GET");
        response.contentType = "text/html; charset=utf-8";
        response.body = served->pages().index();
        return;
    }
    refuse(response, 404, "no such resource: " + quoteForReason(path));
}

void IdService::identify(const ServedCatalog& served, const HttpRequest& request, HttpResponse& response) {
    const catalog::Catalog& catalog = served.catalog();
    const std::map<std::string, std::string> query = request.query();
    const auto idParam = query.find("id");
    if (idParam == query.end())
        return refuse(response, 400, "missing id parameter (expected id=1003)");
    if (idParam->second != kRequestId)
        return refuse(response, 400, "unknown id " + quoteForReason(idParam->second) + " (expected 1003)");
    const auto ownerIt = query.find("ownerIdentifier");
    const std::string owner = ownerIt != query.end() ? quoteForReason(ownerIt->second) : "";

    if (!catalog.index().intact())
        return refuse(response, 503, kIndexChanged);
    const audio::DecodedUpload upload = decoder_->decode(request.body);
    if (upload.status != 0)
        return refuse(response, upload.status, upload.reason);

    fp::Identification result;
    if (!options_.identify)
        result = served.identifier().identify(upload.samples);
    else if (std::string reason; !options_.identify(upload.samples, result, reason))
        return refuse(response, 503, reason);
    // A segment changed during the search may have given zeros for entries: no answer from it.
    if (!catalog.index().intact())
        return refuse(response, 503, kIndexChanged);
    const catalog::Track* track = result.matched ? catalog.track(result.track) : nullptr;
    char summary[160];
    std::snprintf(summary, sizeof summary, "score %d, runner-up %d, speed %.2f, pitch %.2f, %zu landmarks", result.score,
                  result.runnerUpScore, result.speed, result.pitch, result.queryLandmarks);
    response.contentType = "application/octet-stream";
    if (track == nullptr) {
        response.note = "owner " + owner + ": no match (" + summary + "); " + upload.reason;
        response.body = ReplyBuilder::noMatch();
        return;
    }
    const catalog::Album* album = catalog.album(track->albumId);
    const std::string base = baseUrl(request);
    const std::string n = std::to_string(track->id);
    SongReply song;
    song.album = album ? album->title : "";
    song.artist = track->artist;
    song.title = track->title;
    song.smsMessage = ReplyBuilder::smsText(track->title, track->artist);
    song.albumArt = !served.albumArt(track->albumId).empty() ? base + "/art/" + std::to_string(track->albumId) + ".jpg" : "";
    song.wallpaper = base + "/wallpaper/" + n + ".html";
    song.ringer = base + "/ringtone/" + n + ".html";
    song.fullSong = base + "/fullsong/" + n + ".html";
    song.recommend = served.pages().recommendationFor(*track) ? base + "/recommend/" + n + ".html" : "";
    char at[48];
    std::snprintf(at, sizeof at, " at %.1f s", result.offsetSeconds);
    response.note = "owner " + owner + ": track " + n + " \"" + track->title + "\"" + at + " (" + summary + ")";
    response.body = ReplyBuilder::match(song);
}

} // namespace melodex::http
