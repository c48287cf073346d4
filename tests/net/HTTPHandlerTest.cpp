// The HTTP transport, against a loopback server: the boundaries of the reply buffer and the URL,
// the request as sent (verb, path with query, user agent, accepted types, no added header, the
// whole 180096-byte body), the result codes, and WM_USER from a worker thread.
#include <gtest/gtest.h>
#include <windows.h>

#include <connmgr.h>
#include <string.h>

#include "device/Clock.h"
#include "device/Device.h"
#include "tests/net/NetTestSupport.h"

namespace {

using melodex_test::Answer;
using melodex_test::HeaderNames;
using melodex_test::HeaderValue;
using melodex_test::HeldHandler;
using melodex_test::NetClient;
using melodex_test::Pattern;
using melodex_test::PostThread;
using testing_net::LoopbackServer;

const char kSetupFailed[] = "HTTPHandler::setupConnection: Couldn't establish the connection!\r\n";
const size_t kRecordingSize = 180096;  // the recording buffer's WAV image

TEST(HTTPHandler, StartsEmptyAndOpenInternetOpensTheSessionAndTheBuffer) {
  NetClient net;
  HeldHandler handler;
  EXPECT_EQ(handler->responseBuffer, nullptr);
  EXPECT_EQ(handler->bytesRead, 0u);
  EXPECT_EQ(handler->hInternet, nullptr);
  EXPECT_EQ(handler->hConnect, nullptr);
  EXPECT_EQ(handler->hRequest, nullptr);
  EXPECT_EQ(handler->hWnd, g_hWnd);
  EXPECT_EQ(handler->hConnection, nullptr);
  ASSERT_EQ(handler->openInternet(), HTTP_OK);
  EXPECT_NE(handler->hInternet, nullptr);
  ASSERT_NE(handler->responseBuffer, nullptr);
  handler->responseBuffer[HTTP_RESPONSE_BUFFER_SIZE - 1] = 1;  // 100000 bytes are ours (ASan)
  EXPECT_EQ(net.client.countTrace("InternetOpenW"), 1u);
}

TEST(HTTPHandler, GetReadsTheBodyWithItsHeadersAndPostsNothing) {
  NetClient net;
  LoopbackServer server(Answer(200, "OK", "picture bytes"));
  HeldHandler handler;
  ASSERT_EQ(handler->openInternet(), HTTP_OK);
  ASSERT_EQ(handler->getURL(NetClient::Url(server, "/art/7.jpg?size=big").c_str()), HTTP_OK);
  ASSERT_EQ(handler->bytesRead, 13u);
  EXPECT_EQ(memcmp(handler->responseBuffer, "picture bytes", 13), 0);
  EXPECT_NE(handler->hConnect, nullptr);
  EXPECT_NE(handler->hRequest, nullptr);
  EXPECT_NE(handler->hConnection, nullptr);
  std::string head = server.lastRequest().head;
  EXPECT_EQ(head.substr(0, head.find("\r\n")), "GET /art/7.jpg?size=big HTTP/1.1");
  EXPECT_EQ(HeaderValue(head, "User-Agent"), "WindowsMobile-Melodex-0.9");
  EXPECT_EQ(HeaderValue(head, "Accept"), "application/octet-stream, text/plain, text/html, image/jpeg");
  // A GET never posts WM_USER.
  EXPECT_FALSE(net.client.driver.waitForPosted(200));
  EXPECT_EQ(net.spy->replies, 0);
  EXPECT_EQ(net.client.countTrace("msg=0x0400"), 0u);
}

TEST(HTTPHandler, PostSendsTheWholeRecordingWithTheUserAgentAndNoAddedHeader) {
  NetClient net;
  LoopbackServer server(Answer(200, "OK", std::string("X\0abc<ARTIST>A</ARTIST>", 23)));
  HeldHandler handler;
  ASSERT_EQ(handler->openInternet(), HTTP_OK);
  std::string recording = Pattern(kRecordingSize);
  std::string url = NetClient::Url(server, "/servlet/ZorbelId?id=1003&ownerIdentifier=owner-1");
  ASSERT_EQ(handler->postData(url.c_str(), recording.data(), static_cast<DWORD>(recording.size())),
            HTTP_OK);
  EXPECT_EQ(handler->bytesRead, 23u);
  LoopbackServer::Request request = server.lastRequest();
  EXPECT_EQ(request.head.substr(0, request.head.find("\r\n")),
            "POST /servlet/ZorbelId?id=1003&ownerIdentifier=owner-1 HTTP/1.1");
  EXPECT_EQ(request.body.size(), kRecordingSize);
  EXPECT_TRUE(request.body == recording);
  EXPECT_EQ(HeaderValue(request.head, "User-Agent"), "WindowsMobile-Melodex-0.9");
  EXPECT_EQ(HeaderValue(request.head, "Accept"), "application/octet-stream, text/plain, text/html");
  EXPECT_EQ(HeaderValue(request.head, "Content-Length"), "180096");
  // No Content-Type or other header of the client's: only what the platform adds.
  EXPECT_EQ(HeaderNames(request.head),
            (std::vector<std::string>{"Host", "User-Agent", "Accept", "Content-Length"}));
  // Posted from this thread here; the worker case is below.
  EXPECT_TRUE(net.client.driver.waitForPosted(2000));
  EXPECT_EQ(net.spy->replies, 1);
}

TEST(HTTPHandler, TheEndpointConstantIsReachedThroughTheHostMap) {
  NetClient net;
  LoopbackServer server(Answer(200, "OK", "reply"));
  // The phone's network sends the endpoint's host to the loopback server.
  device::options().netMap.push_back({"localhost:8470", "127.0.0.1:" + std::to_string(server.port())});
  HeldHandler handler;
  ASSERT_EQ(handler->openInternet(), HTTP_OK);
  std::string url = std::string(MELODEX_ENDPOINT) + "?id=1003&ownerIdentifier=x";
  std::string body(16, 'w');
  ASSERT_EQ(handler->postData(url.c_str(), body.data(), 16), HTTP_OK);
  EXPECT_EQ(server.lastRequest().head.substr(0, 52).find("POST /servlet/ZorbelId?id=1003"), 0u);
}

// A reply of exactly 100000 bytes or more yields bytesRead = 100000 and nothing beyond, with one
// read.
TEST(HTTPHandler, AReplyOfExactly100000BytesIsReadWhole) {
  NetClient net;
  std::string body = Pattern(100000);
  LoopbackServer server(Answer(200, "OK", body));
  HeldHandler handler;
  ASSERT_EQ(handler->openInternet(), HTTP_OK);
  ASSERT_EQ(handler->getURL(NetClient::Url(server, "/").c_str()), HTTP_OK);
  EXPECT_EQ(handler->bytesRead, 100000u);
  EXPECT_EQ(memcmp(handler->responseBuffer, body.data(), 100000), 0);
  EXPECT_EQ(net.client.countTrace("InternetReadFile request="), 2u);  // one call: entry and exit
}

TEST(HTTPHandler, AReplyOver100000BytesIsCutAt100000InOneRead) {
  NetClient net;
  std::string body = Pattern(150001);
  LoopbackServer server(Answer(200, "OK", body));
  HeldHandler handler;
  ASSERT_EQ(handler->openInternet(), HTTP_OK);
  std::string recording(kRecordingSize, 'r');
  ASSERT_EQ(handler->postData(NetClient::Url(server, "/servlet/ZorbelId").c_str(), recording.data(),
                             static_cast<DWORD>(recording.size())),
            HTTP_OK);
  EXPECT_EQ(handler->bytesRead, 100000u);
  EXPECT_EQ(memcmp(handler->responseBuffer, body.data(), 100000), 0);
  EXPECT_EQ(net.client.countTrace("InternetReadFile request="), 2u);
  EXPECT_EQ(net.client.countTrace("size=100000"), 1u);
}

// A 404 reply returns 7 and leaves bytesRead at 0; the body is not read.
TEST(HTTPHandler, A404Returns7AndLeavesBytesReadAt0) {
  NetClient net;
  LoopbackServer server(Answer(404, "Not Found", "no such picture"));
  HeldHandler handler;
  ASSERT_EQ(handler->openInternet(), HTTP_OK);
  EXPECT_EQ(handler->getURL(NetClient::Url(server, "/missing.jpg").c_str()), HTTP_ERROR_STATUS);
  EXPECT_EQ(handler->bytesRead, 0u);
  EXPECT_EQ(net.client.countTrace("InternetReadFile"), 0u);
}

TEST(HTTPHandler, APostWithAStatusOtherThan200Returns7AndPostsNothing) {
  NetClient net;
  for (int status : {500, 302, 201}) {
    LoopbackServer server(Answer(status, "Other", "body"));
    HeldHandler handler;
    ASSERT_EQ(handler->openInternet(), HTTP_OK);
    std::string body(100, 'b');
    EXPECT_EQ(handler->postData(NetClient::Url(server, "/servlet/ZorbelId").c_str(), body.data(), 100),
              HTTP_ERROR_STATUS)
        << status;
    EXPECT_EQ(handler->bytesRead, 0u);
  }
  EXPECT_FALSE(net.client.driver.waitForPosted(200));
  EXPECT_EQ(net.spy->replies, 0);
}

// A URL whose path with its query does not fit in 512 bytes fails with 3.
TEST(HTTPHandler, APathWithItsQueryOver511BytesFailsWith3) {
  NetClient net;
  LoopbackServer server(Answer(200, "OK", "fits"));
  std::string fits = "/servlet/ZorbelId?id=1003&ownerIdentifier=";
  fits += std::string(511 - fits.size(), 'o');  // 511 bytes and the terminator: 512
  std::string tooLong = fits + "o";             // 512 bytes and the terminator: 513
  {
    HeldHandler handler;
    ASSERT_EQ(handler->openInternet(), HTTP_OK);
    EXPECT_EQ(handler->getURL(NetClient::Url(server, tooLong).c_str()), HTTP_ERROR_CRACK_URL);
    EXPECT_EQ(handler->hConnect, nullptr);
  }
  {
    HeldHandler handler;
    ASSERT_EQ(handler->openInternet(), HTTP_OK);
    EXPECT_EQ(handler->getURL(NetClient::Url(server, fits).c_str()), HTTP_OK);
    EXPECT_EQ(server.lastRequest().head.find("GET " + fits + " HTTP/1.1"), 0u);
  }
}

TEST(HTTPHandler, ANonHttpUrlFailsWith3) {
  NetClient net;
  HeldHandler handler;
  ASSERT_EQ(handler->openInternet(), HTTP_OK);
  EXPECT_EQ(handler->getURL("no url at all"), HTTP_ERROR_CRACK_URL);
}

TEST(HTTPHandler, WithoutOpenInternetARequestReturns1AndLogsNothing) {
  NetClient net;
  HeldHandler handler;
  EXPECT_EQ(handler->getURL("http://127.0.0.1:1/"), HTTP_ERROR_NO_CONNECTION);
  EXPECT_EQ(handler->postData("http://127.0.0.1:1/", "x", 1), HTTP_ERROR_NO_CONNECTION);
  EXPECT_EQ(net.client.countTrace("ConnMgr"), 0u);
  EXPECT_EQ(net.countLog("HTTPHandler"), 0u);
}

TEST(HTTPHandler, ASessionThatInternetConnectARefusesFailsWith4) {
  NetClient net;
  HeldHandler handler;
  ASSERT_EQ(handler->openInternet(), HTTP_OK);
  // The session is closed behind the handler's back, so InternetConnectA refuses its handle.
  ASSERT_TRUE(InternetCloseHandle(handler->hInternet));
  EXPECT_EQ(handler->getURL("http://127.0.0.1:9/servlet/ZorbelId"), HTTP_ERROR_CONNECT);
  EXPECT_EQ(handler->hConnect, nullptr);
  handler->hInternet = nullptr;  // already closed
}

TEST(HTTPHandler, ARequestPathThatHttpOpenRequestARefusesFailsWith5) {
  NetClient net;
  HeldHandler handler;
  ASSERT_EQ(handler->openInternet(), HTTP_OK);
  // A control character inside the object name would break the request line; the platform
  // refuses it.
  EXPECT_EQ(handler->getURL("http://127.0.0.1:9/a\x01" "b"), HTTP_ERROR_OPEN_REQUEST);
  EXPECT_NE(handler->hConnect, nullptr);
  EXPECT_EQ(handler->hRequest, nullptr);
}

TEST(HTTPHandler, NoServerFailsTheSendWith6AndPostsNothing) {
  NetClient net;
  int port;
  { LoopbackServer closed(melodex_test::Silent()); port = closed.port(); }  // a port now closed
  HeldHandler handler;
  ASSERT_EQ(handler->openInternet(), HTTP_OK);
  std::string url = "http://127.0.0.1:" + std::to_string(port) + "/servlet/ZorbelId";
  EXPECT_EQ(handler->postData(url.c_str(), "body", 4), HTTP_ERROR_SEND);
  EXPECT_FALSE(net.client.driver.waitForPosted(200));
  EXPECT_EQ(net.spy->replies, 0);
}

TEST(HTTPHandler, ABodyCutOffBeforeItsFirstByteFailsTheReadWith9) {
  NetClient net;
  LoopbackServer server([](LoopbackServer& s, int fd, const LoopbackServer::Request&) {
    s.sendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: 500\r\nConnection: close\r\n\r\n");
  });
  HeldHandler handler;
  ASSERT_EQ(handler->openInternet(), HTTP_OK);
  EXPECT_EQ(handler->postData(NetClient::Url(server, "/servlet/ZorbelId").c_str(), "b", 1),
            HTTP_ERROR_READ);
  EXPECT_EQ(handler->bytesRead, 0u);
  EXPECT_FALSE(net.client.driver.waitForPosted(200));
  EXPECT_EQ(net.spy->replies, 0);
}

// The connection request record, as the connection manager sees it, and its order of calls.
TEST(HTTPHandler, SetupMapsTheUrlThenEstablishesWithin10000Ms) {
  NetClient net;
  LoopbackServer server(Answer(200, "OK", "x"));
  HeldHandler handler;
  ASSERT_EQ(handler->openInternet(), HTTP_OK);
  ASSERT_EQ(handler->getURL(NetClient::Url(server, "/").c_str()), HTTP_OK);
  std::vector<std::string> calls;
  for (const std::string& line : net.client.driver.trace())
    if (line.find("cellcore: ") == 0 && line.find("->") == std::string::npos) calls.push_back(line);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_NE(calls[0].find("ConnMgrMapURL url=\"http://127.0.0.1:"), std::string::npos);
  EXPECT_NE(calls[1].find("ConnMgrEstablishConnectionSync cbSize=" +
                          std::to_string(sizeof(CONNMGR_CONNECTIONINFO)) + " timeout=10000"),
            std::string::npos);
}

// setupConnection first asks a connection already held for its status.
TEST(HTTPHandler, AConnectionAlreadyHeldIsOnlyAskedForItsStatus) {
  NetClient net;
  LoopbackServer server(Answer(200, "OK", "x"));
  CONNMGR_CONNECTIONINFO info;
  memset(&info, 0, sizeof info);
  info.cbSize = sizeof info;
  HANDLE connection = nullptr;
  DWORD status = 0;
  ASSERT_EQ(ConnMgrEstablishConnectionSync(&info, &connection, 10000, &status), S_OK);
  HeldHandler handler;
  handler->hConnection = connection;
  ASSERT_EQ(handler->openInternet(), HTTP_OK);
  size_t before = net.client.countTrace("cellcore: ");
  ASSERT_EQ(handler->getURL(NetClient::Url(server, "/").c_str()), HTTP_OK);
  EXPECT_EQ(net.client.countTrace("cellcore: ") - before, 1u);
  EXPECT_EQ(net.client.countTrace("ConnMgrConnectionStatus"), 1u);
  EXPECT_EQ(handler->hConnection, connection);
}

TEST(HTTPHandler, AConnectionManagerFailureReturns1AfterOneLogLine) {
  NetClient net;
  LoopbackServer server(Answer(200, "OK", "x"));
  device::options().netFault = device::Options::NetFault::Fail;
  HeldHandler handler;
  ASSERT_EQ(handler->openInternet(), HTTP_OK);
  std::string body(10, 'b');
  EXPECT_EQ(handler->postData(NetClient::Url(server, "/servlet/ZorbelId").c_str(), body.data(), 10),
            HTTP_ERROR_NO_CONNECTION);
  EXPECT_EQ(handler->hConnection, nullptr);
  EXPECT_EQ(net.countLog(kSetupFailed), 1u);
  EXPECT_EQ(net.countLog("HTTPHandler"), 1u);
  EXPECT_FALSE(server.waitForRequests(1, 100));  // no HTTP was attempted
  EXPECT_EQ(net.client.countTrace("InternetConnectA"), 0u);
  EXPECT_FALSE(net.client.driver.waitForPosted(100));
}

// When the connection manager cannot bring up a connection within 10 seconds, the request fails
// with 1 after one log line — on the virtual clock, to the ms.
TEST(HTTPHandler, AConnectionThatDoesNotComeUpIn10SecondsFailsWith1) {
  NetClient net;
  device::options().netFault = device::Options::NetFault::Timeout;
  HeldHandler handler;
  ASSERT_EQ(handler->openInternet(), HTTP_OK);
  const uint64_t start = net.client.driver.now();
  PostThread worker(handler.get(), "http://127.0.0.1:9/servlet/ZorbelId", std::string(kRecordingSize, 'r'));
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (device::Clock::nextEventAt() != std::optional<uint64_t>(start + 10000) &&
         std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_EQ(device::Clock::nextEventAt(), std::optional<uint64_t>(start + 10000));
  net.client.driver.advance(9999);
  EXPECT_FALSE(worker.waitDone(50));
  EXPECT_EQ(net.countLog(kSetupFailed), 0u);
  net.client.driver.advance(1);
  ASSERT_TRUE(worker.waitDone(5000));
  worker.join();
  EXPECT_EQ(worker.result.load(), HTTP_ERROR_NO_CONNECTION);
  EXPECT_EQ(net.countLog(kSetupFailed), 1u);
  EXPECT_EQ(handler->hConnection, nullptr);
  EXPECT_FALSE(net.client.driver.waitForPosted(100));
  EXPECT_EQ(net.spy->replies, 0);
}

}  // namespace
