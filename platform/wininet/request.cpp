// The transfer behind an HTTP request handle: libcurl's multi interface driven by the calling
// thread (see request.h for why), header parsing, the bounded body buffer, error mapping.
#include "wininet/request.h"

#include <algorithm>
#include <cstring>

#include "device/Device.h"

namespace wininet {
namespace {

// WinInet's last error for a transfer that libcurl ended with `code`.
DWORD ErrorFromCurl(CURLcode code) {
  switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return ERROR_INTERNET_NAME_NOT_RESOLVED;
    case CURLE_COULDNT_CONNECT:
      return ERROR_INTERNET_CANNOT_CONNECT;
    case CURLE_OPERATION_TIMEDOUT:
      return ERROR_INTERNET_TIMEOUT;
    case CURLE_URL_MALFORMAT:
      return ERROR_INTERNET_INVALID_URL;
    // The scheme is always http or https here, so "unsupported protocol" is libcurl refusing
    // an HTTP/0.9 (header-less, garbage) reply; WinInet calls that an invalid response.
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_GOT_NOTHING:
    case CURLE_BAD_CONTENT_ENCODING:
    case CURLE_WRITE_ERROR:  // our header callback refused an oversized header block
      return ERROR_HTTP_INVALID_SERVER_RESPONSE;
    case CURLE_TOO_MANY_REDIRECTS:
      return ERROR_HTTP_REDIRECT_FAILED;
    case CURLE_RECV_ERROR:
      return ERROR_INTERNET_CONNECTION_RESET;
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE:
      return ERROR_INTERNET_CONNECTION_ABORTED;
    case CURLE_OUT_OF_MEMORY:
      return ERROR_NOT_ENOUGH_MEMORY;
    case CURLE_PEER_FAILED_VERIFICATION:
      return ERROR_INTERNET_INVALID_CA;
    case CURLE_SSL_CONNECT_ERROR:
      return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
    default:
      return ERROR_INTERNET_INTERNAL_ERROR;
  }
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (tolower(static_cast<unsigned char>(text[i])) !=
        tolower(static_cast<unsigned char>(prefix[i])))
      return false;
  return true;
}

// Calls fn(line) for each line of a header block, without its line end.
template <typename Fn>
void ForEachLine(std::string_view block, Fn fn) {
  while (!block.empty()) {
    size_t end = block.find('\n');
    std::string_view line = block.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!fn(line)) return;
    if (end == std::string_view::npos) return;
    block.remove_prefix(end + 1);
  }
}

bool BlockHasHeader(std::string_view block, std::string_view name) {
  bool found = false;
  ForEachLine(block, [&](std::string_view line) {
    found = StartsWithNoCase(line, name) && line.size() > name.size() && line[name.size()] == ':';
    return !found;
  });
  return found;
}

}  // namespace

Request::Request(std::shared_ptr<Object> connect, Params params)
    : Object(HandleType::Request, std::move(connect)), params_(std::move(params)) {
  easy_ = curl_easy_init();
  multi_ = curl_multi_init();
}

Request::~Request() {
  if (multi_ && easy_) curl_multi_remove_handle(multi_, easy_);
  if (easy_) curl_easy_cleanup(easy_);
  if (multi_) curl_multi_cleanup(multi_);
  curl_slist_free_all(headerList_);
  curl_slist_free_all(connectTo_);
}

void Request::onClose() {
  // Wakes a curl_multi_poll in the thread blocked on this request; it then sees closed().
  if (multi_) curl_multi_wakeup(multi_);
}

bool Request::claim() {
  if (busy_.exchange(true, std::memory_order_acq_rel)) {
    // Another thread is inside a call on this request (WinInet serialises them; we refuse).
    SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    return false;
  }
  return true;
}

void Request::release() { busy_.store(false, std::memory_order_release); }

size_t Request::HeaderCallback(char* data, size_t size, size_t count, void* self) {
  return static_cast<Request*>(self)->onHeader(data, size * count);
}

size_t Request::WriteCallback(char* data, size_t size, size_t count, void* self) {
  return static_cast<Request*>(self)->onBody(data, size * count);
}

size_t Request::onHeader(const char* data, size_t length) {
  if (closed()) return 0;
  if (block_.size() + length > kHeaderLimit) {
    headerOverflow_ = true;
    return 0;  // ends the transfer with CURLE_WRITE_ERROR
  }
  block_.append(data, length);
  bool blank = (length == 2 && data[0] == '\r' && data[1] == '\n') || (length == 1 && data[0] == '\n');
  if (!blank) return length;
  long code = 0;
  curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &code);
  bool interim = code >= 100 && code < 200;
  // A redirect that libcurl will follow is not the final response either (WinInet follows
  // redirects unless INTERNET_FLAG_NO_AUTO_REDIRECT; the program passes flags 0).
  bool followed = !(params_.flags & INTERNET_FLAG_NO_AUTO_REDIRECT) && code >= 300 &&
                  code < 400 && code != 304 && BlockHasHeader(block_, "location");
  if (interim || followed) {
    block_.clear();
    return length;
  }
  headers_.swap(block_);
  block_.clear();
  status_ = code;
  headersDone_ = true;
  return length;
}

size_t Request::onBody(const char* data, size_t length) {
  if (closed()) return 0;
  headersDone_ = true;  // a body can only follow the final headers
  size_t buffered = bufferedBytes();
  if (buffered > 0 && buffered + length > kBodyBufferLimit) {
    // Full: libcurl keeps this chunk and stops reading the socket until read() resumes it,
    // so an endless body costs at most the bound plus one chunk.
    paused_ = true;
    return CURL_WRITEFUNC_PAUSE;
  }
  if (bodyOffset_ > 0) {
    body_.erase(0, bodyOffset_);
    bodyOffset_ = 0;
  }
  body_.append(data, length);
  return length;
}

bool Request::pump(const std::function<bool()>& done, Clock::time_point deadline) {
  for (;;) {
    if (closed()) {
      SetLastError(ERROR_INTERNET_OPERATION_CANCELLED);
      return false;
    }
    if (done() || finished_) return true;
    int running = 0;
    CURLMcode mc = curl_multi_perform(multi_, &running);
    int queued = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi_, &queued)) {
      if (msg->msg == CURLMSG_DONE) {
        finished_ = true;
        result_ = msg->data.result;
      }
    }
    if (mc != CURLM_OK && !finished_) {
      finished_ = true;
      result_ = mc == CURLM_OUT_OF_MEMORY ? CURLE_OUT_OF_MEMORY : CURLE_FAILED_INIT;
    }
    if (closed()) {
      SetLastError(ERROR_INTERNET_OPERATION_CANCELLED);
      return false;
    }
    if (done() || finished_) return true;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      SetLastError(ERROR_INTERNET_TIMEOUT);
      return false;
    }
    // A close on another thread wakes this poll at once (curl_multi_wakeup).
    curl_multi_poll(multi_, nullptr, 0, static_cast<int>(std::min<long long>(left.count(), 1000)),
                    nullptr);
  }
}

bool Request::configure(const char* headers, size_t headersLength, const void* body,
                        size_t bodyLength) {
  auto connect = std::static_pointer_cast<Connect>(parent());
  auto session = std::static_pointer_cast<Session>(connect->parent());
  bool secure = params_.flags & INTERNET_FLAG_SECURE;
  INTERNET_PORT port = connect->port != INTERNET_INVALID_PORT_NUMBER
                           ? connect->port
                           : (secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT);
  std::string host = connect->host;
  if (host.find(':') != std::string::npos && host.front() != '[') host = "[" + host + "]";
  std::string path = params_.path.empty() ? "/" : params_.path;
  if (path.front() != '/') path.insert(path.begin(), '/');
  std::string url = (secure ? "https://" : "http://") + host + ":" + std::to_string(port) + path;

  // Request headers: WinInet sends the accepted types and the caller's headers, and adds only
  // the content length to a body; the program adds no Content-Type or other header, so
  // libcurl's own Content-Type and Expect are switched off.
  if (!params_.acceptTypes.empty()) {
    std::string accept = "Accept: ";
    for (size_t i = 0; i < params_.acceptTypes.size(); ++i)
      accept += (i ? ", " : "") + params_.acceptTypes[i];
    headerList_ = curl_slist_append(headerList_, accept.c_str());
  }
  bool callerContentType = false;
  std::string_view extra(headers ? headers : "", headers ? headersLength : 0);
  bool badHeader = false;
  ForEachLine(extra, [&](std::string_view line) {
    if (line.empty()) return true;
    size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) {
      badHeader = true;
      return false;
    }
    if (StartsWithNoCase(line, "content-type:")) callerContentType = true;
    headerList_ = curl_slist_append(headerList_, std::string(line).c_str());
    return true;
  });
  if (badHeader) {
    SetLastError(ERROR_HTTP_INVALID_HEADER);
    return false;
  }
  headerList_ = curl_slist_append(headerList_, "Expect:");
  if (!callerContentType) headerList_ = curl_slist_append(headerList_, "Content-Type:");

  // The phone's host map: "HOST:PORT=ADDR:PORT" connects to ADDR:PORT instead.
  curl_slist* connectTo = nullptr;
  for (const device::NetMapEntry& entry : device::options().netMap)
    connectTo = curl_slist_append(connectTo, (entry.from + ":" + entry.to).c_str());

  CURL* e = easy_;
  curl_easy_setopt(e, CURLOPT_URL, url.c_str());
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
  // No byte for kReceiveTimeoutMs ends the transfer, as WinInet's receive time-out does.
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, kReceiveTimeoutMs / 1000);
  curl_easy_setopt(e, CURLOPT_USERAGENT, session->agent.c_str());
  // The emulated phone's network is direct unless the program names a proxy; the host's
  // http_proxy variables are not the phone's settings.
  curl_easy_setopt(e, CURLOPT_PROXY, session->proxy.c_str());
  curl_easy_setopt(e, CURLOPT_HTTP_VERSION,
                   params_.http10 ? CURL_HTTP_VERSION_1_0 : CURL_HTTP_VERSION_1_1);
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION,
                   (params_.flags & INTERNET_FLAG_NO_AUTO_REDIRECT) ? 0L : 1L);
  curl_easy_setopt(e, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(e, CURLOPT_HTTPHEADER, headerList_);
  // libcurl does not copy the lists; they live as long as the request.
  connectTo_ = connectTo;
  if (connectTo_) curl_easy_setopt(e, CURLOPT_CONNECT_TO, connectTo_);
  if (!connect->user.empty()) curl_easy_setopt(e, CURLOPT_USERNAME, connect->user.c_str());
  if (!connect->password.empty())
    curl_easy_setopt(e, CURLOPT_PASSWORD, connect->password.c_str());
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &Request::HeaderCallback);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Request::WriteCallback);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, this);

  const std::string& verb = params_.verb;
  if (verb == "GET" && bodyLength == 0) {
    curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
  } else if (verb == "HEAD") {
    curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
  } else {
    // The body is copied: HttpSendRequestA returns once the headers are in, and the caller's
    // buffer need not outlive the call (the upload may in principle still be running).
    curl_easy_setopt(e, CURLOPT_POST, 1L);
    curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(bodyLength));
    curl_easy_setopt(e, CURLOPT_COPYPOSTFIELDS, body ? static_cast<const char*>(body) : "");
    if (verb != "POST") curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, verb.c_str());
  }
  return true;
}

bool Request::send(const char* headers, size_t headersLength, const void* body,
                   size_t bodyLength) {
  if (state_ != State::Ready) {
    // One exchange per request handle, as the program uses it.
    SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    return false;
  }
  state_ = State::Failed;
  if (!configure(headers, headersLength, body, bodyLength)) return false;
  if (curl_multi_add_handle(multi_, easy_) != CURLM_OK) {
    SetLastError(ERROR_INTERNET_INTERNAL_ERROR);
    return false;
  }
  // Blocks until the final response's headers are in (the body is read by InternetReadFile).
  auto deadline = Clock::now() + std::chrono::milliseconds(kSendTimeoutMs);
  if (!pump([this] { return headersDone_; }, deadline)) return false;
  if (!headersDone_) {
    SetLastError(headerOverflow_ ? ERROR_HTTP_INVALID_SERVER_RESPONSE
                 : result_ != CURLE_OK ? ErrorFromCurl(result_)
                                       : ERROR_HTTP_INVALID_SERVER_RESPONSE);
    return false;
  }
  state_ = State::Sent;
  return true;
}

bool Request::read(void* buffer, DWORD toRead, DWORD* read) {
  if (state_ != State::Sent) {
    SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    return false;
  }
  // Waits until `toRead` bytes are buffered, the body is complete or the transfer paused on a
  // full buffer; then hands over what there is, up to `toRead` (the program reads once).
  auto deadline = Clock::now() + std::chrono::milliseconds(kReceiveTimeoutMs);
  bool pumped = pump([&] { return bufferedBytes() >= toRead || paused_; }, deadline);
  if (!pumped && (closed() || bufferedBytes() == 0)) return false;  // cancelled or timed out
  size_t n = std::min<size_t>(toRead, bufferedBytes());
  if (n) memcpy(buffer, body_.data() + bodyOffset_, n);
  bodyOffset_ += n;
  *read = static_cast<DWORD>(n);
  if (paused_ && bufferedBytes() < kBodyBufferLimit) {
    paused_ = false;
    curl_easy_pause(easy_, CURLPAUSE_CONT);  // may deliver the held chunk right away
  }
  // Received bytes come first; an aborted body (server closed mid-body) is reported once they
  // are all read. The end of a complete body is TRUE with 0 bytes (Win32).
  if (n == 0 && finished_ && result_ != CURLE_OK) {
    SetLastError(ErrorFromCurl(result_));
    return false;
  }
  return true;
}

}  // namespace wininet
