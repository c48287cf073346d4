// HTTP conformance over a loopback server (after Wine's wininet tests): HttpQueryInfoW in both
// forms, InternetReadFile's Win32 semantics, and hostile servers (refused, garbage, cut short,
// endless). The client's GET and POST are tested through HTTPHandler (tests/net).
#include <gtest/gtest.h>
#include <windows.h>
#include <wininet.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "LoopbackServer.h"
#include "Session.h"
#include "wininet/internet.h"

namespace {

using testing_net::Exchange;
using testing_net::LoopbackServer;

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xff);
  return bytes;
}

// HttpOpenRequestA keeps the object name as UrlCanonicalize with URL_ESCAPE_SPACES_ONLY leaves
// it: blanks and control characters at either end go, tabs and line ends anywhere, and every
// other blank is sent as %20, in the query too. A control character left inside is refused.
TEST(Wininet, HttpOpenRequestA_EscapesBlanksInTheObjectName) {
  struct Case {
    const char* object;
    const char* requestTarget;  // what the server sees; null: HttpOpenRequestA refuses it
  };
  const Case cases[] = {
      {"/servlet/ZorbelId?id=1003&ownerIdentifier=Jo Smith", "/servlet/ZorbelId?id=1003&ownerIdentifier=Jo%20Smith"},
      {"/my songs/a b?q=x  y", "/my%20songs/a%20b?q=x%20%20y"},
      {" \t/edges?id=1 \r\n", "/edges?id=1"},
      {"/tab\tand\rline\nends", "/tabandlineends"},
      {"/already%20escaped", "/already%20escaped"},
      {"   ", "/"},
      {"/bell\x07inside", nullptr},
  };
  LoopbackServer server(LoopbackServer::Answer(200, "OK", "ok"));
  for (const Case& c : cases) {
    HINTERNET internet = InternetOpenW(TEXT("t"), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    HINTERNET connect = InternetConnectA(internet, "127.0.0.1", static_cast<INTERNET_PORT>(server.port()),
                                         nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    SetLastError(0);
    HINTERNET request = HttpOpenRequestA(connect, "GET", c.object, nullptr, nullptr, nullptr, 0, 0);
    if (c.requestTarget == nullptr) {
      EXPECT_EQ(request, nullptr) << c.object;
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << c.object;
    } else {
      ASSERT_NE(request, nullptr) << c.object;
      ASSERT_TRUE(HttpSendRequestA(request, nullptr, 0, nullptr, 0)) << c.object;
      const std::string head = server.lastRequest().head;
      EXPECT_EQ(head.substr(0, head.find("\r\n")), "GET " + std::string(c.requestTarget) + " HTTP/1.1");
      InternetCloseHandle(request);
    }
    InternetCloseHandle(connect);
    InternetCloseHandle(internet);
  }
}

// The final status, not an interim 100 Continue that came a moment before it.
TEST(Wininet, HttpQueryInfoW_StatusCodeInBothForms) {
  for (int status : {200, 404, 500}) {
    SCOPED_TRACE(status);
    LoopbackServer server([status](LoopbackServer& s, int fd, const LoopbackServer::Request&) {
      s.sendAll(fd, "HTTP/1.1 100 Continue\r\n\r\n");
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      s.sendAll(fd, LoopbackServer::Response(status, "Reason", "body"));
    });
    Exchange x("127.0.0.1", static_cast<INTERNET_PORT>(server.port()), "GET", "/");
    ASSERT_TRUE(HttpSendRequestA(x.request, nullptr, 0, nullptr, 0));

    // As a number, the way the client asks: a DWORD, 4 bytes.
    DWORD code = 0xdeadbeef, size = sizeof code;
    ASSERT_TRUE(HttpQueryInfoW(x.request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code,
                               &size, nullptr));
    EXPECT_EQ(code, static_cast<DWORD>(status));
    EXPECT_EQ(size, sizeof(DWORD));
    size = 2;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(HttpQueryInfoW(x.request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code,
                                &size, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(size, sizeof(DWORD));

    // As text: the length in bytes, with the terminator when the buffer is too small and
    // without it on success (Win32).
    WCHAR text[16];
    size = 4;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(HttpQueryInfoW(x.request, HTTP_QUERY_STATUS_CODE, text, &size, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(size, 8u);
    size = sizeof text;
    ASSERT_TRUE(HttpQueryInfoW(x.request, HTTP_QUERY_STATUS_CODE, text, &size, nullptr));
    EXPECT_EQ(size, 6u);
    std::string digits = std::to_string(status);
    EXPECT_EQ(std::u16string(text), std::u16string(digits.begin(), digits.end()));

    DWORD length = 0;
    size = sizeof length;
    ASSERT_TRUE(HttpQueryInfoW(x.request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER,
                               &length, &size, nullptr));
    EXPECT_EQ(length, 4u);
    size = sizeof text;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(HttpQueryInfoW(x.request, HTTP_QUERY_LOCATION, text, &size, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_HTTP_HEADER_NOT_FOUND));
  }
}

// One read returns what is there up to the size asked (the client reads 100000 once); the end
// of the body is TRUE with nothing read.
TEST(Wininet, InternetReadFile_LargeBodyInTwoReads) {
  std::string body = Pattern(150000);
  LoopbackServer server(LoopbackServer::Answer(200, "OK", body));
  Exchange x("127.0.0.1", static_cast<INTERNET_PORT>(server.port()), "GET", "/big");
  ASSERT_TRUE(HttpSendRequestA(x.request, nullptr, 0, nullptr, 0));
  std::string buffer(100000, '\0');
  DWORD read = 0;
  ASSERT_TRUE(InternetReadFile(x.request, buffer.data(), 100000, &read));
  ASSERT_EQ(read, 100000u);
  EXPECT_TRUE(buffer == body.substr(0, 100000));
  ASSERT_TRUE(InternetReadFile(x.request, buffer.data(), 100000, &read));
  ASSERT_EQ(read, 50000u);
  EXPECT_TRUE(buffer.substr(0, 50000) == body.substr(100000));
  ASSERT_TRUE(InternetReadFile(x.request, buffer.data(), 100000, &read));
  EXPECT_EQ(read, 0u);
}

// A send fails with the reason: nothing listens, the name does not resolve, the answer is not
// HTTP. No headers arrived, so the status cannot be read.
TEST(Wininet, HttpSendRequestA_FailuresGiveTheirReason) {
  int closedPort = 0;
  {
    LoopbackServer closed([](LoopbackServer&, int, const LoopbackServer::Request&) {});
    closedPort = closed.port();
  }  // nothing listens there any more
  LoopbackServer garbage([](LoopbackServer& s, int fd, const LoopbackServer::Request&) {
    s.sendAll(fd, "this is not HTTP at all\r\n\x01\x02\x03\r\n\r\n");
  });
  const struct {
    const char* host;
    int port;
    DWORD error;
  } cases[] = {
      {"127.0.0.1", closedPort, ERROR_INTERNET_CANNOT_CONNECT},
      {"no-such-host.invalid", 80, ERROR_INTERNET_NAME_NOT_RESOLVED},
      {"127.0.0.1", garbage.port(), ERROR_HTTP_INVALID_SERVER_RESPONSE},
  };
  for (const auto& c : cases) {
    Exchange x(c.host, static_cast<INTERNET_PORT>(c.port), "GET", "/");
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(HttpSendRequestA(x.request, nullptr, 0, nullptr, 0)) << c.host;
    EXPECT_EQ(GetLastError(), c.error) << c.host;
    DWORD code = 0, size = sizeof code;
    EXPECT_FALSE(HttpQueryInfoW(x.request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code, &size, nullptr));
  }
}

// The bytes that arrived are read first; the cut is reported by the next read.
TEST(Wininet, InternetReadFile_ServerClosesMidBody) {
  LoopbackServer server([](LoopbackServer& s, int fd, const LoopbackServer::Request&) {
    s.sendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + std::string(100, 'a'));
  });
  Exchange x("127.0.0.1", static_cast<INTERNET_PORT>(server.port()), "GET", "/");
  ASSERT_TRUE(HttpSendRequestA(x.request, nullptr, 0, nullptr, 0));
  char buffer[2000];
  DWORD read = 0;
  ASSERT_TRUE(InternetReadFile(x.request, buffer, sizeof buffer, &read));
  EXPECT_EQ(read, 100u);
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(InternetReadFile(x.request, buffer, sizeof buffer, &read));
  EXPECT_EQ(read, 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_CONNECTION_ABORTED));
}

// The largest buffer the kernel gives one TCP socket (the third field of
// /proc/sys/net/ipv4/tcp_rmem or tcp_wmem), or 64 MiB where that cannot be read.
uint64_t kernelBufferMax(const char* name) {
  std::ifstream in(std::string("/proc/sys/net/ipv4/") + name);
  uint64_t low = 0, initial = 0, max = 0;
  return in >> low >> initial >> max ? max : uint64_t{64} << 20;
}

// An endless body: the caller gets what it asked for, and the request holds no more than its
// bound however much the server pushes.
TEST(Wininet, InternetReadFile_EndlessBodyStaysBounded) {
  LoopbackServer server([](LoopbackServer& s, int fd, const LoopbackServer::Request&) {
    if (!s.sendAll(fd, "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n")) return;
    std::string chunk(65536, 'z');
    while (s.sendAll(fd, chunk)) {
    }
  });
  Exchange x("127.0.0.1", static_cast<INTERNET_PORT>(server.port()), "GET", "/endless");
  ASSERT_TRUE(HttpSendRequestA(x.request, nullptr, 0, nullptr, 0));
  std::string buffer(100000, '\0');
  for (int i = 0; i < 20; ++i) {
    DWORD read = 0;
    ASSERT_TRUE(InternetReadFile(x.request, buffer.data(), 100000, &read));
    ASSERT_EQ(read, 100000u);
    long long held = wininet::BufferedBodyBytesForTests(x.request);
    EXPECT_LE(held, static_cast<long long>(wininet::kBodyBufferLimit));
  }
  EXPECT_EQ(buffer[99999], 'z');
  // Nothing is read between calls: the server is held back by TCP, not by our memory. What it
  // got out is then at most what was taken, what the request holds, and the two sockets'
  // buffers at their largest (the kernel's autotuning bounds); a reader that kept draining the
  // socket would push past that within the wait.
  const uint64_t taken = 20 * 100000 + wininet::kBodyBufferLimit + (1u << 20);
  const uint64_t bound = taken + kernelBufferMax("tcp_rmem") + kernelBufferMax("tcp_wmem");
  for (int i = 0; i < 3; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_LE(server.bytesSent(), bound) << i;
  }
}

TEST(Wininet, Handles_TypesAndStaleHandles) {
  HINTERNET internet = InternetOpenW(TEXT("t"), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  ASSERT_NE(internet, nullptr);
  SetLastError(0xdeadbeef);
  EXPECT_EQ(HttpOpenRequestA(internet, "GET", "/", nullptr, nullptr, nullptr, 0, 0), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_INCORRECT_HANDLE_TYPE));
  SetLastError(0xdeadbeef);
  EXPECT_EQ(InternetConnectA(internet, "", 80, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0),
            nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_TRUE(InternetCloseHandle(internet));
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(InternetCloseHandle(internet));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  DWORD read = 0;
  char byte;
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(InternetReadFile(reinterpret_cast<HINTERNET>(0x1234), &byte, 1, &read));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

}  // namespace
