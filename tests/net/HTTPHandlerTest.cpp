// The HTTP transport against a loopback server: the request as sent, the result code of every
// failing step, and the connection manager's 10 s under the virtual clock. (The one read of at
// most 100000 bytes: HostileServer.SendsFiveMegabytes.)
#include <gtest/gtest.h>
#include <windows.h>

#include <string.h>

#include <functional>

#include "device/Device.h"
#include "support/ScreenRows.h"
#include "tests/net/NetTestSupport.h"

namespace {

using namespace melodex_test;
using Clock = std::chrono::steady_clock;

const char kSetupFailed[] = "HTTPHandler::setupConnection: Couldn't establish the connection!\r\n";
const size_t kRecordingSize = 180096;  // the recording buffer's WAV image

// A path with its query of 511 bytes: with its terminator, as long as the handler's buffer.
std::string LongestPath() {
  std::string path = "/servlet/ZorbelId?id=1003&ownerIdentifier=";
  return path + std::string(511 - path.size(), 'o');
}

// A GET and a POST as the server receives them; only the POST's reply is announced (WM_USER).
TEST(HTTPHandler, RequestsGoOutAsTheClientsOwn) {
  NetClient net;
  LoopbackServer server(LoopbackServer::Answer(200, "OK", "reply bytes"));
  HeldHandler handler;
  ASSERT_EQ(handler->openInternet(), HTTP_OK);
  handler->responseBuffer[HTTP_RESPONSE_BUFFER_SIZE - 1] = 1;  // 100000 bytes are ours (ASan)
  ASSERT_EQ(handler->getURL(NetClient::Url(server, LongestPath()).c_str()), HTTP_OK);
  ASSERT_EQ(handler->bytesRead, 11u);
  EXPECT_EQ(memcmp(handler->responseBuffer, "reply bytes", 11), 0);
  const std::string host = "Host: 127.0.0.1:" + std::to_string(server.port()) + "\r\n";
  const std::string agent = "User-Agent: WindowsMobile-Melodex-0.9\r\n";
  EXPECT_EQ(server.lastRequest().head, "GET " + LongestPath() + " HTTP/1.1\r\n" + host + agent +
                                           "Accept: application/octet-stream, text/plain, text/html, image/jpeg\r\n");
  EXPECT_FALSE(net.client.driver.waitForPosted(200));
  EXPECT_EQ(net.spy->replies, 0);

  std::string recording = Pattern(kRecordingSize);
  std::string url = NetClient::Url(server, "/servlet/ZorbelId?id=1003&ownerIdentifier=owner-1");
  ASSERT_EQ(handler->postData(url.c_str(), recording.data(), static_cast<DWORD>(recording.size())), HTTP_OK);
  LoopbackServer::Request request = server.lastRequest();
  EXPECT_EQ(request.head, "POST /servlet/ZorbelId?id=1003&ownerIdentifier=owner-1 HTTP/1.1\r\n" + host + agent +
                              "Accept: application/octet-stream, text/plain, text/html\r\nContent-Length: 180096\r\n");
  EXPECT_TRUE(request.body == recording);
  EXPECT_TRUE(net.client.driver.waitForPosted(2000));
  EXPECT_EQ(net.spy->replies, 1);
  EXPECT_EQ(net.client.countTrace("msg=0x0400 wParam=0 lParam=0"), 1u);
}

// Each step's failure returns its code, reads nothing and announces nothing.
TEST(HTTPHandler, EachFailingStepReturnsItsCodeAndPostsNothing) {
  int closedPort;
  {
    LoopbackServer closed(LoopbackServer::Silent());
    closedPort = closed.port();
  }
  const LoopbackServer::Handler ok = LoopbackServer::Answer(200, "OK", "b");
  const struct {
    const char* name;
    LoopbackServer::Handler server;
    std::string url;  // a path on the server, or a whole URL
    std::function<void(HTTPHandler*)> before;  // after openInternet, unless it is skipped
    bool open;
    int code;
  } cases[] = {
      {"a status of 404", LoopbackServer::Answer(404, "Not Found", "none"), "/x.jpg", {}, true, HTTP_ERROR_STATUS},
      {"a status of 302", LoopbackServer::Answer(302, "Found", "b"), "/", {}, true, HTTP_ERROR_STATUS},
      {"a status of 201", LoopbackServer::Answer(201, "Created", "b"), "/", {}, true, HTTP_ERROR_STATUS},
      {"a path with its query of 512 bytes", ok, LongestPath() + "o", {}, true, HTTP_ERROR_CRACK_URL},
      {"no URL at all", ok, "no url at all", {}, true, HTTP_ERROR_CRACK_URL},
      {"no openInternet", ok, "/", {}, false, HTTP_ERROR_NO_CONNECTION},
      {"a session closed behind the handler's back", ok, "/",
       [](HTTPHandler* h) { InternetCloseHandle(h->hInternet); }, true, HTTP_ERROR_CONNECT},
      {"a control character in the path", ok, "/a\x01" "b", {}, true, HTTP_ERROR_OPEN_REQUEST},
      {"no server", ok, "http://127.0.0.1:" + std::to_string(closedPort) + "/", {}, true, HTTP_ERROR_SEND},
      {"a body cut off before its first byte",
       [](LoopbackServer& s, int fd, const LoopbackServer::Request&) {
         s.sendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: 500\r\nConnection: close\r\n\r\n");
       },
       "/", {}, true, HTTP_ERROR_READ},
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
    const std::string url = c.url[0] == '/' ? NetClient::Url(server, c.url) : c.url;
    EXPECT_EQ(handler->postData(url.c_str(), "body", 4), c.code) << c.name;
    EXPECT_EQ(handler->bytesRead, 0u) << c.name;
    if (!c.open) {
      EXPECT_EQ(net.client.countTrace("ConnMgr"), connMgrCalls) << c.name;
    }
    if (c.code == HTTP_ERROR_CONNECT) handler->hInternet = nullptr;  // closed already
  }
  EXPECT_FALSE(net.client.driver.waitForPosted(200));
  EXPECT_EQ(net.spy->replies, 0);
  EXPECT_EQ(net.client.countLog("HTTPHandler"), 0u);
}

// A connection manager that fails, or does not come up within 10 s (on the virtual clock, to the
// millisecond), fails the request with 1 after one log line and no HTTP call.
TEST(HTTPHandler, NoConnectionFailsWith1AfterOneLogLine) {
  NetClient net;
  for (auto fault : {device::Options::NetFault::Fail, device::Options::NetFault::Timeout}) {
    device::options().netFault = fault;
    size_t logged = net.client.countLog(kSetupFailed);
    HeldHandler handler;
    ASSERT_EQ(handler->openInternet(), HTTP_OK);
    const uint64_t start = net.client.driver.now();
    PostThread worker(handler.get(), "http://127.0.0.1:9/servlet/ZorbelId", std::string(kRecordingSize, 'r'));
    if (fault == device::Options::NetFault::Timeout) {
      ASSERT_TRUE(WaitForClockEvent(start + 10000));
      net.client.driver.advance(9999);
      EXPECT_FALSE(worker.waitDone(50));
      EXPECT_EQ(net.client.countLog(kSetupFailed), logged);
      net.client.driver.advance(1);
    }
    ASSERT_TRUE(worker.waitDone(5000));
    worker.join();
    EXPECT_EQ(worker.result.load(), HTTP_ERROR_NO_CONNECTION);
    EXPECT_EQ(net.client.countLog(kSetupFailed), logged + 1);
    EXPECT_EQ(net.client.countLog("HTTPHandler"), logged + 1);
    EXPECT_EQ(handler->hConnection, nullptr);
    EXPECT_EQ(net.client.countTrace("InternetConnectA"), 0u);
    EXPECT_FALSE(net.client.driver.waitForPosted(100));
  }
}

// The analyzing screen's cancel or time-out destroys the handler while the worker is blocked in
// the one InternetReadFile, which writes into the reply buffer: the buffer outlives the
// destructor until the worker is done with it, and the worker returns promptly. (Blocked in the
// send or in the connection manager: CancelAt.)
TEST(HTTPHandler, DestroyedWhileTheWorkerIsBlockedInTheRead) {
  NetClient net;
  LoopbackServer server([](LoopbackServer& s, int fd, const LoopbackServer::Request&) {
    s.sendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\nthe first bytes");
    s.waitUntilStopping(20000);
  });
  HTTPHandler* handler = new HTTPHandler(g_hWnd);
  ASSERT_EQ(handler->openInternet(), HTTP_OK);
  size_t reads = net.client.countTrace("InternetReadFile request=");
  PostThread worker(handler, NetClient::Url(server, "/servlet/ZorbelId"), std::string(kRecordingSize, 'r'));
  ASSERT_TRUE(PollUntil([&] { return net.client.countTrace("InternetReadFile request=") > reads; }, 10000));
  EXPECT_FALSE(worker.waitDone(100));
  Clock::time_point destroyedAt = Clock::now();
  handler->destroy();
  ASSERT_TRUE(worker.waitDone(2000));
  EXPECT_LT(Clock::now() - destroyedAt, std::chrono::milliseconds(1000));
  worker.join();
  EXPECT_EQ(worker.result.load(), HTTP_ERROR_READ);
  EXPECT_FALSE(net.client.driver.waitForPosted(200));
  EXPECT_EQ(net.spy->replies, 0);
}

}  // namespace
