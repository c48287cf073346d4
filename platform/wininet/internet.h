// wininet's private header: HINTERNET handle objects, as Wine's dlls/wininet/internet.h.
//
// Every HINTERNET is an object with a common header (type tag, parent, children) and a small
// table of operations (`onClose`); the session, connection and request types derive from it.
// Handles are values in a table of reference-counted objects (std::shared_ptr is the count):
// a call looks its object up and holds a reference for as long as it runs, so
// InternetCloseHandle on another thread only drops the table's reference and signals the
// object; the blocked call sees the signal, returns ERROR_INTERNET_OPERATION_CANCELLED and the
// object is freed when that call lets go of it (no use-after-free).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "windows.h"
#include "wininet.h"

namespace wininet {

enum class HandleType { Session, Connect, Request };

class Object {
 public:
  Object(HandleType type, std::shared_ptr<Object> parent)
      : type_(type), parent_(std::move(parent)) {}
  virtual ~Object() = default;
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;

  HandleType type() const { return type_; }
  const std::shared_ptr<Object>& parent() const { return parent_; }
  HINTERNET handle() const { return handle_; }
  bool closed() const { return closed_.load(std::memory_order_acquire); }

  // The handle left the table (InternetCloseHandle, or its parent's close). Marks the object
  // closed, wakes a call blocked on it, and closes the children as Wine's invalidate_handle
  // does. Safe from any thread; idempotent.
  void close();

 protected:
  // The ops-table entry for a blocked call: wake it up (called once, from any thread).
  virtual void onClose() {}

 private:
  friend HINTERNET InsertObject(const std::shared_ptr<Object>& object);
  const HandleType type_;
  const std::shared_ptr<Object> parent_;  // a child keeps its parent alive, as in Wine
  HINTERNET handle_ = nullptr;            // set once by InsertObject, before it is published
  std::atomic<bool> closed_{false};
  std::mutex childrenMutex_;
  std::vector<std::weak_ptr<Object>> children_;
};

// The handle table. Handles are never reused, so a stale handle fails cleanly with
// ERROR_INVALID_HANDLE instead of reaching a newer object.
HINTERNET InsertObject(const std::shared_ptr<Object>& object);
std::shared_ptr<Object> LookupObject(HINTERNET handle);
std::shared_ptr<Object> RemoveObject(HINTERNET handle);

// Looks a handle up and checks its type, setting ERROR_INVALID_HANDLE or
// ERROR_INTERNET_INCORRECT_HANDLE_TYPE on failure.
template <typename T>
std::shared_ptr<T> LookupAs(HINTERNET handle, HandleType type) {
  std::shared_ptr<Object> object = LookupObject(handle);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (object->type() != type) {
    SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    return nullptr;
  }
  return std::static_pointer_cast<T>(object);
}

// InternetOpenW's session: the user agent and proxy settings of every request below it.
class Session : public Object {
 public:
  Session(std::string agent, DWORD accessType, std::string proxy)
      : Object(HandleType::Session, nullptr),
        agent(std::move(agent)), accessType(accessType), proxy(std::move(proxy)) {}
  const std::string agent;
  const DWORD accessType;
  const std::string proxy;  // only for INTERNET_OPEN_TYPE_PROXY
};

// InternetConnectA's connection: WinInet connects lazily, at HttpSendRequest; so do we.
class Connect : public Object {
 public:
  Connect(std::shared_ptr<Object> session, std::string host, INTERNET_PORT port,
          std::string user, std::string password)
      : Object(HandleType::Connect, std::move(session)), host(std::move(host)), port(port),
        user(std::move(user)), password(std::move(password)) {}
  const std::string host;
  const INTERNET_PORT port;  // 0: the scheme's default, chosen by the request
  const std::string user;
  const std::string password;
};

// Real-time bounds of the host network (WinInet's own defaults: 60 s to connect, 30 s without
// data while receiving). They protect the caller from a hostile server; the program's own
// time-outs run on the device clock and end a call by closing its handle.
constexpr long kConnectTimeoutMs = 60000;
constexpr long kReceiveTimeoutMs = 30000;
// Bound on everything HttpSendRequestA waits for (connect, upload, response headers).
constexpr long kSendTimeoutMs = 120000;
// The most body bytes a request buffers ahead of InternetReadFile; the transfer pauses (and
// the server's writes block in TCP) until the caller reads. The program reads 100000 at once.
constexpr size_t kBodyBufferLimit = 256 * 1024;
// The most bytes of one response-header block kept; a longer block fails the request.
constexpr size_t kHeaderLimit = 64 * 1024;

// Test hook (platform tests only): body bytes a request holds ahead of InternetReadFile,
// or -1 when the handle is not a request.
long long BufferedBodyBytesForTests(HINTERNET request);

}  // namespace wininet
