// An HTTP request handle (HttpOpenRequestA) and its transfer over libcurl (Wine: http.c).
//
// The transfer is driven by the thread that calls HttpSendRequestA or InternetReadFile, with
// libcurl's multi interface: nothing runs between calls, so the only memory a request holds
// is its bounded body buffer. Another thread may only close the handle: that sets the closed
// flag and wakes curl_multi_poll (curl_multi_wakeup is thread-safe), and the blocked call
// returns ERROR_INTERNET_OPERATION_CANCELLED. The curl handles are made in the constructor and
// freed in the destructor, so the closing thread never sees them change.
#pragma once

#include <curl/curl.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "wininet/internet.h"

namespace wininet {

class Request : public Object {
 public:
  struct Params {
    std::string verb;
    std::string path;
    bool http10 = false;
    std::vector<std::string> acceptTypes;
    DWORD flags = 0;
  };
  Request(std::shared_ptr<Object> connect, Params params);
  ~Request() override;

  bool valid() const { return easy_ && multi_; }

  // Each operation sets the last error and returns false on failure. The caller holds a
  // reference; `claim` guards against two threads driving the same request at once.
  bool claim();
  void release();

  bool send(const char* headers, size_t headersLength, const void* body, size_t bodyLength);
  bool query(DWORD infoLevel, LPVOID buffer, LPDWORD bufferLength, LPDWORD index);
  bool read(void* buffer, DWORD toRead, DWORD* read);

  size_t bufferedBytes() const { return body_.size() - bodyOffset_; }

 protected:
  void onClose() override;

 private:
  enum class State { Ready, Sent, Failed };
  using Clock = std::chrono::steady_clock;

  static size_t HeaderCallback(char* data, size_t size, size_t count, void* self);
  static size_t WriteCallback(char* data, size_t size, size_t count, void* self);
  size_t onHeader(const char* data, size_t length);
  size_t onBody(const char* data, size_t length);

  // Runs the transfer until done() holds, the transfer ends, the handle is closed or the
  // deadline passes. False (last error set) on close or deadline.
  bool pump(const std::function<bool()>& done, Clock::time_point deadline);
  bool configure(const char* headers, size_t headersLength, const void* body, size_t bodyLength);
  // The value of a header of the final response, by name (case-insensitive), index-th match.
  bool findHeader(const char* name, DWORD index, std::string* value) const;

  const Params params_;
  CURL* easy_ = nullptr;
  CURLM* multi_ = nullptr;
  curl_slist* headerList_ = nullptr;
  curl_slist* connectTo_ = nullptr;
  std::atomic<bool> busy_{false};

  // Owned by the thread that holds busy_.
  State state_ = State::Ready;
  bool finished_ = false;  // libcurl reported the transfer done
  CURLcode result_ = CURLE_OK;
  bool headersDone_ = false;
  bool headerOverflow_ = false;
  bool paused_ = false;  // the body buffer is full; resumed by read()
  std::string block_;    // the response-header block being received
  std::string headers_;  // the final response's header block (status line first)
  long status_ = 0;
  std::string body_;
  size_t bodyOffset_ = 0;
};

}  // namespace wininet
