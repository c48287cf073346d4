// HttpOpenRequestA, HttpSendRequestA, HttpQueryInfoW and InternetReadFile (Wine: http.c,
// internet.c). The transfer itself is in request.cpp.
#include <cstring>

#include "device/Trace.h"
#include "kernel32/kernel32.h"
#include "wininet/request.h"

namespace wininet {
namespace {

// Holds the request for one call: a reference (the object outlives a close on another
// thread) and the claim that keeps a second thread from driving it at the same time.
class Call {
 public:
  explicit Call(HINTERNET handle) : request_(LookupAs<Request>(handle, HandleType::Request)) {
    if (request_ && !request_->claim()) request_.reset();
  }
  ~Call() {
    if (request_) request_->release();
  }
  Call(const Call&) = delete;
  Call& operator=(const Call&) = delete;
  Request* operator->() const { return request_.get(); }
  explicit operator bool() const { return request_ != nullptr; }

 private:
  std::shared_ptr<Request> request_;
};

// The header name of an HttpQueryInfo level that names one response header.
const char* HeaderNameOf(DWORD level) {
  switch (level) {
    case HTTP_QUERY_CONTENT_TYPE: return "Content-Type";
    case HTTP_QUERY_CONTENT_LENGTH: return "Content-Length";
    case HTTP_QUERY_CONTENT_ENCODING: return "Content-Encoding";
    case HTTP_QUERY_CONTENT_LANGUAGE: return "Content-Language";
    case HTTP_QUERY_CONTENT_TRANSFER_ENCODING: return "Content-Transfer-Encoding";
    case HTTP_QUERY_CONTENT_ID: return "Content-ID";
    case HTTP_QUERY_CONTENT_DESCRIPTION: return "Content-Description";
    case HTTP_QUERY_MIME_VERSION: return "Mime-Version";
    case HTTP_QUERY_DATE: return "Date";
    case HTTP_QUERY_EXPIRES: return "Expires";
    case HTTP_QUERY_LAST_MODIFIED: return "Last-Modified";
    case HTTP_QUERY_LOCATION: return "Location";
    case HTTP_QUERY_SERVER: return "Server";
    case HTTP_QUERY_CONNECTION: return "Connection";
    case HTTP_QUERY_PRAGMA: return "Pragma";
    case HTTP_QUERY_ALLOW: return "Allow";
    case HTTP_QUERY_PUBLIC: return "Public";
    case HTTP_QUERY_LINK: return "Link";
    default: return nullptr;
  }
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (tolower(static_cast<unsigned char>(a[i])) != tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// The object name as WinInet keeps it: HttpOpenRequest passes it through UrlCanonicalize with
// URL_ESCAPE_SPACES_ONLY (Wine: HTTP_HttpOpenRequestW), which drops control characters and
// blanks at either end and tabs and line ends anywhere, and turns every other blank into %20,
// in the query as in the path. (UrlCanonicalize also folds "." and ".." path segments; those
// are left as they are.)
std::string CanonicalObjectName(std::string_view name) {
  auto atEdge = [](char c) { return c > 0 && c <= ' '; };
  while (!name.empty() && atEdge(name.front())) name.remove_prefix(1);
  while (!name.empty() && atEdge(name.back())) name.remove_suffix(1);
  std::string out;
  for (char c : name) {
    if (c == '\t' || c == '\n' || c == '\r') continue;
    if (c == ' ') out += "%20";
    else out += c;
  }
  return out;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

}  // namespace

bool Request::findHeader(const char* name, DWORD index, std::string* value) const {
  std::string_view block(headers_);
  size_t first = block.find('\n');  // skip the status line
  if (first == std::string_view::npos) return false;
  block.remove_prefix(first + 1);
  DWORD seen = 0;
  while (!block.empty()) {
    size_t end = block.find('\n');
    std::string_view line = block.substr(0, end);
    size_t colon = line.find(':');
    if (colon != std::string_view::npos && EqualNoCase(Trim(line.substr(0, colon)), name)) {
      if (seen++ == index) {
        *value = std::string(Trim(line.substr(colon + 1)));
        return true;
      }
    }
    if (end == std::string_view::npos) break;
    block.remove_prefix(end + 1);
  }
  return false;
}

bool Request::query(DWORD infoLevel, LPVOID buffer, LPDWORD bufferLength, LPDWORD index) {
  if (!bufferLength) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (state_ != State::Sent) {
    SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    return false;
  }
  DWORD level = infoLevel & 0xFFFF;
  DWORD modifiers = infoLevel & 0xFFFF0000;
  // Only the response's headers are kept; the request's and the date form are not provided.
  if (modifiers & (HTTP_QUERY_FLAG_REQUEST_HEADERS | HTTP_QUERY_FLAG_SYSTEMTIME)) {
    SetLastError(ERROR_HTTP_HEADER_NOT_FOUND);
    return false;
  }
  std::string value;
  std::string_view statusLine(headers_);
  statusLine = Trim(statusLine.substr(0, statusLine.find('\n')));
  size_t sp1 = statusLine.find(' ');
  size_t sp2 = sp1 == std::string_view::npos ? sp1 : statusLine.find(' ', sp1 + 1);
  bool usesIndex = false;
  if (level == HTTP_QUERY_STATUS_CODE) {
    value = std::to_string(status_);
  } else if (level == HTTP_QUERY_STATUS_TEXT) {
    value = sp2 == std::string_view::npos ? "" : std::string(statusLine.substr(sp2 + 1));
  } else if (level == HTTP_QUERY_VERSION) {
    value = std::string(statusLine.substr(0, sp1));
  } else if (level == HTTP_QUERY_RAW_HEADERS_CRLF) {
    value = headers_;
  } else {
    std::string name;
    if (level == HTTP_QUERY_CUSTOM) {
      // The header's name comes in the buffer (Win32).
      if (!buffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
      }
      name = kernel32::Utf16ToUtf8(std::u16string_view(static_cast<const char16_t*>(buffer)));
    } else if (const char* known = HeaderNameOf(level)) {
      name = known;
    } else {
      SetLastError(ERROR_HTTP_INVALID_QUERY_REQUEST);
      return false;
    }
    usesIndex = true;
    if (!findHeader(name.c_str(), index ? *index : 0, &value)) {
      SetLastError(ERROR_HTTP_HEADER_NOT_FOUND);
      return false;
    }
  }
  if (modifiers & HTTP_QUERY_FLAG_NUMBER) {
    // A DWORD; a too-small buffer gets its needed size back (Win32). Non-digits read as 0.
    if (!buffer || *bufferLength < sizeof(DWORD)) {
      *bufferLength = sizeof(DWORD);
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return false;
    }
    DWORD number = static_cast<DWORD>(strtoul(value.c_str(), nullptr, 10));
    memcpy(buffer, &number, sizeof number);
    *bufferLength = sizeof(DWORD);
  } else {
    // Header bytes are Windows-1252, the phone's code page. The length is in bytes: on success
    // without the terminator, on ERROR_INSUFFICIENT_BUFFER with it (Win32).
    std::u16string wide = kernel32::Cp1252ToUtf16(value);
    DWORD needed = static_cast<DWORD>((wide.size() + 1) * sizeof(char16_t));
    if (!buffer || *bufferLength < needed) {
      *bufferLength = needed;
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return false;
    }
    memcpy(buffer, wide.c_str(), needed);
    *bufferLength = needed - static_cast<DWORD>(sizeof(char16_t));
  }
  if (usesIndex && index) ++*index;
  return true;
}

long long BufferedBodyBytesForTests(HINTERNET request) {
  auto object = LookupObject(request);
  if (!object || object->type() != HandleType::Request) return -1;
  Call call(request);
  if (!call) return -1;
  return static_cast<long long>(call->bufferedBytes());
}

}  // namespace wininet

using wininet::HandleType;

HINTERNET HttpOpenRequestA(HINTERNET hConnect, LPCSTR lpszVerb, LPCSTR lpszObjectName,
                           LPCSTR lpszVersion, LPCSTR lpszReferrer, LPCSTR* lplpszAcceptTypes,
                           DWORD dwFlags, DWORD_PTR dwContext) {
  TRACE_CALL("wininet", "HttpOpenRequestA connect=%p verb=%s object=\"%s\" flags=0x%x context=%lu",
             hConnect, lpszVerb ? lpszVerb : "(null)", lpszObjectName ? lpszObjectName : "(null)",
             dwFlags, static_cast<unsigned long>(dwContext));
  auto connect = wininet::LookupAs<wininet::Connect>(hConnect, HandleType::Connect);
  if (!connect) return nullptr;
  wininet::Request::Params params;
  // Win32: no verb is GET, no object is "/", no version is HTTP/1.1.
  params.verb = lpszVerb && *lpszVerb ? lpszVerb : "GET";
  params.path =
      lpszObjectName && *lpszObjectName ? wininet::CanonicalObjectName(lpszObjectName) : "/";
  params.http10 = lpszVersion && strcmp(lpszVersion, "HTTP/1.0") == 0;
  if (lplpszAcceptTypes) {
    for (LPCSTR* type = lplpszAcceptTypes; *type; ++type)
      if (**type) params.acceptTypes.emplace_back(*type);
  }
  params.flags = dwFlags;
  for (char c : params.verb + params.path) {
    // A control character left in the verb or the object name, or a blank in the verb, would
    // break the request line; WinInet would send it as it is, the platform refuses it.
    if (static_cast<unsigned char>(c) < 0x21 || c == 0x7f) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
  }
  auto request = std::make_shared<wininet::Request>(connect, std::move(params));
  if (!request->valid()) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return wininet::InsertObject(request);
}

BOOL HttpSendRequestA(HINTERNET hRequest, LPCSTR lpszHeaders, DWORD dwHeadersLength,
                      LPVOID lpOptional, DWORD dwOptionalLength) {
  TRACE_CALL("wininet", "HttpSendRequestA request=%p headers=%u body=%u", hRequest,
             lpszHeaders ? dwHeadersLength : 0, dwOptionalLength);
  wininet::Call call(hRequest);
  if (!call) return FALSE;
  if (!lpOptional && dwOptionalLength) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // A header length of -1 means a zero-terminated string (Win32).
  size_t headersLength = 0;
  if (lpszHeaders)
    headersLength = dwHeadersLength == static_cast<DWORD>(-1) ? strlen(lpszHeaders) : dwHeadersLength;
  BOOL ok = call->send(lpszHeaders, headersLength, lpOptional, dwOptionalLength);
  TRACE_CALL("wininet", "HttpSendRequestA request=%p -> %d error=%u", hRequest, ok,
             ok ? 0u : GetLastError());
  return ok;
}

BOOL HttpQueryInfoW(HINTERNET hRequest, DWORD dwInfoLevel, LPVOID lpBuffer,
                    LPDWORD lpdwBufferLength, LPDWORD lpdwIndex) {
  TRACE_CALL("wininet", "HttpQueryInfoW request=%p level=0x%x length=%u", hRequest, dwInfoLevel,
             lpdwBufferLength ? *lpdwBufferLength : 0);
  wininet::Call call(hRequest);
  if (!call) return FALSE;
  return call->query(dwInfoLevel, lpBuffer, lpdwBufferLength, lpdwIndex);
}

BOOL InternetReadFile(HINTERNET hFile, LPVOID lpBuffer, DWORD dwNumberOfBytesToRead,
                      LPDWORD lpdwNumberOfBytesRead) {
  TRACE_CALL("wininet", "InternetReadFile request=%p size=%u", hFile, dwNumberOfBytesToRead);
  if (!lpdwNumberOfBytesRead || (!lpBuffer && dwNumberOfBytesToRead)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *lpdwNumberOfBytesRead = 0;
  wininet::Call call(hFile);
  if (!call) return FALSE;
  BOOL ok = call->read(lpBuffer, dwNumberOfBytesToRead, lpdwNumberOfBytesRead);
  TRACE_CALL("wininet", "InternetReadFile request=%p -> %d read=%u", hFile, ok,
             *lpdwNumberOfBytesRead);
  return ok;
}
