// HTTP conformance over a loopback server (Wine: dlls/wininet/tests/http.c): the transport's GET
// and POST, HttpQueryInfoW in both forms, InternetReadFile's Win32 semantics, the host map,
// and hostile servers (refused, garbage, cut short, endless).
#include <gtest/gtest.h>
#include <windows.h>
#include <wininet.h>

#include <string>

#include "LoopbackServer.h"
#include "Session.h"
#include "device/Device.h"
#include "wininet/internet.h"

namespace {

using testing_net::Exchange;
using testing_net::LoopbackServer;

LoopbackServer::Handler Answer(int status, const std::string& reason, const std::string& body) {
  return [=](LoopbackServer& server, int fd, const LoopbackServer::Request&) {
    server.sendAll(fd, LoopbackServer::Response(status, reason, body));
  };
}

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xff);
  return bytes;
}

TEST(Wininet, HttpGet_SmallBody) {
  LoopbackServer server(Answer(200, "OK", "hello"));
  Exchange x("127.0.0.1", static_cast<INTERNET_PORT>(server.port()), "GET", "/art/1.jpg");
  ASSERT_TRUE(HttpSendRequestA(x.request, nullptr, 0, nullptr, 0));
  EXPECT_EQ(x.status(), 200u);
  std::string buffer(100000, '\0');
  DWORD read = 0xdeadbeef;
  ASSERT_TRUE(InternetReadFile(x.request, buffer.data(), 100000, &read));
  EXPECT_EQ(read, 5u);
  EXPECT_EQ(buffer.substr(0, 5), "hello");
  // The end of the body: TRUE with nothing read (Win32).
  read = 0xdeadbeef;
  EXPECT_TRUE(InternetReadFile(x.request, buffer.data(), 100000, &read));
  EXPECT_EQ(read, 0u);

  LoopbackServer::Request seen = server.lastRequest();
  EXPECT_EQ(seen.head.rfind("GET /art/1.jpg HTTP/1.1\r\n", 0), 0u) << seen.head;
  EXPECT_NE(seen.head.find("User-Agent: WindowsMobile-Melodex-0.9\r\n"), std::string::npos);
  EXPECT_NE(seen.head.find("Accept: application/octet-stream, text/plain, text/html\r\n"),
            std::string::npos);
}

// The identification request: the whole 180096-byte WAV image, with only the content length added.
TEST(Wininet, HttpPost_WholeImageReachesTheServer) {
  LoopbackServer server(Answer(200, "OK", std::string("X\0abc<ARTIST>A</ARTIST>", 23)));
  Exchange x("127.0.0.1", static_cast<INTERNET_PORT>(server.port()), "POST",
             "/servlet/ZorbelId?id=1003&ownerIdentifier=me");
  std::string image = Pattern(180096);
  ASSERT_TRUE(HttpSendRequestA(x.request, nullptr, 0, image.data(),
                               static_cast<DWORD>(image.size())));
  EXPECT_EQ(x.status(), 200u);
  LoopbackServer::Request seen = server.lastRequest();
  EXPECT_EQ(seen.head.rfind("POST /servlet/ZorbelId?id=1003&ownerIdentifier=me HTTP/1.1\r\n", 0),
            0u);
  EXPECT_NE(seen.head.find("Content-Length: 180096\r\n"), std::string::npos) << seen.head;
  EXPECT_EQ(seen.head.find("Content-Type"), std::string::npos) << seen.head;
  EXPECT_EQ(seen.head.find("Expect"), std::string::npos) << seen.head;
  EXPECT_TRUE(seen.body == image) << "body of " << seen.body.size() << " bytes differs";
  char reply[100000];
  DWORD read = 0;
  ASSERT_TRUE(InternetReadFile(x.request, reply, sizeof reply, &read));
  EXPECT_EQ(read, 23u);
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
  LoopbackServer server(Answer(200, "OK", "ok"));
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

TEST(Wininet, HttpQueryInfoW_StatusCodeInBothForms) {
  for (int status : {200, 404, 500}) {
    SCOPED_TRACE(status);
    LoopbackServer server(Answer(status, status == 200 ? "OK" : "Nope", "body"));
    Exchange x("127.0.0.1", static_cast<INTERNET_PORT>(server.port()), "GET", "/");
    ASSERT_TRUE(HttpSendRequestA(x.request, nullptr, 0, nullptr, 0));

    // As a number, the way the transport asks: a DWORD, 4 bytes.
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

// One read returns what is there up to the size asked: the transport reads 100000 once.
TEST(Wininet, InternetReadFile_LargeBodyInTwoReads) {
  std::string body = Pattern(150000);
  LoopbackServer server(Answer(200, "OK", body));
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

// A name the program uses reaches the address the phone's network maps it to.
TEST(Wininet, NetMap_SendsTheEndpointHostToTheTestServer) {
  LoopbackServer server(Answer(200, "OK", "mapped"));
  device::options().netMap = {{"melodex.example:80", "127.0.0.1:" + std::to_string(server.port())}};
  Exchange x("melodex.example", INTERNET_DEFAULT_HTTP_PORT, "GET", "/servlet/ZorbelId");
  ASSERT_TRUE(HttpSendRequestA(x.request, nullptr, 0, nullptr, 0));
  EXPECT_EQ(x.status(), 200u);
  char buffer[16];
  DWORD read = 0;
  ASSERT_TRUE(InternetReadFile(x.request, buffer, sizeof buffer, &read));
  EXPECT_EQ(std::string(buffer, read), "mapped");
  EXPECT_NE(server.lastRequest().head.find("Host: melodex.example\r\n"), std::string::npos);
}

TEST(Wininet, HttpSendRequestA_ConnectionRefused) {
  int port = 0;
  {
    LoopbackServer closed([](LoopbackServer&, int, const LoopbackServer::Request&) {});
    port = closed.port();
  }  // nothing listens there any more
  Exchange x("127.0.0.1", static_cast<INTERNET_PORT>(port), "GET", "/");
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(HttpSendRequestA(x.request, nullptr, 0, nullptr, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_CANNOT_CONNECT));
  // No headers arrived: the status cannot be read (the transport's result 7 is not reached).
  DWORD code = 0, size = sizeof code;
  EXPECT_FALSE(HttpQueryInfoW(x.request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code,
                              &size, nullptr));
}

TEST(Wininet, HttpSendRequestA_NameNotResolved) {
  Exchange x("no-such-host.invalid", 80, "GET", "/");
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(HttpSendRequestA(x.request, nullptr, 0, nullptr, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_NAME_NOT_RESOLVED));
}

TEST(Wininet, HttpSendRequestA_GarbageHeaders) {
  LoopbackServer server([](LoopbackServer& s, int fd, const LoopbackServer::Request&) {
    s.sendAll(fd, "this is not HTTP at all\r\n\x01\x02\x03\r\n\r\n");
  });
  Exchange x("127.0.0.1", static_cast<INTERNET_PORT>(server.port()), "GET", "/");
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(HttpSendRequestA(x.request, nullptr, 0, nullptr, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_HTTP_INVALID_SERVER_RESPONSE));
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
  // Nothing is read between calls: the server is held back by TCP, not by our memory.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  uint64_t before = server.bytesSent();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_LT(server.bytesSent() - before, 1u << 20);
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
