// Shared pieces of the service tests: packaged music, small catalogs built in the test,
// simulated phone recordings, WAV bodies, raw and client-like requests, and an in-process
// service on a free loopback port.
#pragma once

#include "MicSimulator.h"
#include "catalog/Catalog.h"
#include "catalog/CatalogBuilder.h"
#include "fingerprint/Identifier.h"
#include "http/HttpClient.h"
#include "http/IdService.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace melodex::test {

// A track of the Wesnoth soundtrack (Debian package wesnoth-1.16-music, tools/setup.sh).
std::string track(const std::string& name);

// The tracks the test catalogs hold, and one that no test catalog holds.
extern const char* const kCatalogTracks[3];
extern const char* const kForeignTrack;
// The paths of kCatalogTracks, in their order.
std::vector<std::string> catalogTrackFiles();

class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// How the test catalogs are built: the first 30 seconds of each file.
catalog::BuildOptions catalogOptions();
// Builds a catalog of `files` into `dir`, as a new version of what `dir` held.
void buildCatalog(const std::vector<std::string>& files, const std::string& dir);
// Adds `files` to the catalog in `dir` as a segment of their own.
void addToCatalog(const std::vector<std::string>& files, const std::string& dir);
// Opens the catalog in `dir` into `catalog`, failing the test when it cannot.
void openCatalog(catalog::Catalog& catalog, const std::string& dir);

// What an identification says, field by field (all but the landmark count), for comparing two
// roads to the same answer.
using Answer = std::tuple<bool, uint32_t, int, int, int, int, double, double, double, int, bool, size_t>;
Answer answerOf(const fp::Identification& id);

// A recording's conditions: noise `snrDb` below the music (100 or more: none), the music played
// `speed` times as fast, in a small room when `reverb`.
micsim::MicSettings mic(double snrDb, double speed = 1.0, bool reverb = false);
// A phone recording of `file` at `at` seconds, 8000 Hz mono, and the client's upload of it.
std::vector<float> recordClip(const std::string& file, double at, micsim::MicSettings settings = {});
std::string clientImage(const std::string& file, double at, micsim::MicSettings settings = {});

// A sine of `hz` at half full scale, `seconds` long at 8000 Hz.
std::vector<float> tone(double seconds, double hz);
// The bytes of the file at `path` ("" when it cannot be read).
std::string fileBytes(const std::string& path);

// A WAV file image (16-bit PCM) of mono 8000 Hz samples, resampled to `rate` and copied to
// `channels` channels.
std::string wavBytes(const std::vector<float>& clip8k, int rate, int channels);

inline constexpr const char* kRequestPath = "/servlet/ZorbelId?id=1003&ownerIdentifier=test-owner-42";
// The client's POST: its user agent, no Content-Type, the body as it is.
std::optional<http::ClientReply> postLikeTheClient(http::HttpClient& client, const std::string& body,
                                                   const std::string& path = kRequestPath);

// The client's reading of an identification reply, written apart from the service's code: a
// leading string up to a zero byte (length L), three skipped bytes, then the tag text from L + 4
// to the next zero byte or the end of the at most 100000 bytes one read receives. Each element
// is found by the first occurrence of its opening tag and, searched again from the start, of
// its closing tag. The elements found, with their raw 8-bit values, or nullopt for none.
struct ClientRecord {
    std::map<std::string, std::string> fields;
};
std::optional<ClientRecord> parseClientReply(const std::string& received);
// The element names the client looks for, in its order.
extern const char* const kReplyElements[9];

// The title a reply names ("" for no match), or why it is no answer to the phone.
std::string outcome(const std::optional<http::ClientReply>& reply);

// A raw connection to a loopback port from a chosen loopback address (http::connectFrom).
class RawClient {
public:
    explicit RawClient(int port, const std::string& from = "127.0.0.1");
    ~RawClient();
    bool connected() const { return fd_ >= 0; }
    bool send(const std::string& bytes);
    // Everything until the server closes (or 10 s pass).
    std::string readAll();

private:
    int fd_ = -1;
};

// The status of a raw HTTP/1.1 reply, or 0.
int statusOf(const std::string& reply);

// Runs a listening server (an HttpServer, an IdService) on a thread of its own until stop(),
// which answers what the server accepted and waits for the thread.
template <typename Server>
class ServerThread {
public:
    explicit ServerThread(Server& server) : server_(server), thread_([&server] { server.run(); }) {}
    ~ServerThread() { stop(); }
    void stop() {
        server_.stop();
        if (thread_.joinable())
            thread_.join();
    }

private:
    Server& server_;
    std::thread thread_;
};

// melodex-idd serving `catalogDir` on a free loopback port, in this process.
class RunningService {
public:
    explicit RunningService(const std::string& catalogDir, size_t maxBodyBytes = 8u * 1024 * 1024);
    int port() const { return service_->port(); }
    std::string base() const { return "http://127.0.0.1:" + std::to_string(port()); }
    http::IdService& service() { return *service_; }

private:
    std::unique_ptr<http::IdService> service_;
    std::optional<ServerThread<http::IdService>> thread_;
};

} // namespace melodex::test
