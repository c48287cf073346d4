// melodex-idd over HTTP, in this process on a free loopback port: the client's exact request,
// bad requests, concurrency, a damaged catalog, and the URLs a reply hands out.
#include "TestSupport.h"
#include "http/JpegCodec.h"

#include <gtest/gtest.h>

#include <atomic>
#include <unistd.h>

using namespace melodex;
using test::parseClientReply;
using test::postLikeTheClient;

class ServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::buildCatalog(test::catalogTrackFiles(), dir_.path());
        service_ = std::make_unique<test::RunningService>(dir_.path(), 2500000);
        client_ = std::make_unique<http::HttpClient>("127.0.0.1", service_->port());
        client_->setTimeout(60);
    }
    std::optional<http::ClientReply> get(const std::string& url) {
        return client_->get(url.starts_with(service_->base()) ? url.substr(service_->base().size()) : url);
    }

    test::TempDir dir_;
    std::unique_ptr<test::RunningService> service_;
    std::unique_ptr<http::HttpClient> client_;
};

// The client's 180096-byte upload of a recording in a living room gets every element, and
// every link in it answers: the album art a JPEG for the client's 88x88 area within its one
// 100000-byte read, the recommendation another song of the catalog.
TEST_F(ServiceTest, AMatchNamesTheSongAndEveryLinkAnswers) {
    const std::string body = test::clientImage(test::track("knolls.ogg"), 7.0, test::mic(10, 1.0, true));
    ASSERT_EQ(body.size(), 180096u);
    const auto result = postLikeTheClient(*client_, body);
    ASSERT_TRUE(result);
    ASSERT_EQ(result->status, 200) << result->body;
    const auto record = parseClientReply(result->body);
    ASSERT_TRUE(record.has_value());
    for (const char* element : test::kReplyElements)
        ASSERT_TRUE(record->fields.count(element)) << element;
    EXPECT_EQ(record->fields.at("TRACK_TITLE"), "The Knolls of Doldesh");
    EXPECT_EQ(record->fields.at("ARTIST"), "Timothy Pinkham");
    EXPECT_EQ(record->fields.at("ALBUM"), "The Battle for Wesnoth OST");
    for (const char* element : {"ALBUM_ART", "WALLPAPER", "RINGER", "RECOMMEND", "FULL_SONG"}) {
        const std::string& url = record->fields.at(element);
        ASSERT_TRUE(url.starts_with(service_->base() + "/")) << element << " " << url;
        const auto page = get(url);
        ASSERT_TRUE(page) << url;
        EXPECT_EQ(page->status, 200) << url;
        EXPECT_FALSE(page->body.empty()) << url;
    }
    const auto art = get(record->fields.at("ALBUM_ART"));
    EXPECT_EQ(art->field("content-type"), "image/jpeg");
    EXPECT_LT(art->body.size(), 100000u);
    http::RgbImage picture;
    ASSERT_TRUE(http::JpegCodec::decode(art->body, picture));
    EXPECT_EQ(picture.width * 1000 + picture.height, 88088);
    const std::string recommend = get(record->fields.at("RECOMMEND"))->body;
    EXPECT_EQ(recommend.find("<b>The Knolls of Doldesh</b>"), std::string::npos) << recommend;
    EXPECT_TRUE(recommend.find("<b>Battle Music</b>") != std::string::npos ||
                recommend.find("<b>Still Another Wanderer</b>") != std::string::npos)
        << recommend;
    ASSERT_TRUE(http::JpegCodec::decode(get("/wallpaper/0.jpg")->body, picture));
    EXPECT_EQ(picture.width, 240);
}

// Each refusal has its status, an Allow field where the method is the fault, and a one-line
// reason that quotes the client's bytes rather than copying them; the service then still
// identifies.
TEST_F(ServiceTest, BadRequestsGetPreciseOneLineRefusals) {
    const std::string good = test::clientImage(test::track("battle.ogg"), 5.0);
    const struct {
        const char* method;
        std::string path, body;
        int status;
        const char* allow;
    } cases[] = {
        {"POST", "/servlet/ZorbelId?id=1004&ownerIdentifier=x", good, 400, ""},
        {"POST", "/servlet/ZorbelId?ownerIdentifier=x", good, 400, ""},
        {"POST", test::kRequestPath, "", 400, ""},
        {"POST", test::kRequestPath, std::string(20000, 'z'), 415, ""},
        {"POST", "/servlet/ZorbelId?id=10%0003&ownerIdentifier=a", "x", 400, ""},
        {"PUT", test::kRequestPath, "", 405, "POST"},
        {"DELETE", test::kRequestPath, "", 405, "POST"},
        {"GET", "/servlet/ZorbelId", "", 405, "POST"},
        {"POST", "/art/0.jpg", "", 405, "GET"},
        {"DELETE", "/ringtone/0.html", "", 405, "GET"},
        {"PUT", "/no/such/page", "", 404, ""},
        {"GET", "/art/99999999999.jpg", "", 404, ""},
        {"GET", "/art/999.jpg", "", 404, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.method) + " " + c.path);
        http::HttpClient client("127.0.0.1", service_->port());
        client.setField("User-Agent", "WindowsMobile-Melodex-0.9");
        const auto reply = client.request(c.method, c.path, c.body, "");
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->status, c.status) << reply->body;
        EXPECT_EQ(reply->field("allow"), c.allow);
        ASSERT_FALSE(reply->body.empty());
        EXPECT_EQ(reply->body.find('\n'), reply->body.size() - 1) << reply->body;
        EXPECT_EQ(reply->body.find('\0'), std::string::npos);
    }
    const auto quoted = postLikeTheClient(*client_, "x", "/servlet/ZorbelId?ownerIdentifier=a&id=10%0003%00");
    EXPECT_NE(quoted->body.find("unknown id 10\\x0003\\x00 ("), std::string::npos) << quoted->body;
    // Over the limit: refused from the Content-Length alone, while most of the body is unsent.
    test::RawClient oversized(service_->port());
    oversized.send(std::string("POST ") + test::kRequestPath + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 3000000\r\n\r\n" +
                   std::string(1000, '\0'));
    const std::string refused = oversized.readAll();
    EXPECT_EQ(test::statusOf(refused), 413) << refused;
    EXPECT_NE(refused.find("\r\n\r\nbody larger than 2500000 bytes\n"), std::string::npos) << refused;
    const auto after = postLikeTheClient(*client_, good);
    ASSERT_TRUE(after);
    EXPECT_TRUE(parseClientReply(after->body).has_value()) << after->status << " " << after->body;
}

// A segment cut short in place under the running service (not how catalogs change: they
// change by new versions) gets 503 for identifications, not a crash; the next version published
// in the folder is served again (a single song: nothing to recommend).
TEST_F(ServiceTest, ASegmentTruncatedWhileServingIsRefusedNotFatal) {
    const std::string body = test::clientImage(test::track("battle.ogg"), 5.0);
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
    EXPECT_EQ(postLikeTheClient(*client_, body)->status, 503);
    EXPECT_EQ(client_->get("/")->status, 200);

    test::buildCatalog({test::track("battle.ogg")}, dir_.path());
    takeUp();
    const auto rebuilt = postLikeTheClient(*client_, body);
    const auto record = rebuilt ? parseClientReply(rebuilt->body) : std::nullopt;
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->fields.at("TRACK_TITLE"), "Battle Music");
    EXPECT_EQ(record->fields.at("RECOMMEND"), "null");
    EXPECT_NE(record->fields.at("FULL_SONG"), "null");
}

// Fifty phones from fifty addresses (one address may hold only so many connections); music
// not in the catalog gets a reply without elements.
TEST_F(ServiceTest, FiftyConcurrentPostsAreAllAnsweredCorrectly) {
    const std::vector<std::pair<std::string, std::string>> asked = {
        {test::clientImage(test::track("battle.ogg"), 4.0), "Battle Music"},
        {test::clientImage(test::track("knolls.ogg"), 11.0), "The Knolls of Doldesh"},
        {test::clientImage(test::track("wanderer.ogg"), 15.0), "Still Another Wanderer"},
        {test::clientImage(test::track(test::kForeignTrack), 50.0), ""}};
    std::atomic<int> correct{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 50; ++i)
        threads.emplace_back([&, i] {
            http::HttpClient client("127.0.0.1", service_->port(), "127.0.1." + std::to_string(i + 1));
            client.setTimeout(120);
            const auto& [body, title] = asked[static_cast<size_t>(i) % asked.size()];
            const std::string got = test::outcome(postLikeTheClient(client, body));
            if (got == title)
                ++correct;
            else
                ADD_FAILURE() << "request " << i << ": " << got.substr(0, 200);
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(correct.load(), 50);
    EXPECT_EQ(client_->get("/")->status, 200);
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
