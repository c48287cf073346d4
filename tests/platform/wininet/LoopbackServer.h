// A tiny HTTP server for the wininet tests: plain sockets on 127.0.0.1 with an ephemeral port,
// one thread, one connection at a time. Each test gives it a handler that answers (or, for
// the hostile cases, does not) on the connection's socket. Every wait is bounded in time, and
// the destructor ends a handler that is still writing or waiting.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace testing_net {

class LoopbackServer {
 public:
  struct Request {
    std::string head;  // request line and headers, up to the blank line
    std::string body;  // as many bytes as Content-Length said
  };
  using Handler = std::function<void(LoopbackServer& server, int fd, const Request& request)>;

  explicit LoopbackServer(Handler handler) : handler_(std::move(handler)) {
    listen_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    listen(listen_, 4);
    socklen_t len = sizeof addr;
    getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { run(); });
  }

  ~LoopbackServer() {
    stopping_ = true;
    {
      std::lock_guard<std::mutex> lk(mutex_);
      if (active_ >= 0) shutdown(active_, SHUT_RDWR);  // ends a blocked send or recv
    }
    cv_.notify_all();
    thread_.join();
    close(listen_);
  }

  int port() const { return port_; }
  bool stopping() const { return stopping_; }

  // Sends all bytes; false when the peer went away or the server is stopping.
  bool sendAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
      if (stopping_) return false;
      ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
      if (n <= 0) return false;
      done += static_cast<size_t>(n);
      sent_ += static_cast<uint64_t>(n);
    }
    return true;
  }

  // A handler that must not answer waits here until the server stops (at most realMs).
  void waitUntilStopping(int realMs) {
    std::unique_lock<std::mutex> lk(mutex_);
    cv_.wait_for(lk, std::chrono::milliseconds(realMs), [this] { return stopping_.load(); });
  }

  // Waits (bounded) until the server has received `count` requests.
  bool waitForRequests(int count, int realMs) {
    std::unique_lock<std::mutex> lk(mutex_);
    return cv_.wait_for(lk, std::chrono::milliseconds(realMs),
                        [&] { return requests_ >= count; });
  }

  Request lastRequest() {
    std::lock_guard<std::mutex> lk(mutex_);
    return last_;
  }
  uint64_t bytesSent() const { return sent_; }

  static std::string Response(int status, const std::string& reason, const std::string& body) {
    return "HTTP/1.1 " + std::to_string(status) + " " + reason +
           "\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
  }
  // A handler answering every request with one status and body.
  static Handler Answer(int status, const std::string& reason, const std::string& body) {
    return [=](LoopbackServer& s, int fd, const Request&) { s.sendAll(fd, Response(status, reason, body)); };
  }
  // A handler that takes every request and never answers, for as long as a test may run: under
  // ThreadSanitizer on a busy machine the road to the three minutes' end takes over 30 s of real
  // time, and a server that stopped waiting would close the connection and end the
  // identification early with the send error.
  static constexpr int kSilentMs = 300000;
  static Handler Silent() {
    return [](LoopbackServer& s, int, const Request&) { s.waitUntilStopping(kSilentMs); };
  }

 private:
  void run() {
    while (!stopping_) {
      pollfd p{listen_, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      int fd = accept(listen_, nullptr, nullptr);
      if (fd < 0) continue;
      {
        std::lock_guard<std::mutex> lk(mutex_);
        active_ = fd;
      }
      Request request;
      if (readRequest(fd, &request)) {
        {
          std::lock_guard<std::mutex> lk(mutex_);
          last_ = request;
          ++requests_;
        }
        cv_.notify_all();
        handler_(*this, fd, request);
      }
      {
        std::lock_guard<std::mutex> lk(mutex_);
        active_ = -1;
      }
      close(fd);
    }
  }

  // Reads the head and the Content-Length body, for at most 10 s.
  bool readRequest(int fd, Request* request) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::string data;
    size_t headEnd = std::string::npos;
    size_t want = 0;
    char buffer[65536];
    for (;;) {
      if (headEnd == std::string::npos) {
        headEnd = data.find("\r\n\r\n");
        if (headEnd != std::string::npos) {
          request->head = data.substr(0, headEnd + 2);
          want = ContentLength(request->head);
          data.erase(0, headEnd + 4);
        }
      }
      if (headEnd != std::string::npos && data.size() >= want) {
        request->body = data.substr(0, want);
        return true;
      }
      if (stopping_ || std::chrono::steady_clock::now() > deadline) return false;
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      ssize_t n = recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) return false;
      data.append(buffer, static_cast<size_t>(n));
    }
  }

  static size_t ContentLength(const std::string& head) {
    std::string lower = head;
    for (char& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    size_t at = lower.find("\r\ncontent-length:");
    return at == std::string::npos ? 0 : std::stoul(head.substr(at + 17));
  }

  Handler handler_;
  int listen_ = -1;
  int port_ = 0;
  std::thread thread_;
  std::atomic<bool> stopping_{false};
  std::atomic<uint64_t> sent_{0};
  std::mutex mutex_;
  std::condition_variable cv_;
  int active_ = -1;
  int requests_ = 0;
  Request last_;
};

}  // namespace testing_net
