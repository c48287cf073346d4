// The HINTERNET handle table, InternetOpenW, InternetConnectA and InternetCloseHandle
// (Wine: dlls/wininet/internet.c).
#include "wininet/internet.h"

#include <curl/curl.h>

#include "device/HandleTable.h"
#include "device/Trace.h"
#include "kernel32/kernel32.h"

namespace wininet {
namespace {

// Multiples of 4 as on Windows, in a range of their own so that an HINTERNET passed where a
// kernel HANDLE is expected (or the reverse) is never found.
device::HandleTable<Object>& table() {
  static auto* t = new device::HandleTable<Object>(0xCC0004);  // never destroyed: threads may outlive main
  return *t;
}

std::string Narrow(LPCSTR text) { return text ? std::string(text) : std::string(); }

std::string FromWide(LPCWSTR text) {
  return text ? kernel32::Utf16ToUtf8(std::u16string_view(text)) : std::string();
}

}  // namespace

void Object::close() {
  if (closed_.exchange(true, std::memory_order_acq_rel)) return;
  onClose();
  std::vector<std::weak_ptr<Object>> children;
  {
    std::lock_guard<std::mutex> lk(childrenMutex_);
    children.swap(children_);
  }
  // Wine closes the children of a closed handle too: their handles become invalid and a call
  // blocked on one of them ends.
  for (const std::weak_ptr<Object>& weak : children) {
    if (std::shared_ptr<Object> child = weak.lock()) {
      RemoveObject(child->handle());
      child->close();
    }
  }
}

HINTERNET InsertObject(const std::shared_ptr<Object>& object) {
  object->handle_ = reinterpret_cast<HINTERNET>(table().insert(object));
  if (const std::shared_ptr<Object>& parent = object->parent()) {
    std::lock_guard<std::mutex> children(parent->childrenMutex_);
    // Drop entries of children already gone, so a long-lived session does not accumulate them.
    std::erase_if(parent->children_, [](const std::weak_ptr<Object>& w) { return w.expired(); });
    parent->children_.push_back(object);
  }
  return object->handle_;
}

std::shared_ptr<Object> LookupObject(HINTERNET handle) { return table().lookup(reinterpret_cast<uintptr_t>(handle)); }

std::shared_ptr<Object> RemoveObject(HINTERNET handle) { return table().remove(reinterpret_cast<uintptr_t>(handle)); }

}  // namespace wininet

using wininet::HandleType;

HINTERNET InternetOpenW(LPCWSTR lpszAgent, DWORD dwAccessType, LPCWSTR lpszProxy,
                        LPCWSTR lpszProxyBypass, DWORD dwFlags) {
  std::string agent = wininet::FromWide(lpszAgent);
  TRACE_CALL("wininet", "InternetOpenW agent=\"%s\" access=%u flags=0x%x", agent.c_str(),
             dwAccessType, dwFlags);
  // Every call blocks (the program calls WinInet synchronously); asynchronous WinInet with its
  // status callbacks is not part of the phone's subset, and pretending to support it would hand
  // back wrong semantics.
  if (dwFlags & INTERNET_FLAG_ASYNC) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  if (dwAccessType != INTERNET_OPEN_TYPE_PRECONFIG && dwAccessType != INTERNET_OPEN_TYPE_DIRECT &&
      dwAccessType != INTERNET_OPEN_TYPE_PROXY &&
      dwAccessType != INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::string proxy = wininet::FromWide(lpszProxy);
  if (dwAccessType == INTERNET_OPEN_TYPE_PROXY && proxy.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // libcurl's global set-up is not thread-safe before 7.84; do it once, here.
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  auto session = std::make_shared<wininet::Session>(
      agent, dwAccessType, dwAccessType == INTERNET_OPEN_TYPE_PROXY ? proxy : std::string());
  return wininet::InsertObject(session);
}

HINTERNET InternetConnectA(HINTERNET hInternet, LPCSTR lpszServerName, INTERNET_PORT nServerPort,
                           LPCSTR lpszUserName, LPCSTR lpszPassword, DWORD dwService,
                           DWORD dwFlags, DWORD_PTR dwContext) {
  TRACE_CALL("wininet", "InternetConnectA session=%p server=\"%s\" port=%u service=%u",
             hInternet, lpszServerName ? lpszServerName : "(null)", nServerPort, dwService);
  auto session = wininet::LookupAs<wininet::Session>(hInternet, HandleType::Session);
  if (!session) return nullptr;
  if (!lpszServerName || !*lpszServerName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // Only HTTP is on the phone's road (the program passes 3); FTP and Gopher are not provided.
  if (dwService != INTERNET_SERVICE_HTTP) {
    SetLastError(dwService == INTERNET_SERVICE_FTP || dwService == INTERNET_SERVICE_GOPHER
                     ? ERROR_NOT_SUPPORTED
                     : ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto connect = std::make_shared<wininet::Connect>(
      session, lpszServerName, nServerPort, wininet::Narrow(lpszUserName),
      wininet::Narrow(lpszPassword));
  return wininet::InsertObject(connect);
}

BOOL InternetCloseHandle(HINTERNET hInternet) {
  TRACE_CALL("wininet", "InternetCloseHandle handle=%p", hInternet);
  std::shared_ptr<wininet::Object> object = wininet::RemoveObject(hInternet);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // Ends a call blocked on the handle (or on one of its children) in another thread; the
  // object itself goes when the last call using it returns.
  object->close();
  return TRUE;
}
