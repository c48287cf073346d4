// InternetCrackUrlA conformance (Wine: dlls/wininet/tests/url.c): buffers and pointers into
// the URL, ports, schemes, and the failures the transport maps to its result 3.
#include <gtest/gtest.h>
#include <windows.h>
#include <wininet.h>

#include <string>

namespace {

// A record that asks for the host and the path in the buffers given (none: nothing asked for).
URL_COMPONENTSA Zeroed(char* host = nullptr, DWORD hostSize = 0, char* path = nullptr, DWORD pathSize = 0) {
  URL_COMPONENTSA uc;
  memset(&uc, 0, sizeof uc);
  uc.dwStructSize = sizeof uc;
  uc.lpszHostName = host;
  uc.dwHostNameLength = hostSize;
  uc.lpszUrlPath = path;
  uc.dwUrlPathLength = pathSize;
  return uc;
}

TEST(Wininet, InternetCrackUrlA_PointersIntoTheUrl) {
  const char* url = "http://user:pw@Example.COM/a/b.jpg?q=1#top";
  URL_COMPONENTSA uc = Zeroed();  // a length of 1 and no buffer: a pointer into the URL is asked for
  uc.dwSchemeLength = uc.dwHostNameLength = uc.dwUserNameLength = uc.dwPasswordLength = 1;
  uc.dwUrlPathLength = uc.dwExtraInfoLength = 1;
  ASSERT_TRUE(InternetCrackUrlA(url, 0, 0, &uc));  // length 0: zero-terminated
  EXPECT_EQ(uc.lpszScheme, url);
  EXPECT_EQ(uc.dwSchemeLength, 4u);
  EXPECT_EQ(std::string(uc.lpszUserName, uc.dwUserNameLength), "user");
  EXPECT_EQ(std::string(uc.lpszPassword, uc.dwPasswordLength), "pw");
  EXPECT_EQ(std::string(uc.lpszHostName, uc.dwHostNameLength), "Example.COM");
  // With the extra information asked for, the path stops before it.
  EXPECT_EQ(std::string(uc.lpszUrlPath, uc.dwUrlPathLength), "/a/b.jpg");
  EXPECT_EQ(std::string(uc.lpszExtraInfo, uc.dwExtraInfoLength), "?q=1#top");
  EXPECT_EQ(uc.nPort, INTERNET_DEFAULT_HTTP_PORT);
  EXPECT_GE(uc.lpszHostName, url);
  EXPECT_LT(uc.lpszHostName, url + strlen(url));
}

// Each component in its buffer with its length (without the terminator); the path keeps the
// query; components not asked for stay untouched.
TEST(Wininet, InternetCrackUrlA_SchemesAndPorts) {
  struct Case {
    const char* url;
    INTERNET_SCHEME scheme;
    INTERNET_PORT port;
    const char* host;
    const char* path;
  } cases[] = {
      {"http://melodex.example:8470/servlet/ZorbelId?id=1003&ownerIdentifier=abc", INTERNET_SCHEME_HTTP, 8470,
       "melodex.example", "/servlet/ZorbelId?id=1003&ownerIdentifier=abc"},
      {"https://secure.example/x", INTERNET_SCHEME_HTTPS, 443, "secure.example", "/x"},
      {"HTTP://host", INTERNET_SCHEME_HTTP, 80, "host", ""},
      {"http://host:/p", INTERNET_SCHEME_HTTP, 80, "host", "/p"},
      {"http://127.0.0.1:1/", INTERNET_SCHEME_HTTP, 1, "127.0.0.1", "/"},
      {"http://h:65535/", INTERNET_SCHEME_HTTP, 65535, "h", "/"},
      {"ftp://files.example:2121/f", INTERNET_SCHEME_FTP, 2121, "files.example", "/f"},
      {"http://[::1]:8080/v6", INTERNET_SCHEME_HTTP, 8080, "[::1]", "/v6"},
      {"zz://thing/else", INTERNET_SCHEME_UNKNOWN, 0, "thing", "/else"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    char host[64] = "sentinel", path[64] = "sentinel";
    URL_COMPONENTSA uc = Zeroed(host, sizeof host, path, sizeof path);
    ASSERT_TRUE(InternetCrackUrlA(c.url, 0, 0, &uc));
    EXPECT_EQ(uc.nScheme, c.scheme);
    EXPECT_EQ(uc.nPort, c.port);
    EXPECT_STREQ(host, c.host);
    EXPECT_STREQ(path, c.path);
    EXPECT_EQ(uc.dwHostNameLength, strlen(c.host));
    EXPECT_EQ(uc.dwUrlPathLength, strlen(c.path));
    EXPECT_EQ(uc.lpszScheme, nullptr);
    EXPECT_EQ(uc.dwSchemeLength, 0u);
  }
}

TEST(Wininet, InternetCrackUrlA_Failures) {
  char host[256], path[8];
  URL_COMPONENTSA uc = Zeroed(host, sizeof host);

  const struct {
    const char* url;
    DWORD structSize;
    DWORD error;
  } cases[] = {
      {"http://a/b", sizeof uc - 1, ERROR_INVALID_PARAMETER},  // the record's size is checked
      {"no scheme here", sizeof uc, ERROR_INTERNET_UNRECOGNIZED_SCHEME},
      {"http://host:65536/", sizeof uc, ERROR_INTERNET_INVALID_URL},
      {"http://host:99999/", sizeof uc, ERROR_INTERNET_INVALID_URL},
      {"http://host:80a/", sizeof uc, ERROR_INTERNET_INVALID_URL},
      {"http:///nohost", sizeof uc, ERROR_INTERNET_INVALID_URL},
  };
  for (const auto& c : cases) {
    uc.dwStructSize = c.structSize;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetCrackUrlA(c.url, 0, 0, &uc)) << c.url;
    EXPECT_EQ(GetLastError(), c.error) << c.url;
  }
  uc.dwStructSize = sizeof uc;

  // A path that does not fit with its terminator: the transport's result 3 for a long URL.
  uc.lpszUrlPath = path;
  uc.dwUrlPathLength = sizeof path;
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(InternetCrackUrlA("http://host/1234567", 0, 0, &uc));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  // The lengths are in and out: a successful copy leaves the host's length at 4.
  EXPECT_EQ(uc.dwHostNameLength, 4u);
  uc.dwHostNameLength = sizeof host;
  uc.dwUrlPathLength = sizeof path;
  EXPECT_TRUE(InternetCrackUrlA("http://host/123456", 0, 0, &uc));  // 7 + terminator fit
  EXPECT_STREQ(path, "/123456");

  // The length argument bounds the URL.
  uc.dwHostNameLength = sizeof host;
  uc.dwUrlPathLength = sizeof path;
  EXPECT_TRUE(InternetCrackUrlA("http://host/12345678", 14, 0, &uc));
  EXPECT_STREQ(path, "/12");
}

}  // namespace
