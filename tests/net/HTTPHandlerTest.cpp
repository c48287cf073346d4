// The HTTP transport against a loopback server: the request as sent, the result code of every
// failing step, and the connection manager's 10 s under the virtual clock. (The one read of at
// most 100000 bytes: HostileServer.SendsFiveMegabytes.)
#include <gtest/gtest.h>
#include <windows.h>

#include <string.h>

#include <functional>

#include "device/Clock.h"
#include "device/Device.h"
#include "support/HostServers.h"
#include "tests/net/NetTestSupport.h"

namespace {

using namespace melodex_test;
using Clock = std::chrono::steady_clock;

const char kSetupFailed[] = "HTTPHandler::setupConnection: Couldn't establish the connection!\r\n";
const size_t kRecordingSize = 180096;  // the recording buffer's WAV image

bool WaitFor(const std::function<bool()>& done) { return PollUntil(done, 10000); }

// A path with its query of 511 bytes: with its terminator, as long as the handler's buffer.
std::string LongestPath() {
  std::string path = "/servlet/ZorbelId?id=1003&ownerIdentifier=";
  return path + std::string(511 - path.size(), 'o');
}

// A GET and a POST as the server receives them; only the POST's reply is announced (WM_USER).
TEST(HTTPHandler, RequestsGoOutAsTheClientsOwn) {
  NetClient net;
  LoopbackServer server(Answer(200, "OK", "reply bytes"));
  HeldHandler handler;
  ASSERT_EQ(handler->openInternet(), HTTP_OK);
  handler->responseBuffer[HTTP_RESPONSE_BUFFER_SIZE - 1] = 1;  // 100000 bytes are ours (ASan)
  ASSERT_EQ(handler->getURL(NetClient::Url(server, LongestPath()).c_str()), HTTP_OK);
  ASSERT_EQ(handler->bytesRead, 11u);
  EXPECT_EQ(memcmp(handler->responseBuffer, "reply bytes", 11), 0);
  std::string head = server.lastRequest().head;
  EXPECT_EQ(head.substr(0, head.find("\r\n")), "GET " + LongestPath() + " HTTP/1.1");
  EXPECT_EQ(HeaderValue(head, "User-Agent"), "WindowsMobile-Melodex-0.9");
  EXPECT_EQ(HeaderValue(head, "Accept"), "application/octet-stream, text/plain, text/html, image/jpeg");
  EXPECT_FALSE(net.client.driver.waitForPosted(200));
  EXPECT_EQ(net.spy->replies, 0);

  std::string recording = Pattern(kRecordingSize);
  std::string url = NetClient::Url(server, "/servlet/ZorbelId?id=1003&ownerIdentifier=owner-1");
  ASSERT_EQ(handler->postData(url.c_str(), recording.data(), static_cast<DWORD>(recording.size())), HTTP_OK);
  LoopbackServer::Request request = server.lastRequest();
  EXPECT_EQ(request.head.substr(0, request.head.find("\r\n")),
            "POST /servlet/ZorbelId?id=1003&ownerIdentifier=owner-1 HTTP/1.1");
  EXPECT_TRUE(request.body == recording);
  EXPECT_EQ(HeaderValue(request.head, "Accept"), "application/octet-stream, text/plain, text/html");
  EXPECT_EQ(HeaderValue(request.head, "Content-Length"), "180096");
  EXPECT_EQ(HeaderNames(request.head), (std::vector<std::string>{"Host", "User-Agent", "Accept", "Content-Length"}));
  EXPECT_TRUE(net.client.driver.waitForPosted(2000));
  EXPECT_EQ(net.spy->replies, 1);
}

// Each step's failure returns its code, reads nothing and announces nothing.
TEST(HTTPHandler, EachFailingStepReturnsItsCodeAndPostsNothing) {
  int closedPort;
  {
    LoopbackServer closed(melodex_test::Silent());
    closedPort = closed.port();
  }
  const struct {
    const char* name;
    LoopbackServer::Handler server;
    std::function<std::string(const LoopbackServer&)> url;
    std::function<void(HTTPHandler*)> before;  // after openInternet, unless it is skipped
    bool open;
    int code;
  } cases[] = {
      {"a status of 404", Answer(404, "Not Found", "none"), [](auto& s) { return NetClient::Url(s, "/x.jpg"); }, {},
       true, HTTP_ERROR_STATUS},
      {"a status of 302", Answer(302, "Found", "b"), [](auto& s) { return NetClient::Url(s, "/"); }, {}, true,
       HTTP_ERROR_STATUS},
      {"a status of 201", Answer(201, "Created", "b"), [](auto& s) { return NetClient::Url(s, "/"); }, {}, true,
       HTTP_ERROR_STATUS},
      {"a path with its query of 512 bytes", Answer(200, "OK", "b"),
       [](auto& s) { return NetClient::Url(s, LongestPath() + "o"); }, {}, true, HTTP_ERROR_CRACK_URL},
      {"no URL at all", Answer(200, "OK", "b"), [](auto&) { return std::string("no url at all"); }, {}, true,
       HTTP_ERROR_CRACK_URL},
      {"no openInternet", Answer(200, "OK", "b"), [](auto& s) { return NetClient::Url(s, "/"); }, {}, false,
       HTTP_ERROR_NO_CONNECTION},
      {"a session closed behind the handler's back", Answer(200, "OK", "b"),
       [](auto& s) { return NetClient::Url(s, "/"); },
       [](HTTPHandler* h) { InternetCloseHandle(h->hInternet); },
       true, HTTP_ERROR_CONNECT},
      {"a control character in the path", Answer(200, "OK", "b"),
       [](auto& s) { return NetClient::Url(s, "/a\x01" "b"); }, {}, true, HTTP_ERROR_OPEN_REQUEST},
      {"no server", Answer(200, "OK", "b"),
       [&](auto&) { return "http://127.0.0.1:" + std::to_string(closedPort) + "/"; }, {}, true, HTTP_ERROR_SEND},
      {"a body cut off before its first byte",
       [](LoopbackServer& s, int fd, const LoopbackServer::Request&) {
         s.sendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: 500\r\nConnection: close\r\n\r\n");
       },
       [](auto& s) { return NetClient::Url(s, "/"); }, {}, true, HTTP_ERROR_READ},
  };
  NetClient net;
  for (const auto& c : cases) {
    LoopbackServer server(c.server);
    HeldHandler handler;
    if (c.open) {
      ASSERT_EQ(handler->openInternet(), HTTP_OK);
    }
    if (c.before) c.before(handler.get());
    size_t connMgrCalls = net.client.countTrace("ConnMgr");
    EXPECT_EQ(handler->postData(c.url(server).c_str(), "body", 4), c.code) << c.name;
    EXPECT_EQ(handler->bytesRead, 0u) << c.name;
    if (!c.open) {
      EXPECT_EQ(net.client.countTrace("ConnMgr"), connMgrCalls) << c.name;
    }
    if (c.code == HTTP_ERROR_CONNECT) handler->hInternet = nullptr;  // closed already
  }
  EXPECT_FALSE(net.client.driver.waitForPosted(200));
  EXPECT_EQ(net.spy->replies, 0);
  EXPECT_EQ(net.countLog("HTTPHandler"), 0u);
}

// A connection manager that fails, or does not come up within 10 s (on the virtual clock, to the
// millisecond), fails the request with 1 after one log line and no HTTP call.
TEST(HTTPHandler, NoConnectionFailsWith1AfterOneLogLine) {
  NetClient net;
  for (auto fault : {device::Options::NetFault::Fail, device::Options::NetFault::Timeout}) {
    device::options().netFault = fault;
    size_t logged = net.countLog(kSetupFailed);
    HeldHandler handler;
    ASSERT_EQ(handler->openInternet(), HTTP_OK);
    const uint64_t start = net.client.driver.now();
    PostThread worker(handler.get(), "http://127.0.0.1:9/servlet/ZorbelId", std::string(kRecordingSize, 'r'));
    if (fault == device::Options::NetFault::Timeout) {
      auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
      while (device::Clock::nextEventAt() != std::optional<uint64_t>(start + 10000) &&
             std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      net.client.driver.advance(9999);
      EXPECT_FALSE(worker.waitDone(50));
      EXPECT_EQ(net.countLog(kSetupFailed), logged);
      net.client.driver.advance(1);
    }
    ASSERT_TRUE(worker.waitDone(5000));
    worker.join();
    EXPECT_EQ(worker.result.load(), HTTP_ERROR_NO_CONNECTION);
    EXPECT_EQ(net.countLog(kSetupFailed), logged + 1);
    EXPECT_EQ(net.countLog("HTTPHandler"), logged + 1);
    EXPECT_EQ(handler->hConnection, nullptr);
    EXPECT_EQ(net.client.countTrace("InternetConnectA"), 0u);
    EXPECT_FALSE(net.client.driver.waitForPosted(100));
  }
}

// A POST on a worker thread started with CreateThread reports through one WM_USER taken on the UI
// thread, and the UI thread may destroy the handler while the worker is blocked in it: the worker
// returns promptly and touches no freed memory.
// The reply is read before WM_USER is posted, once, with both parameters 0.
TEST(HTTPHandler, APostOnAWorkerPostsWMUserOnceTakenOnTheUIThread) {
  NetClient net;
  LoopbackServer server(Answer(200, "OK", "reply"));
  HTTPHandler* handler = new HTTPHandler(g_hWnd);
  ASSERT_EQ(handler->openInternet(), HTTP_OK);
  PostThread worker(handler, NetClient::Url(server, "/servlet/ZorbelId"), std::string(kRecordingSize, 'r'));
  ASSERT_TRUE(net.client.driver.waitForPosted(10000));
  ASSERT_TRUE(worker.waitDone(5000));
  worker.join();
  EXPECT_EQ(worker.result.load(), HTTP_OK);
  EXPECT_NE(worker.threadId.load(), net.uiThread);
  ASSERT_EQ(net.spy->replies, 1);
  EXPECT_EQ(net.spy->replyThreads[0], net.uiThread);
  EXPECT_EQ(handler->bytesRead, 5u);
  EXPECT_FALSE(net.client.driver.waitForPosted(300));
  EXPECT_EQ(net.spy->replies, 1);
  EXPECT_EQ(net.client.countTrace("msg=0x0400 wParam=0 lParam=0"), 1u);
  EXPECT_EQ(net.client.countTrace("msg=0x0400"), 1u);
  handler->destroy();
}

// The analyzing screen's cancel or time-out destroys the handler while the worker is blocked: in
// the send to a server that never answers, in the one InternetReadFile that writes into the
// reply buffer (which outlives the destructor until the worker is done with it), or in the
// connection manager's 10 s on the device clock (after which it makes no HTTP call).
TEST(HTTPHandler, DestroyedWhileTheWorkerIsBlocked) {
  const struct {
    const char* where;
    LoopbackServer::Handler server;
    int result;
  } cases[] = {
      {"the send", Silent(), HTTP_ERROR_SEND},
      {"the read",
       [](LoopbackServer& s, int fd, const LoopbackServer::Request&) {
         s.sendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\nthe first bytes");
         s.waitUntilStopping(20000);
       },
       HTTP_ERROR_READ},
      {"the connection manager", Silent(), HTTP_ERROR_NO_CONNECTION},
  };
  NetClient net;
  for (const auto& c : cases) {
    LoopbackServer server(c.server);
    bool connection = c.result == HTTP_ERROR_NO_CONNECTION;
    device::options().netFault = connection ? device::Options::NetFault::Timeout : device::Options::NetFault::None;
    HTTPHandler* handler = new HTTPHandler(g_hWnd);
    ASSERT_EQ(handler->openInternet(), HTTP_OK);
    const uint64_t start = net.client.driver.now();
    size_t reads = net.client.countTrace("InternetReadFile request=");
    size_t connects = net.client.countTrace("InternetConnectA");
    PostThread worker(handler, NetClient::Url(server, "/servlet/ZorbelId"), std::string(kRecordingSize, 'r'));
    if (connection) {
      ASSERT_TRUE(WaitFor([&] { return device::Clock::nextEventAt() == std::optional<uint64_t>(start + 10000); }));
    } else if (c.result == HTTP_ERROR_READ) {
      ASSERT_TRUE(WaitFor([&] { return net.client.countTrace("InternetReadFile request=") > reads; }));
    } else {
      ASSERT_TRUE(server.waitForRequests(1, 10000));
    }
    EXPECT_FALSE(worker.waitDone(100)) << c.where;
    Clock::time_point destroyedAt = Clock::now();
    handler->destroy();
    if (connection) net.client.driver.advance(10000);
    ASSERT_TRUE(worker.waitDone(2000)) << c.where;
    EXPECT_LT(Clock::now() - destroyedAt, std::chrono::milliseconds(1000)) << c.where;
    worker.join();
    EXPECT_EQ(worker.result.load(), c.result) << c.where;
    if (connection) {
      EXPECT_EQ(net.client.countTrace("InternetConnectA"), connects);
    }
  }
  EXPECT_FALSE(net.client.driver.waitForPosted(200));
  EXPECT_EQ(net.spy->replies, 0);
}

// A new handler made right after the destruction (the results screen makes one for the album art)
// is not confused with the abandoned one, even at the same address.
TEST(HTTPHandler, AHandlerMadeAfterTheDestructionIsNotTouchedByTheOldWorker) {
  NetClient net;
  LoopbackServer silent(Silent());
  LoopbackServer art(Answer(200, "OK", "jpeg"));
  HTTPHandler* handler = new HTTPHandler(g_hWnd);
  ASSERT_EQ(handler->openInternet(), HTTP_OK);
  PostThread worker(handler, NetClient::Url(silent, "/servlet/ZorbelId"), std::string(kRecordingSize, 'r'));
  ASSERT_TRUE(silent.waitForRequests(1, 10000));
  handler->destroy();
  HTTPHandler* next = new HTTPHandler(g_hWnd);
  ASSERT_EQ(next->openInternet(), HTTP_OK);
  ASSERT_EQ(next->getURL(NetClient::Url(art, "/a.jpg").c_str()), HTTP_OK);
  ASSERT_TRUE(worker.waitDone(2000));
  worker.join();
  EXPECT_EQ(worker.result.load(), HTTP_ERROR_SEND);
  EXPECT_EQ(next->bytesRead, 4u);
  EXPECT_EQ(memcmp(next->responseBuffer, "jpeg", 4), 0);
  EXPECT_NE(next->hRequest, nullptr);
  next->destroy();
}

}  // namespace
