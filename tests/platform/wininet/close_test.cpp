// InternetCloseHandle on one thread ending a call blocked on another (the analyzing screen's
// cancel and time-out): the blocked call returns promptly with
// ERROR_INTERNET_OPERATION_CANCELLED and nothing is used after it is freed (run under ASan
// and TSan). A close ending a blocked send or read through HTTPHandler is tested in tests/net.
#include <gtest/gtest.h>
#include <windows.h>
#include <wininet.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>

#include "LoopbackServer.h"
#include "Session.h"

namespace {

using testing_net::Exchange;
using testing_net::LoopbackServer;
using Ms = std::chrono::milliseconds;

struct Outcome {
  BOOL ok = TRUE;
  DWORD error = 0;
};

// Closing the session closes what was opened under it, as Wine does.
TEST(InternetCloseHandle, ClosingTheSessionEndsItsRequests) {
  LoopbackServer server(LoopbackServer::Silent());
  Exchange x("127.0.0.1", static_cast<INTERNET_PORT>(server.port()), "GET", "/");
  HINTERNET request = x.request;
  auto worker = std::async(std::launch::async, [request] {
    Outcome o;
    o.ok = HttpSendRequestA(request, nullptr, 0, nullptr, 0);
    o.error = GetLastError();
    return o;
  });
  ASSERT_TRUE(server.waitForRequests(1, 10000));
  EXPECT_TRUE(InternetCloseHandle(x.internet));
  x.internet = nullptr;
  ASSERT_EQ(worker.wait_for(Ms(2000)), std::future_status::ready);
  Outcome o = worker.get();
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(o.error, static_cast<DWORD>(ERROR_INTERNET_OPERATION_CANCELLED));
  // The children's handles went with it.
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(InternetCloseHandle(x.request));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  x.request = nullptr;
  x.connect = nullptr;
}

// Many closes racing many blocked calls: no call outlives its promptness bound, nothing leaks
// or is used after it is freed (the point of running this under the sanitizers).
TEST(InternetCloseHandle, RacingClosesAndCalls) {
  LoopbackServer server(LoopbackServer::Silent());
  for (int round = 0; round < 20; ++round) {
    Exchange x("127.0.0.1", static_cast<INTERNET_PORT>(server.port()), "GET", "/");
    HINTERNET request = x.request;
    auto worker = std::async(std::launch::async, [request] {
      return HttpSendRequestA(request, nullptr, 0, nullptr, 0);
    });
    std::this_thread::sleep_for(Ms(round % 4));
    EXPECT_TRUE(InternetCloseHandle(request));
    x.request = nullptr;
    ASSERT_EQ(worker.wait_for(Ms(2000)), std::future_status::ready);
    EXPECT_FALSE(worker.get());
  }
}

}  // namespace
