// melodex-idd over HTTP, in this process on a free loopback port: the client's exact request,
// bad requests, concurrency, and the URLs a reply hands out. (Ordinary WAVs of any rate are the
// upload decoder's: UploadDecoderTest.cpp.)
#include "ClientReplyParser.h"
#include "TestSupport.h"
#include "http/JpegCodec.h"

#include <gtest/gtest.h>
#include "http/HttpClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace melodex;
using test::parseClientReply;

namespace {

constexpr const char* kRequestPath = "/servlet/ZorbelId?id=1003&ownerIdentifier=test-owner-42";

// The client's POST: its user agent, no Content-Type, the body as it is.
std::optional<http::ClientReply> postLikeTheClient(http::HttpClient& client, const std::string& body,
                                                   const char* path = kRequestPath) {
    client.setField("User-Agent", "WindowsMobile-Melodex-0.9");
    return client.post(path, body);
}

// Sends raw bytes and reads what comes back until the server closes or 5 s pass.
std::string rawExchange(int port, const std::string& request) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string reply;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
        timeval timeout{5, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        char buffer[4096];
        ssize_t n = 0;
        while ((n = recv(fd, buffer, sizeof buffer, 0)) > 0) {
            reply.append(buffer, static_cast<size_t>(n));
            if (reply.find("\r\n\r\n") != std::string::npos && reply.find('\n', reply.find("\r\n\r\n") + 4) != std::string::npos)
                break;
        }
    }
    close(fd);
    return reply;
}

std::string pathOf(const std::string& url, const std::string& base) {
    return url.rfind(base, 0) == 0 ? url.substr(base.size()) : std::string();
}

} // namespace

class ServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::haveMusic())
            FAIL() << "wesnoth-1.16-music is not installed: run tools/setup.sh";
        std::vector<std::string> files;
        for (const char* name : test::kCatalogTracks)
            files.push_back(test::track(name));
        test::buildCatalog(files, dir_.path());
        service_ = std::make_unique<test::RunningService>(dir_.path(), 2500000);
        client_ = std::make_unique<http::HttpClient>("127.0.0.1", service_->port());
        client_->setTimeout(60);
    }

    std::string clientImage(const char* trackName, double at, micsim::MicSettings settings = {}) {
        return micsim::MicSimulator::clientImage(test::recordClip(test::track(trackName), at, settings));
    }

    test::TempDir dir_;
    std::unique_ptr<test::RunningService> service_;
    std::unique_ptr<http::HttpClient> client_;
};

TEST_F(ServiceTest, IdentifiesTheClientsExactRequestBody) {
    micsim::MicSettings room;
    room.snrDb = 10;
    room.reverb = true;
    const std::string body = clientImage("knolls.ogg", 7.0, room);
    ASSERT_EQ(body.size(), 180096u);
    const auto result = postLikeTheClient(*client_, body);
    ASSERT_TRUE(result);
    ASSERT_EQ(result->status, 200) << result->body;
    const auto record = parseClientReply(result->body);
    ASSERT_TRUE(record.has_value());
    for (const char* element : test::kReplyElements)
        EXPECT_TRUE(record->fields.count(element)) << element;
    EXPECT_EQ(record->fields.at("TRACK_TITLE"), "The Knolls of Doldesh");
    EXPECT_EQ(record->fields.at("ARTIST"), "Timothy Pinkham");
    EXPECT_EQ(record->fields.at("ALBUM"), "The Battle for Wesnoth OST");
    EXPECT_EQ(record->fields.at("ALBUM_ART").rfind(service_->base() + "/art/", 0), 0u) << record->fields.at("ALBUM_ART");
    EXPECT_LE(record->fields.at("SMS_MESSAGE").size(), 160u);
}

TEST_F(ServiceTest, MusicNotInTheCatalogGetsAReplyWithoutElements) {
    const auto result = postLikeTheClient(*client_, clientImage(test::kForeignTrack, 30.0));
    ASSERT_TRUE(result);
    ASSERT_EQ(result->status, 200);
    EXPECT_FALSE(parseClientReply(result->body).has_value()) << result->body;
    EXPECT_NE(result->body.find('\0'), std::string::npos);
}

TEST_F(ServiceTest, BadRequestsGetAOneLineReason) {
    const std::string good = clientImage("battle.ogg", 5.0);
    struct Case {
        const char* what;
        std::string path;
        std::string body;
        int status;
    };
    const std::vector<Case> cases = {
        {"wrong id", "/servlet/ZorbelId?id=1004&ownerIdentifier=x", good, 400},
        {"missing id", "/servlet/ZorbelId?ownerIdentifier=x", good, 400},
        {"empty body", kRequestPath, "", 400},
        {"truncated client body", kRequestPath, good.substr(0, 90000), 400},
        {"client header only", kRequestPath, good.substr(0, 4096), 400},
        {"not audio", kRequestPath, std::string(20000, 'z'), 415},
    };
    for (const Case& c : cases) {
        http::HttpClient client("127.0.0.1", service_->port());
        const auto result = postLikeTheClient(client, c.body, c.path.c_str());
        ASSERT_TRUE(result) << c.what;
        EXPECT_EQ(result->status, c.status) << c.what << ": " << result->body;
        ASSERT_FALSE(result->body.empty()) << c.what;
        EXPECT_EQ(result->body.find('\n'), result->body.size() - 1) << c.what << ": one line";
    }
    // Over the limit: refused from the Content-Length alone, before the body is sent, so the
    // caller gets the answer while most of its body is still unsent.
    const std::string oversized = rawExchange(service_->port(),
                                              std::string("POST ") + kRequestPath + " HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                              "Content-Length: 3000000\r\n\r\n" + std::string(1000, '\0'));
    EXPECT_EQ(oversized.rfind("HTTP/1.1 413", 0), 0u) << oversized;
    EXPECT_NE(oversized.find("\r\n\r\nbody larger than 2500000 bytes\n"), std::string::npos) << oversized;
    EXPECT_EQ(client_->get("/servlet/ZorbelId")->status, 405);
    EXPECT_EQ(client_->get("/no/such/page")->status, 404);
    EXPECT_EQ(client_->get("/art/999.jpg")->status, 404);
    // Still up and still right.
    const auto after = postLikeTheClient(*client_, good);
    ASSERT_TRUE(after);
    ASSERT_EQ(after->status, 200);
    ASSERT_TRUE(parseClientReply(after->body).has_value());
}

TEST_F(ServiceTest, MethodsAndOddValuesGetPreciseRefusals) {
    struct Case {
        const char* method;
        std::string target;
        int status;
        const char* allow;
    };
    const std::vector<Case> cases = {
        {"PUT", kRequestPath, 405, "POST"},          {"DELETE", kRequestPath, 405, "POST"},
        {"GET", "/servlet/ZorbelId", 405, "POST"},   {"POST", "/art/0.jpg", 405, "GET"},
        {"DELETE", "/ringtone/0.html", 405, "GET"},  {"PUT", "/no/such/page", 404, ""},
        {"GET", "/art/99999999999.jpg", 404, ""},
    };
    for (const Case& c : cases) {
        const auto reply = client_->request(c.method, c.target, "", "");
        ASSERT_TRUE(reply) << c.method << " " << c.target;
        EXPECT_EQ(reply->status, c.status) << c.method << " " << c.target << ": " << reply->body;
        EXPECT_EQ(reply->field("allow"), c.allow) << c.method << " " << c.target;
    }
    // A client's bytes are quoted, not copied, into the one-line reason.
    const auto nul = postLikeTheClient(*client_, "x", "/servlet/ZorbelId?id=10%0003&ownerIdentifier=a");
    ASSERT_TRUE(nul);
    EXPECT_EQ(nul->status, 400);
    EXPECT_EQ(nul->body.find('\0'), std::string::npos);
    EXPECT_NE(nul->body.find("unknown id 10\\x0003"), std::string::npos) << nul->body;
}

// A segment cut short in place under the running service (not how catalogs change: they
// change by new versions) gets 503 for identifications, not a crash; the next version published
// in the folder is served again.
TEST_F(ServiceTest, ASegmentTruncatedWhileServingIsRefusedNotFatal) {
    const std::string body = clientImage("battle.ogg", 5.0);
    ASSERT_EQ(postLikeTheClient(*client_, body)->status, 200);
    http::CatalogHolder& catalogs = service_->service().catalogs();
    const auto takeUp = [&] {
        bool changed = false;
        std::string error;
        ASSERT_TRUE(catalogs.refresh(changed, error)) << error;
        ASSERT_EQ(catalogs.current()->catalog().manifest().name(), catalog::Manifest::current(dir_.path()));
    };
    // The catalog's second segment is the one cut short: each segment is checked.
    test::addToCatalog({test::track(test::kForeignTrack)}, dir_.path());
    takeUp();
    const std::vector<std::string> segments = catalogs.current()->catalog().manifest().segments;
    ASSERT_EQ(segments.size(), 2u);
    ASSERT_EQ(truncate((dir_.path() + "/" + segments[1]).c_str(), 4096), 0);
    const auto after = postLikeTheClient(*client_, body);
    ASSERT_TRUE(after);
    EXPECT_EQ(after->status, 503) << after->body;
    EXPECT_EQ(client_->get("/")->status, 200);
    EXPECT_TRUE(service_->service().running());

    test::buildCatalog({test::track("battle.ogg")}, dir_.path());
    takeUp();
    const auto rebuilt = postLikeTheClient(*client_, body);
    ASSERT_TRUE(rebuilt);
    ASSERT_EQ(rebuilt->status, 200) << rebuilt->body;
    ASSERT_TRUE(parseClientReply(rebuilt->body).has_value());
    EXPECT_EQ(parseClientReply(rebuilt->body)->fields.at("TRACK_TITLE"), "Battle Music");
}

TEST_F(ServiceTest, FiftyConcurrentPostsAreAllAnsweredCorrectly) {
    const std::vector<std::string> bodies = {clientImage("battle.ogg", 4.0), clientImage("knolls.ogg", 11.0),
                                             clientImage("wanderer.ogg", 15.0), clientImage(test::kForeignTrack, 50.0)};
    const char* const titles[] = {"Battle Music", "The Knolls of Doldesh", "Still Another Wanderer", nullptr};
    std::atomic<int> correct{0};
    std::vector<std::thread> threads;
    const auto started = std::chrono::steady_clock::now();
    for (int i = 0; i < 50; ++i)
        threads.emplace_back([&, i] {
            // Fifty phones: fifty addresses (a single address may hold only so many connections).
            http::HttpClient client("127.0.0.1", service_->port(), "127.0.1." + std::to_string(i + 1));
            client.setTimeout(120);
            const auto result = postLikeTheClient(client, bodies[static_cast<size_t>(i) % bodies.size()]);
            if (!result || result->status != 200) {
                ADD_FAILURE() << "request " << i << ": " << (result ? std::to_string(result->status) : client.error())
                              << " after " << std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count() << " s";
                return;
            }
            const auto record = parseClientReply(result->body);
            const char* expected = titles[static_cast<size_t>(i) % bodies.size()];
            if (expected == nullptr ? !record.has_value()
                                    : record.has_value() && record->fields.count("TRACK_TITLE") &&
                                          record->fields.at("TRACK_TITLE") == expected)
                ++correct;
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(correct.load(), 50);
    EXPECT_TRUE(service_->service().running());
    EXPECT_EQ(client_->get("/")->status, 200);
}

TEST_F(ServiceTest, EveryUrlOfAReplyAnswers) {
    const auto result = postLikeTheClient(*client_, clientImage("battle.ogg", 9.0));
    ASSERT_TRUE(result);
    const auto record = parseClientReply(result->body);
    ASSERT_TRUE(record.has_value()) << result->body;
    for (const char* element : {"ALBUM_ART", "WALLPAPER", "RINGER", "RECOMMEND", "FULL_SONG"}) {
        const std::string url = record->fields.at(element);
        ASSERT_NE(url, "null") << element;
        const std::string path = pathOf(url, service_->base());
        ASSERT_FALSE(path.empty()) << element << " " << url;
        const auto page = client_->get(path.c_str());
        ASSERT_TRUE(page) << url;
        EXPECT_EQ(page->status, 200) << url;
        EXPECT_FALSE(page->body.empty()) << url;
    }
    // The album art is a real JPEG for the client's 88x88 area, within its one 100000-byte read.
    const auto art = client_->get(pathOf(record->fields.at("ALBUM_ART"), service_->base()).c_str());
    EXPECT_EQ(art->field("content-type"), "image/jpeg");
    EXPECT_LT(art->body.size(), 100000u);
    http::RgbImage picture;
    ASSERT_TRUE(http::JpegCodec::decode(art->body, picture));
    EXPECT_EQ(picture.width, 88);
    EXPECT_EQ(picture.height, 88);
    // The recommendation names another song of the catalog.
    const auto recommend = client_->get(pathOf(record->fields.at("RECOMMEND"), service_->base()).c_str());
    EXPECT_EQ(recommend->body.find("<b>Battle Music</b>"), std::string::npos);
    EXPECT_NE(recommend->body.find("Knolls"), std::string::npos);
    const auto wallpaper = client_->get("/wallpaper/0.jpg");
    ASSERT_TRUE(wallpaper);
    EXPECT_EQ(wallpaper->status, 200);
    ASSERT_TRUE(http::JpegCodec::decode(wallpaper->body, picture));
    EXPECT_EQ(picture.width, 240);
}

TEST_F(ServiceTest, StopLetsARequestInProgressFinish) {
    const std::string body = clientImage("knolls.ogg", 9.0);
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(service_->port()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const std::string head = std::string("POST ") + kRequestPath + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " +
                             std::to_string(body.size()) + "\r\n\r\n";
    const std::string firstHalf = head + body.substr(0, body.size() / 2);
    ASSERT_EQ(send(fd, firstHalf.data(), firstHalf.size(), MSG_NOSIGNAL), static_cast<ssize_t>(firstHalf.size()));
    // The request is being read when the stop comes (SIGTERM does the same through main).
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    std::thread stopper([&] { service_->service().stop(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const std::string rest = body.substr(body.size() / 2);
    ASSERT_EQ(send(fd, rest.data(), rest.size(), MSG_NOSIGNAL), static_cast<ssize_t>(rest.size()));
    timeval timeout{10, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    std::string reply;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = recv(fd, buffer, sizeof buffer, 0)) > 0)
        reply.append(buffer, static_cast<size_t>(n));
    close(fd);
    stopper.join();
    ASSERT_EQ(reply.rfind("HTTP/1.1 200", 0), 0u) << reply.substr(0, 200);
    const size_t bodyStart = reply.find("\r\n\r\n");
    ASSERT_NE(bodyStart, std::string::npos);
    const auto record = parseClientReply(reply.substr(bodyStart + 4));
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->fields.at("TRACK_TITLE"), "The Knolls of Doldesh");
    // No new connection is accepted any more.
    http::HttpClient late("127.0.0.1", service_->port());
    late.setTimeout(1);
    EXPECT_FALSE(late.get("/"));
}

TEST(ServiceSingleTrack, RecommendIsNullWhenTheCatalogHasNoOtherSong) {
    if (!test::haveMusic())
        FAIL() << "wesnoth-1.16-music is not installed: run tools/setup.sh";
    test::TempDir dir;
    test::buildCatalog({test::track("knolls.ogg")}, dir.path());
    test::RunningService service(dir.path());
    http::HttpClient client("127.0.0.1", service.port());
    client.setTimeout(60);
    const auto result = postLikeTheClient(
        client, micsim::MicSimulator::clientImage(test::recordClip(test::track("knolls.ogg"), 12.0, {})));
    ASSERT_TRUE(result);
    const auto record = parseClientReply(result->body);
    ASSERT_TRUE(record.has_value()) << result->body;
    EXPECT_EQ(record->fields.at("RECOMMEND"), "null");
    EXPECT_NE(record->fields.at("FULL_SONG"), "null");
}

TEST(ServiceStartup, RefusesAMissingCatalog) {
    http::ServiceOptions options;
    options.port = 0;
    options.catalogDir = "/nonexistent/catalog";
    options.accessLog = nullptr;
    http::IdService service(options);
    std::string error;
    EXPECT_FALSE(service.open(error));
    EXPECT_FALSE(error.empty());
}
