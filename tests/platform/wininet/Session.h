// The handles of one exchange as the HTTP transport opens them, closed in its destructor's order
// (request, connection, session), for the wininet tests.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <wininet.h>

#include <string>

namespace testing_net {

struct Exchange {
  HINTERNET internet = nullptr;
  HINTERNET connect = nullptr;
  HINTERNET request = nullptr;

  // InternetOpenW, InternetConnectA and HttpOpenRequestA with the transport's arguments.
  Exchange(const char* host, INTERNET_PORT port, const char* verb, const char* path) {
    internet = InternetOpenW(TEXT("WindowsMobile-Melodex-0.9"), INTERNET_OPEN_TYPE_PRECONFIG,
                             nullptr, nullptr, 0);
    EXPECT_NE(internet, nullptr);
    connect = InternetConnectA(internet, host, port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 1);
    EXPECT_NE(connect, nullptr);
    LPCSTR accept[] = {"application/octet-stream", "text/plain", "text/html", nullptr};
    request = HttpOpenRequestA(connect, verb, path, nullptr, nullptr, accept, 0, 2);
    EXPECT_NE(request, nullptr);
  }
  ~Exchange() {
    if (request) InternetCloseHandle(request);
    if (connect) InternetCloseHandle(connect);
    if (internet) InternetCloseHandle(internet);
  }
  Exchange(const Exchange&) = delete;
  Exchange& operator=(const Exchange&) = delete;
};

}  // namespace testing_net
