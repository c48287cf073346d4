// Support for the transport tests: the client booted with a spy as the current
// screen (so WM_USER reaches handleReply on the UI thread), the loopback server of the wininet
// tests, and a worker thread started with CreateThread as the identification thread is.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "app/AppState.h"
#include "app/Navigation.h"
#include "net/HTTPHandler.h"
#include "platform/wininet/LoopbackServer.h"
#include "support/ClientHarness.h"
#include "support/HostServers.h"
#include "support/ScreenRows.h"
#include "support/SpyScreen.h"

namespace melodex_test {

using testing_net::LoopbackServer;

// The booted client with the spy current in the reserved slot 0 (no timer pending).
class NetClient {
 public:
  NetClient() : spy(BootWithSpy(client)) { EXPECT_NE(spy, nullptr); }
  // "http://127.0.0.1:PORT" + path.
  static std::string Url(const LoopbackServer& server, const std::string& path) {
    return "http://127.0.0.1:" + std::to_string(server.port()) + path;
  }

  Client client;
  SpyScreen* spy;
};

// A handler held by the test alone, destroyed when the test's scope ends.
class HeldHandler {
 public:
  HeldHandler() : handler_(new HTTPHandler(g_hWnd)) {}
  ~HeldHandler() { handler_->destroy(); }
  HeldHandler(const HeldHandler&) = delete;
  HeldHandler& operator=(const HeldHandler&) = delete;
  HTTPHandler* operator->() const { return handler_; }
  HTTPHandler* get() const { return handler_; }

 private:
  HTTPHandler* handler_;
};

// postData on a thread of its own, started with CreateThread as the identification thread
// is. The thread holds the handler too, as the identification thread does, so the test may
// destroy its own hold meanwhile.
class PostThread {
 public:
  PostThread(HTTPHandler* handler, std::string url, std::string body)
      : handler_(handler), url_(std::move(url)), body_(std::move(body)) {
    handler_->share();
    thread_ = CreateThread(nullptr, 0, &PostThread::Run, this, 0, nullptr);
    EXPECT_NE(thread_, nullptr);
  }
  ~PostThread() {
    join();
    if (thread_ != nullptr) CloseHandle(thread_);
  }
  // Waits (bounded, real time) for the thread's end; false when it did not end in time.
  bool waitDone(int realMs) {
    return PollUntil([this] { return done.load(); }, realMs);
  }
  void join() {
    if (thread_ != nullptr && !joined_) {
      WaitForSingleObject(thread_, INFINITE);
      joined_ = true;
    }
  }
  std::atomic<bool> done{false};
  std::atomic<int> result{-1};

 private:
  static DWORD WINAPI Run(LPVOID self) {
    PostThread* t = static_cast<PostThread*>(self);
    t->result = t->handler_->postData(t->url_.c_str(), t->body_.data(), static_cast<DWORD>(t->body_.size()));
    t->handler_->destroy();
    t->done = true;
    return 0;
  }
  HTTPHandler* handler_;
  std::string url_;
  std::string body_;
  HANDLE thread_ = nullptr;
  bool joined_ = false;
};

// The service's reply: its leading string, a zero and three bytes the client skips, then the tag
// text.
inline std::string Reply(const std::string& tagText) { return std::string("MELODEX-IDD/1.0\0\x01\x02\x03", 19) + tagText; }

// A body of n bytes that differs at every position modulo 251.
inline std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; i++) s[i] = static_cast<char>(i % 251);
  return s;
}

}  // namespace melodex_test
