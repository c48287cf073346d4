// The HTTP server under clients that misbehave: slow, many, malformed; its socket options;
// and a stop with requests in flight. A trivial handler stands in for the service.
#include "TestSupport.h"
#include "http/AccessLog.h"
#include "http/HttpClient.h"
#include "http/HttpServer.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace melodex;
using namespace std::chrono_literals;

namespace {

using test::RawClient;
using test::statusOf;

class HttpServerTest : public ::testing::Test {
protected:
    void start(http::HttpLimits limits, std::chrono::milliseconds handlerTime = 0ms) {
        server_ = std::make_unique<http::HttpServer>(
            limits, 2,
            [handlerTime](const http::HttpRequest& request, http::HttpResponse& response) {
                std::this_thread::sleep_for(handlerTime);
                response.body = request.method + " " + request.target + " " + std::to_string(request.body.size()) + "\n";
            },
            [this](const http::HttpExchange&) { ++logged_; });
        std::string error;
        ASSERT_TRUE(server_->listen("127.0.0.1", 0, 256, error)) << error;
        thread_.emplace(*server_);
    }
    int port() const { return server_->port(); }

    std::atomic<int> logged_{0};
    std::unique_ptr<http::HttpServer> server_;
    std::optional<test::ServerThread<http::HttpServer>> thread_;
};

} // namespace

TEST_F(HttpServerTest, ARequestTricklingInPastItsDeadlineGets408) {
    http::HttpLimits limits;
    limits.requestSeconds = 0.5;
    start(limits);
    RawClient slow(port());
    ASSERT_TRUE(slow.connected());
    // A byte every 100 ms keeps a per-read time-out from ever firing; the request's own deadline
    // still ends it.
    const std::string head = "GET / HTTP/1.1\r\nHost: x\r\nX-Slow: ";
    for (int i = 0; i < 25 && slow.send(std::string(1, head[static_cast<size_t>(i) % head.size()])); ++i)
        std::this_thread::sleep_for(100ms);
    const std::string reply = slow.readAll();
    EXPECT_EQ(statusOf(reply), 408) << reply;
}

TEST_F(HttpServerTest, FramingAndHeadersAreRefusedOnlyWhenMalformedOrOversized) {
    http::HttpLimits limits;
    limits.headerFields = 20;
    limits.headerBytes = 4096;
    limits.bodyBytes = 1000;
    start(limits);
    std::string manyFields = "GET / HTTP/1.1\r\nHost: x\r\n";
    for (int i = 0; i < 30; ++i)
        manyFields += "X-" + std::to_string(i) + ": y\r\n";
    const struct {
        const char* what;
        std::string request;
        int status;
    } cases[] = {
        {"two different lengths", "POST / HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\nContent-Length: 5\r\n\r\nabcde", 400},
        {"negative length", "POST / HTTP/1.1\r\nHost: x\r\nContent-Length: -1\r\n\r\n", 400},
        {"length and chunked", "POST / HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\n", 400},
        {"POST without a length", "POST / HTTP/1.1\r\nHost: x\r\n\r\n", 411},
        {"body over the limit", "POST / HTTP/1.1\r\nHost: x\r\nContent-Length: 99999999\r\n\r\n", 413},
        {"body a byte over the limit", "POST / HTTP/1.1\r\nHost: x\r\nContent-Length: 1001\r\n\r\n", 413},
        {"body at the limit", "POST /x HTTP/1.1\r\nHost: x\r\nContent-Length: 1000\r\nConnection: close\r\n\r\n" + std::string(1000, 'b'), 200},
        {"too many header fields", manyFields + "\r\n", 431},
        {"header larger than allowed", "GET / HTTP/1.1\r\nHost: x\r\nX-Big: " + std::string(5000, 'a') + "\r\n\r\n", 431},
        {"not HTTP", "\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03\r\n\r\n", 400},
        // Identical duplicates say the same thing.
        {"the same length twice", "POST /x HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\nContent-Length: 3\r\nConnection: close\r\n\r\nabc", 200},
    };
    for (const auto& c : cases) {
        RawClient client(port());
        ASSERT_TRUE(client.send(c.request)) << c.what;
        const std::string reply = client.readAll();
        EXPECT_EQ(statusOf(reply), c.status) << c.what << ": " << reply;
    }
}

TEST_F(HttpServerTest, OneAddressHoldsOnlyItsShareOfConnections) {
    http::HttpLimits limits;
    limits.connectionsPerAddress = 4;
    start(limits);
    std::vector<std::unique_ptr<RawClient>> held;
    for (int i = 0; i < 4; ++i) {
        held.push_back(std::make_unique<RawClient>(port(), "127.0.0.7"));
        held.back()->send("G");
    }
    for (int i = 0; i < 200 && server_->connections() < 4; ++i)
        std::this_thread::sleep_for(5ms);
    RawClient fifth(port(), "127.0.0.7");
    const std::string refused = fifth.readAll();
    EXPECT_EQ(statusOf(refused), 503) << refused;
    EXPECT_NE(refused.find("too many connections from 127.0.0.7"), std::string::npos) << refused;
    // Other addresses are served as before.
    http::HttpClient other("127.0.0.1", port(), "127.0.0.8");
    const auto reply = other.get("/fine");
    ASSERT_TRUE(reply) << other.error();
    EXPECT_EQ(reply->status, 200);
}

// A raw connection comes from the loopback address asked for, or is not made at all.
TEST_F(HttpServerTest, RawConnectionsComeFromTheAddressAskedOrFail) {
    start(http::HttpLimits{});
    const struct {
        const char* from;
        bool made;
    } cases[] = {{"127.0.0.9", true}, {"127.3.4.5", true}, {"not an address", false}, {"192.0.2.1", false}, {"", false}};
    for (const auto& c : cases) {
        const int fd = http::connectFrom(port(), c.from);
        EXPECT_EQ(fd >= 0, c.made) << c.from;
        if (fd < 0)
            continue;
        sockaddr_in local{};
        socklen_t length = sizeof local;
        ASSERT_EQ(getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length), 0);
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &local.sin_addr, text, sizeof text);
        EXPECT_STREQ(text, c.from);
        close(fd);
    }
}

TEST_F(HttpServerTest, SlowConnectionsDoNotHoldUpOtherClients) {
    start(http::HttpLimits{});
    // Far more slow clients than worker threads, each holding a half-sent request.
    std::vector<std::unique_ptr<RawClient>> slow;
    for (int i = 0; i < 120; ++i) {
        slow.push_back(std::make_unique<RawClient>(port(), ("127.0.2." + std::to_string(1 + i % 100)).c_str()));
        slow.back()->send(i % 2 ? "POST / HTTP/1.1\r\nHost: x\r\nContent-Length: 8000000\r\n\r\nab" : "GET / HTTP/1.1\r\nHo");
    }
    http::HttpClient client("127.0.0.1", port());
    client.setTimeout(10);
    for (int i = 0; i < 20; ++i) {
        const auto reply = client.post("/quick", std::string(1000, 'q'));
        ASSERT_TRUE(reply) << "request " << i << ": " << client.error();
        EXPECT_EQ(reply->body, "POST /quick 1000\n");
    }
    EXPECT_GE(server_->connections(), 120u);
}

// Replies leave at once, not held back waiting for more to send with them, so a second request
// on a kept-alive connection is answered as promptly as the first.
TEST_F(HttpServerTest, AcceptedConnectionsSendWithoutDelay) {
    start(http::HttpLimits{});
    http::HttpClient client("127.0.0.1", port());
    ASSERT_TRUE(client.get("/a"));
    sockaddr_in mine{};
    socklen_t length = sizeof mine;
    ASSERT_EQ(getsockname(client.socket(), reinterpret_cast<sockaddr*>(&mine), &length), 0);
    // The server runs in this process: find its end of this connection and read its option.
    int nodelay = -1;
    DIR* fds = opendir("/proc/self/fd");
    while (dirent* entry = readdir(fds)) {
        const int fd = std::atoi(entry->d_name);
        sockaddr_in peer{};
        length = sizeof peer;
        socklen_t size = sizeof nodelay;
        if (fd > 2 && getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) == 0 && peer.sin_family == AF_INET &&
            peer.sin_port == mine.sin_port)
            getsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &nodelay, &size);
    }
    closedir(fds);
    EXPECT_GT(nodelay, 0) << "TCP_NODELAY on the server's socket: " << nodelay;
    EXPECT_EQ(client.get("/b")->body, "GET /b 0\n");
}

TEST_F(HttpServerTest, StopAnswersEveryRequestInFlight) {
    start(http::HttpLimits{}, 300ms);
    constexpr int kClients = 12;
    std::vector<std::unique_ptr<RawClient>> clients;
    for (int i = 0; i < kClients; ++i) {
        clients.push_back(std::make_unique<RawClient>(port(), ("127.0.3." + std::to_string(i + 1)).c_str()));
        // Half are still sending their body when the stop comes.
        const std::string head = "POST /n" + std::to_string(i) + " HTTP/1.1\r\nHost: x\r\nContent-Length: 4\r\n\r\n";
        clients.back()->send(i % 2 ? head + "ab" : head + "abcd");
    }
    std::this_thread::sleep_for(100ms);
    server_->stop();
    std::this_thread::sleep_for(100ms);
    for (int i = 1; i < kClients; i += 2)
        clients[static_cast<size_t>(i)]->send("cd");
    for (int i = 0; i < kClients; ++i) {
        const std::string reply = clients[static_cast<size_t>(i)]->readAll();
        EXPECT_EQ(statusOf(reply), 200) << "client " << i << ": " << reply;
        EXPECT_NE(reply.find("POST /n" + std::to_string(i) + " 4\n"), std::string::npos) << reply;
        EXPECT_NE(reply.find("Connection: close"), std::string::npos) << reply;
    }
    thread_->stop();
    EXPECT_EQ(logged_.load(), kClients);
    EXPECT_FALSE(RawClient(port()).connected()) << "a connection accepted after the stop";
}

TEST(AccessLog, EveryLineIsJsonWhateverBytesItCarries) {
    struct Case {
        std::string text;
        bool utf8;
    };
    const std::vector<Case> cases = {{std::string("\xff\xfe\x80 raw", 7), false}, {std::string("nul\0inside", 10), true},
                                     {"quote \" backslash \\ newline \n tab \t", true}, {"\xc3\x28 broken", false},
                                     {"caf\xc3\xa9", true}};
    for (const auto& [text, utf8] : cases) {
        http::AccessRecord r;
        r.remote = "127.0.0.1";
        r.method = text;
        r.target = "/servlet/ZorbelId?id=" + text;
        r.agent = text;
        r.note = text;
        r.status = 400;
        const std::string line = http::AccessLog::line(r, "2026-01-01T00:00:00.000Z");
        EXPECT_EQ(line.find('\n'), std::string::npos);
        const auto parsed = nlohmann::json::parse(line, nullptr, false);
        ASSERT_FALSE(parsed.is_discarded()) << line;
        EXPECT_EQ(parsed["status"], 400);
        // UTF-8 passes unchanged; bad bytes become U+FFFD.
        if (utf8)
            EXPECT_EQ(parsed["note"], text);
        else
            EXPECT_NE(parsed["note"].get<std::string>().find("\xef\xbf\xbd"), std::string::npos) << line;
    }
}
