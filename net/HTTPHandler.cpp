// The HTTP transport: connection-manager set-up, then one WinInet exchange whose reply body is
// read with a single InternetReadFile into a 100000-byte buffer.
#include "net/HTTPHandler.h"

#include <connmgr.h>
#include <stdlib.h>
#include <string.h>

#include "app/Log.h"
#include "app/Utilities.h"
#include "net/NetCheckpoint.h"

namespace {

// The user agent, byte-exact.
const WCHAR kUserAgent[] = TEXT("WindowsMobile-Melodex-0.9");
// The host and path buffers of the URL's split, and the accepted types of each verb.
const DWORD kHostNameSize = 256;
const DWORD kUrlPathSize = 512;
LPCSTR kGetAcceptTypes[] = {"application/octet-stream", "text/plain", "text/html", "image/jpeg",
                            NULL};
LPCSTR kPostAcceptTypes[] = {"application/octet-stream", "text/plain", "text/html", NULL};
const DWORD_PTR kGetContext = 1;
const DWORD_PTR kPostContext = 2;
const DWORD_PTR kConnectContext = 1;

void CloseIfSet(HINTERNET handle) {
  if (handle != NULL) InternetCloseHandle(handle);
}

}  // namespace

NetCheckpointHook g_netCheckpointHook = NULL;

HTTPHandler::HTTPHandler(HWND hWnd)
    : responseBuffer(NULL),
      bytesRead(0),
      hInternet(NULL),
      hConnect(NULL),
      hRequest(NULL),
      hWnd(hWnd),
      hConnection(NULL),
      holders(1),
      closed(FALSE) {}

// The handles were closed by the first destroy. The data connection is never released: the
// connection manager keeps it for the next request.
HTTPHandler::~HTTPHandler() { free(responseBuffer); }

void HTTPHandler::share() {
  std::lock_guard<std::mutex> lock(guard);
  holders++;
}

// The request, then the connection, then the session. Closing ends a call blocked on these
// handles in another thread; that thread still holds the handler, so its memory stays.
void HTTPHandler::destroy() {
  HINTERNET request = NULL, connect = NULL, internet = NULL;
  BOOL last;
  {
    std::lock_guard<std::mutex> lock(guard);
    if (!closed) {
      closed = TRUE;
      request = hRequest;
      connect = hConnect;
      internet = hInternet;
    }
    last = --holders == 0;
  }
  CloseIfSet(request);
  CloseIfSet(connect);
  CloseIfSet(internet);
  if (last) delete this;
}

BOOL HTTPHandler::keepHandle(HINTERNET* field, HINTERNET handle) {
  {
    std::lock_guard<std::mutex> lock(guard);
    if (!closed) {
      *field = handle;
      return TRUE;
    }
  }
  CloseIfSet(handle);
  return FALSE;
}

// The completion of a POST reaches the user-interface thread only through this message. A
// request whose handler was destroyed meanwhile has been abandoned and announces nothing.
BOOL HTTPHandler::announceReply() {
  std::lock_guard<std::mutex> lock(guard);
  if (closed) return FALSE;
  PostMessageW(hWnd, WM_USER, 0, 0);
  return TRUE;
}

// The session with the user agent and the platform's preconfigured access, then the reply
// buffer.
int HTTPHandler::openInternet() {
  HINTERNET internet = InternetOpenW(kUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, NULL, NULL, 0);
  NetCheckpoint(CHECKPOINT_SESSION_OPENED);
  if (internet == NULL || !keepHandle(&hInternet, internet)) return HTTP_ERROR_OPEN;
  responseBuffer = (BYTE*)malloc(HTTP_RESPONSE_BUFFER_SIZE);
  if (responseBuffer == NULL) return HTTP_ERROR_ALLOCATE;
  return HTTP_OK;
}

int HTTPHandler::getURL(const char* url) {
  return request(url, "GET", kGetAcceptTypes, kGetContext, NULL, 0, FALSE);
}

int HTTPHandler::postData(const char* url, const void* body, DWORD length) {
  return request(url, "POST", kPostAcceptTypes, kPostContext, body, length, TRUE);
}

// Status of a connection already held, then map the URL to a destination network and
// establish a connection synchronously within 10 s.
bool HTTPHandler::setupConnection(const char* url) {
  if (hConnection != NULL) {
    DWORD status = 0;
    if (FAILED(ConnMgrConnectionStatus(hConnection, &status))) return false;
    if (status == CONNMGR_STATUS_CONNECTED) return true;
  }

  WCHAR* wideUrl = ToWideString(url);
  if (wideUrl == NULL) return false;
  GUID network;
  memset(&network, 0, sizeof network);
  DWORD index = 0;  // not used
  HRESULT mapped = ConnMgrMapURL(wideUrl, &network, &index);
  free(wideUrl);
  if (FAILED(mapped)) return false;

  // The connection request: an HTTP proxy may be used, the user is waiting for it.
  CONNMGR_CONNECTIONINFO info;
  memset(&info, 0, sizeof info);
  info.cbSize = sizeof info;  // 64 bytes on the phone
  info.dwParams = CONNMGR_PARAM_GUIDDESTNET;
  info.dwFlags = CONNMGR_FLAG_PROXY_HTTP;
  info.dwPriority = CONNMGR_PRIORITY_USERINTERACTIVE;
  info.bExclusive = FALSE;
  info.bDisabled = FALSE;
  info.guidDestNet = network;

  HANDLE connection = NULL;
  DWORD status = 0;
  HRESULT established =
      ConnMgrEstablishConnectionSync(&info, &connection, HTTP_CONNECTION_TIMEOUT_MS, &status);
  if (FAILED(established) || status != CONNMGR_STATUS_CONNECTED) {
    WriteLog("HTTPHandler::setupConnection: Couldn't establish the connection!\r\n");
    return false;
  }
  hConnection = connection;
  return true;
}

// The steps of a GET, with a POST's differences chosen by the arguments. Every failure returns
// its code at the first failing step; nothing is retried; the handles opened so far are closed
// by destroy. A handler destroyed during a step makes that step or the next fail, since its
// handles are closed.
int HTTPHandler::request(const char* url, const char* verb, LPCSTR* acceptTypes,
                         DWORD_PTR context, const void* body, DWORD length, BOOL postReply) {
  // An Internet handle and a data connection.
  if (hInternet == NULL || !setupConnection(url)) return HTTP_ERROR_NO_CONNECTION;

  // Host (at most 256 bytes), port and path with its query (at most 512 bytes).
  char host[kHostNameSize];
  char path[kUrlPathSize];
  URL_COMPONENTSA parts;
  memset(&parts, 0, sizeof parts);
  parts.dwStructSize = sizeof parts;
  parts.lpszHostName = host;
  parts.dwHostNameLength = kHostNameSize;
  parts.lpszUrlPath = path;
  parts.dwUrlPathLength = kUrlPathSize;
  if (!InternetCrackUrlA(url, (DWORD)strlen(url), 0, &parts)) return HTTP_ERROR_CRACK_URL;

  HINTERNET connect = InternetConnectA(hInternet, host, parts.nPort, NULL, NULL,
                                       INTERNET_SERVICE_HTTP, 0, kConnectContext);
  NetCheckpoint(CHECKPOINT_CONNECTED);
  if (connect == NULL || !keepHandle(&hConnect, connect)) return HTTP_ERROR_CONNECT;

  // Default HTTP version, no referrer.
  HINTERNET requestHandle = HttpOpenRequestA(connect, verb, path, NULL, NULL, acceptTypes, 0, context);
  NetCheckpoint(CHECKPOINT_REQUEST_OPENED);
  if (requestHandle == NULL || !keepHandle(&hRequest, requestHandle)) return HTTP_ERROR_OPEN_REQUEST;

  // No added headers; the platform adds the content length of a body.
  if (!HttpSendRequestA(requestHandle, NULL, 0, (LPVOID)body, length)) {
    DWORD error = GetLastError();  // fetched, as WinInet callers do; the result is 6 whatever it is
    (void)error;
    return HTTP_ERROR_SEND;
  }

  // The status code as a number; anything but 200 leaves the body unread.
  DWORD statusCode = 0;
  DWORD statusSize = sizeof statusCode;
  if (!HttpQueryInfoW(requestHandle, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &statusCode,
                      &statusSize, NULL) ||
      statusCode != 200)
    return HTTP_ERROR_STATUS;

  // One read of at most 100000 bytes: no loop, no terminating zero.
  bytesRead = 0;
  if (!InternetReadFile(requestHandle, responseBuffer, HTTP_RESPONSE_BUFFER_SIZE, &bytesRead))
    return HTTP_ERROR_READ;
  NetCheckpoint(CHECKPOINT_REPLY_READ);
  if (postReply && !announceReply()) return HTTP_ERROR_READ;
  return HTTP_OK;
}
