#include "IdService.h"

#include "ArtRenderer.h"
#include "ReplyBuilder.h"

#include <httplib.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdio>
#include <thread>

namespace melodex::http {
namespace {

// A request is handled on one pool thread from routing to logging, so what the logger needs
// to know about it travels in thread-local storage.
thread_local std::chrono::steady_clock::time_point t_started;
thread_local std::string t_note;
thread_local size_t t_bytesIn = 0;

bool isHostHeader(const std::string& host) {
    if (host.empty() || host.size() > 255)
        return false;
    for (char c : host)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == ':' || c == '[' || c == ']'))
            return false;
    return true;
}

std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\r' || c == '\n')
            c = ' ';
    return text;
}

} // namespace

IdService::IdService(ServiceOptions options) : options_(std::move(options)), log_(options_.accessLog) {}

// The catalog watcher logs through log_, which goes before the holder would stop it.
IdService::~IdService() { catalogs_.stop(); }

bool IdService::open(std::string& error) {
    if (!catalogs_.open(options_.catalogDir, error))
        return false;
    decoder_ = std::make_unique<audio::UploadDecoder>(options_.fingerprint.maxQuerySeconds);
    const auto catalog = catalogs_.current();
    for (const catalog::Album& album : catalog->albums())
        albumArt(*catalog, album.id);

    server_ = std::make_unique<httplib::Server>();
    const unsigned threads = std::max(1u, options_.threads);
    server_->new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    server_->set_payload_max_length(options_.maxBodyBytes);
    server_->set_read_timeout(30, 0);
    installRoutes();
    // httplib listens with a backlog of 5; a burst of phones posting at once would overflow
    // it and see connections reset. Note the socket, and listen again with a deep backlog
    // (Linux updates the backlog of a listening socket).
    int listeningSocket = -1;
    server_->set_socket_options([&listeningSocket](socket_t sock) {
        httplib::default_socket_options(sock);
        listeningSocket = sock;
    });
    port_ = options_.port == 0 ? server_->bind_to_any_port(options_.host)
                               : (server_->bind_to_port(options_.host, options_.port) ? options_.port : -1);
    if (port_ <= 0) {
        error = "cannot listen on " + options_.host + ":" + std::to_string(options_.port);
        return false;
    }
    if (listeningSocket >= 0)
        ::listen(listeningSocket, kListenBacklog);
    if (options_.catalogPollMs > 0)
        catalogs_.watch(std::chrono::milliseconds(options_.catalogPollMs), [this](const std::string& message) { log_.event(message); });
    return true;
}

std::string IdService::albumArt(const catalog::Catalog& catalog, uint32_t albumId) {
    std::lock_guard lock(artMutex_);
    if (const auto it = albumArt_.find(albumId); it != albumArt_.end())
        return it->second;
    const catalog::Album* album = catalog.album(albumId);
    if (album == nullptr)
        return {};
    return albumArt_[albumId] = ArtRenderer::albumJpeg(album->title, album->coverPath, ArtRenderer::kArtSize, ArtRenderer::kArtSize);
}

bool IdService::run() {
    log_.event("listening on " + options_.host + ":" + std::to_string(port_) + ", catalog " + options_.catalogDir +
               " (" + std::to_string(catalogs_.current()->tracks().size()) + " tracks)");
    runCalled_ = true;
    const bool ok = server_->listen_after_bind();
    runDone_ = true;
    log_.event("stopped");
    return ok;
}

void IdService::stop() {
    if (!server_)
        return;
    // httplib's stop() only acts on a running loop: give a run() that is just starting a
    // moment to get there, so that an early stop is not lost.
    for (int i = 0; i < 1000 && runCalled_ && !runDone_ && !server_->is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    server_->stop();
}

bool IdService::running() const { return server_ && server_->is_running(); }

void IdService::refuse(httplib::Response& response, int status, const std::string& reason) {
    response.status = status;
    response.set_content(oneLine(reason) + "\n", "text/plain");
    t_note = oneLine(reason);
}

std::string IdService::baseUrl(const httplib::Request& request) const {
    if (!options_.publicUrl.empty())
        return options_.publicUrl;
    // The address the client used reaches us (it may be a name its network maps).
    const std::string host = request.get_header_value("Host");
    if (isHostHeader(host))
        return "http://" + host;
    return "http://" + (options_.host == "0.0.0.0" ? std::string("127.0.0.1") : options_.host) + ":" +
           std::to_string(port_);
}

void IdService::installRoutes() {
    httplib::Server& s = *server_;
    const size_t limit = options_.maxBodyBytes;

    // Oversized uploads are refused from their Content-Length, before the body is read.
    s.set_pre_routing_handler([this, limit](const httplib::Request& request, httplib::Response& response) {
        t_started = std::chrono::steady_clock::now();
        t_note.clear();
        if (request.has_header("Content-Length") &&
            std::strtoull(request.get_header_value("Content-Length").c_str(), nullptr, 10) > limit) {
            refuse(response, 413, "body larger than " + std::to_string(limit) + " bytes");
            response.set_header("Connection", "close");
            return httplib::Server::HandlerResponse::Handled;
        }
        // Without a length or chunked coding a POST body would only end when the client closes.
        if (request.method == "POST" && !request.has_header("Content-Length") &&
            request.get_header_value("Transfer-Encoding").find("chunked") == std::string::npos) {
            refuse(response, 411, "Content-Length required (a POST carries the recording)");
            response.set_header("Connection", "close");
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    s.set_expect_100_continue_handler([this, limit](const httplib::Request& request, httplib::Response& response) {
        if (std::strtoull(request.get_header_value("Content-Length").c_str(), nullptr, 10) > limit) {
            refuse(response, 413, "body larger than " + std::to_string(limit) + " bytes");
            return 413;
        }
        return 100;
    });
    s.set_error_handler([this](const httplib::Request& request, httplib::Response& response) {
        if (!response.body.empty())
            return;
        switch (response.status) {
        case 404: refuse(response, 404, "no such resource: " + request.path); break;
        case 413: refuse(response, 413, "body larger than " + std::to_string(options_.maxBodyBytes) + " bytes"); break;
        default: refuse(response, response.status, "bad request"); break;
        }
    });
    s.set_exception_handler([this](const httplib::Request&, httplib::Response& response, std::exception_ptr) {
        refuse(response, 500, "internal error");
    });
    s.set_logger([this](const httplib::Request& request, const httplib::Response& response) {
        AccessRecord r;
        r.remote = request.remote_addr;
        r.method = request.method;
        r.target = request.target.empty() ? request.path : request.target;
        r.agent = request.get_header_value("User-Agent");
        r.status = response.status;
        r.bytesIn = std::max(request.body.size(), t_bytesIn);
        r.bytesOut = response.body.size();
        if (t_started.time_since_epoch().count() != 0)
            r.milliseconds = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t_started).count();
        r.note = t_note;
        log_.write(r);
        t_started = {};
        t_note.clear();
        t_bytesIn = 0;
    });

    // The body is read through a content reader: it bounds the size itself (chunked uploads
    // have no Content-Length) and takes the bytes whatever Content-Type a caller claims.
    s.Post(kEndpoint, [this, limit](const httplib::Request& request, httplib::Response& response,
                                    const httplib::ContentReader& reader) {
        std::string body;
        bool tooLarge = false;
        const bool complete = reader([&](const char* data, size_t length) {
            if (body.size() + length > limit) {
                tooLarge = true;
                return false;
            }
            body.append(data, length);
            return true;
        });
        if (tooLarge) {
            response.set_header("Connection", "close");
            return refuse(response, 413, "body larger than " + std::to_string(limit) + " bytes");
        }
        if (!complete)
            return refuse(response, 400, "body ended before its announced length");
        t_bytesIn = body.size();
        identify(request, body, response);
    });
    s.Get(kEndpoint, [this](const httplib::Request&, httplib::Response& response) {
        refuse(response, 405, "identification takes a POST of the recording");
    });
    s.Get(R"(/art/(\d{1,9})\.jpg)", [this](const httplib::Request& request, httplib::Response& response) {
        const std::string art = albumArt(*catalogs_.current(), static_cast<uint32_t>(std::stoul(request.matches[1].str())));
        if (art.empty())
            return refuse(response, 404, "no album " + request.matches[1].str());
        response.set_content(art, "image/jpeg");
    });
    s.Get(R"(/wallpaper/(\d{1,9})\.jpg)", [this](const httplib::Request& request, httplib::Response& response) {
        const auto catalog = catalogs_.current();
        const catalog::Track* track = catalog->track(static_cast<uint32_t>(std::stoul(request.matches[1].str())));
        if (track == nullptr)
            return refuse(response, 404, "no track " + request.matches[1].str());
        const catalog::Album* album = catalog->album(track->albumId);
        response.set_content(ArtRenderer::albumJpeg(album ? album->title : track->title, album ? album->coverPath : "", 240, 320),
                             "image/jpeg");
    });
    s.Get(R"(/(ringtone|fullsong|wallpaper|recommend)/(\d{1,9})\.html)",
          [this](const httplib::Request& request, httplib::Response& response) {
              const auto catalog = catalogs_.current();
              const catalog::Track* track = catalog->track(static_cast<uint32_t>(std::stoul(request.matches[2].str())));
              if (track == nullptr)
                  return refuse(response, 404, "no track " + request.matches[2].str());
              const std::string kind = request.matches[1].str();
              const LinkKind k = kind == "ringtone"    ? LinkKind::Ringtone
                                 : kind == "fullsong"  ? LinkKind::FullSong
                                 : kind == "wallpaper" ? LinkKind::Wallpaper
                                                       : LinkKind::Recommend;
              response.set_content(LinkPages(*catalog).page(k, *track), "text/html; charset=utf-8");
          });
    s.Get("/", [this](const httplib::Request&, httplib::Response& response) {
        response.set_content(LinkPages(*catalogs_.current()).index(), "text/html; charset=utf-8");
    });
}

void IdService::identify(const httplib::Request& request, const std::string& body, httplib::Response& response) {
    if (!request.has_param("id"))
        return refuse(response, 400, "missing id parameter (expected id=1003)");
    if (request.get_param_value("id") != kRequestId)
        return refuse(response, 400, "unknown id " + request.get_param_value("id") + " (expected 1003)");
    const std::string owner = request.get_param_value("ownerIdentifier");

    const audio::DecodedUpload upload = decoder_->decode(body);
    if (upload.status != 0)
        return refuse(response, upload.status, upload.reason);

    const auto catalog = catalogs_.current();
    const fp::Identification id = fp::Identifier(options_.fingerprint, catalog->index()).identify(upload.samples);
    const catalog::Track* track = id.matched ? catalog->track(id.track) : nullptr;
    char summary[160];
    std::snprintf(summary, sizeof summary, "score %d, runner-up %d, speed %.2f, %zu landmarks", id.score,
                  id.runnerUpScore, id.speed, id.queryLandmarks);
    if (track == nullptr) {
        t_note = "owner " + owner + ": no match (" + summary + "); " + upload.reason;
        response.set_content(ReplyBuilder::noMatch(), "application/octet-stream");
        return;
    }
    const catalog::Album* album = catalog->album(track->albumId);
    const std::string base = baseUrl(request);
    const std::string n = std::to_string(track->id);
    SongReply song;
    song.album = album ? album->title : "";
    song.artist = track->artist;
    song.title = track->title;
    song.smsMessage = ReplyBuilder::smsText(track->title, track->artist);
    song.albumArt = !albumArt(*catalog, track->albumId).empty() ? base + "/art/" + std::to_string(track->albumId) + ".jpg" : "";
    song.wallpaper = base + "/wallpaper/" + n + ".html";
    song.ringer = base + "/ringtone/" + n + ".html";
    song.fullSong = base + "/fullsong/" + n + ".html";
    song.recommend = LinkPages(*catalog).recommendationFor(*track) ? base + "/recommend/" + n + ".html" : "";
    char at[48];
    std::snprintf(at, sizeof at, " at %.1f s", id.offsetSeconds);
    t_note = "owner " + owner + ": track " + n + " \"" + track->title + "\"" + at + " (" + summary + ")";
    response.set_content(ReplyBuilder::match(song), "application/octet-stream");
}

} // namespace melodex::http
