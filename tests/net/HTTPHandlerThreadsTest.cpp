// A POST on a worker thread started with CreateThread reports through one WM_USER taken on the UI
// thread, and the UI thread may destroy the handler while the worker is blocked in it: the worker
// returns promptly and touches no freed memory. The suite is HTTPHandler, like the other transport
// tests, for the CI lists of ASan and TSan.
#include <gtest/gtest.h>
#include <windows.h>

#include "device/Clock.h"
#include "device/Device.h"
#include "support/HostServers.h"
#include "tests/net/NetTestSupport.h"

namespace {

using melodex_test::Answer;
using melodex_test::NetClient;
using melodex_test::PostThread;
using melodex_test::Silent;
using testing_net::LoopbackServer;
using Clock = std::chrono::steady_clock;

const size_t kRecordingSize = 180096;

bool WaitFor(const std::function<bool()>& done) { return melodex_test::PollUntil(done, 10000); }

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
