// The HTTP transport: connection-manager set-up, then one WinInet exchange whose
// reply body is read with a single InternetReadFile into a 100000-byte buffer.
//
// How the worker thread is kept from a handler that the UI thread destroyed while the worker
// was blocked in it (a cancel, or the analyzing screen's time-out). Every operation runs
// under a ticket, a small record on the calling thread's stack that is linked into a
// process-wide list while the operation runs. The destructor, under the list's lock, clears
// the handler pointer of its tickets and hands them its reply buffer (a read may be writing
// into it), then closes the Internet handles, which ends the blocked call. The operation reads
// and stores the handler's fields only under that lock and only while its ticket still names
// the handler; a handle it obtains after the handler is gone it closes itself, as the
// destructor would have; and it frees the buffer it was handed when it ends. The lock is never
// held across a platform call that can block.
#include "net/HTTPHandler.h"

#include <connmgr.h>
#include <stdlib.h>
#include <string.h>

#include <mutex>

#include "app/Log.h"
#include "app/Utilities.h"

// One operation of a handler in progress on some thread.
struct HTTPRequestTicket {
  HTTPHandler* handler;     // null once the handler has been destroyed during the operation
  BYTE* orphanBuffer;       // the reply buffer, handed over by a destructor that ran meanwhile
  HTTPRequestTicket* next;  // the list of operations in progress
};

namespace {

// The user agent, byte-exact: the service's access log records it.
const WCHAR kUserAgent[] = TEXT("WindowsMobile-Melodex-0.9");
// The host and path buffers the URL is split into, and the accepted types.
const DWORD kHostNameSize = 256;
const DWORD kUrlPathSize = 512;
LPCSTR kGetAcceptTypes[] = {"application/octet-stream", "text/plain", "text/html", "image/jpeg",
                            NULL};
LPCSTR kPostAcceptTypes[] = {"application/octet-stream", "text/plain", "text/html", NULL};
const DWORD_PTR kGetContext = 1;
const DWORD_PTR kPostContext = 2;
const DWORD_PTR kConnectContext = 1;

std::mutex g_requestLock;                 // guards g_requests and every ticket's fields
HTTPRequestTicket* g_requests = NULL;     // operations in progress, on any thread

// Links the ticket of an operation of `handler` that starts on this thread.
void EnterRequest(HTTPRequestTicket* ticket, HTTPHandler* handler) {
  std::lock_guard<std::mutex> lock(g_requestLock);
  ticket->handler = handler;
  ticket->orphanBuffer = NULL;
  ticket->next = g_requests;
  g_requests = ticket;
}

// Unlinks the ticket at the end of the operation and frees a reply buffer it was handed.
void LeaveRequest(HTTPRequestTicket* ticket) {
  BYTE* orphan;
  {
    std::lock_guard<std::mutex> lock(g_requestLock);
    HTTPRequestTicket** link = &g_requests;
    while (*link != ticket) link = &(*link)->next;
    *link = ticket->next;
    orphan = ticket->orphanBuffer;
  }
  free(orphan);
}

// Whether the handler of the ticket has not been destroyed yet.
bool Alive(HTTPRequestTicket* ticket) {
  std::lock_guard<std::mutex> lock(g_requestLock);
  return ticket->handler != NULL;
}

// Stores a handle that the operation obtained into the handler's field while the handler
// lives; otherwise closes it, since no destructor is left to do so. False when gone.
bool KeepHandle(HTTPRequestTicket* ticket, HINTERNET HTTPHandler::*field, HINTERNET handle) {
  bool alive;
  {
    std::lock_guard<std::mutex> lock(g_requestLock);
    alive = ticket->handler != NULL;
    if (alive) ticket->handler->*field = handle;
  }
  if (!alive && handle != NULL) InternetCloseHandle(handle);
  return alive;
}

}  // namespace

HTTPHandler::HTTPHandler(HWND hWnd)
    : responseBuffer(NULL),
      bytesRead(0),
      hInternet(NULL),
      hConnect(NULL),
      hRequest(NULL),
      hWnd(hWnd),
      hConnection(NULL) {}

// Closes the request, the connection and the session (each only if set), then frees the reply
// buffer. The data connection is never released. A buffer that an operation still in progress may
// be reading into goes to its ticket instead.
HTTPHandler::~HTTPHandler() {
  HINTERNET request, connect, internet;
  BYTE* buffer;
  {
    std::lock_guard<std::mutex> lock(g_requestLock);
    request = hRequest;
    connect = hConnect;
    internet = hInternet;
    buffer = responseBuffer;
    hRequest = hConnect = hInternet = NULL;
    responseBuffer = NULL;
    for (HTTPRequestTicket* ticket = g_requests; ticket != NULL; ticket = ticket->next) {
      if (ticket->handler != this) continue;
      ticket->handler = NULL;
      ticket->orphanBuffer = buffer;
      buffer = NULL;
    }
  }
  // Closing ends a call blocked on these handles in another thread.
  if (request != NULL) InternetCloseHandle(request);
  if (connect != NULL) InternetCloseHandle(connect);
  if (internet != NULL) InternetCloseHandle(internet);
  free(buffer);
}

// openInternet: the session with the user agent and the preconfigured access, then
// the reply buffer.
int HTTPHandler::openInternet() {
  HTTPRequestTicket ticket;
  EnterRequest(&ticket, this);
  int result = HTTP_OK;
  HINTERNET internet = InternetOpenW(kUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, NULL, NULL, 0);
  if (internet == NULL || !KeepHandle(&ticket, &HTTPHandler::hInternet, internet)) {
    result = HTTP_ERROR_OPEN;
  } else {
    BYTE* buffer = (BYTE*)malloc(HTTP_RESPONSE_BUFFER_SIZE);
    std::lock_guard<std::mutex> lock(g_requestLock);
    if (ticket.handler != NULL) {
      ticket.handler->responseBuffer = buffer;
    } else {
      ticket.orphanBuffer = buffer;  // destroyed meanwhile: freed when the ticket leaves
    }
    if (buffer == NULL) result = HTTP_ERROR_ALLOCATE;
  }
  LeaveRequest(&ticket);
  return result;
}

int HTTPHandler::getURL(const char* url) {
  return request(url, "GET", kGetAcceptTypes, kGetContext, NULL, 0, FALSE);
}

int HTTPHandler::postData(const char* url, const void* body, DWORD length) {
  return request(url, "POST", kPostAcceptTypes, kPostContext, body, length, TRUE);
}

// In order: status of an existing connection, map the URL to a destination network, establish
// synchronously within 10 s.
bool HTTPHandler::setupConnection(const char* url, HTTPRequestTicket* ticket) {
  HANDLE existing;
  {
    std::lock_guard<std::mutex> lock(g_requestLock);
    if (ticket->handler == NULL) return false;
    existing = ticket->handler->hConnection;
  }
  if (existing != NULL) {
    DWORD status = 0;
    if (FAILED(ConnMgrConnectionStatus(existing, &status))) return false;
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

  // The connection request: synchronous, to the destination network the URL maps to.
  CONNMGR_CONNECTIONINFO info;
  memset(&info, 0, sizeof info);
  info.cbSize = sizeof info;  // 64 bytes on the phone
  info.dwParams = CONNMGR_PARAM_GUIDDESTNET;
  info.dwFlags = CONNMGR_FLAG_PROXY_HTTP;
  info.dwPriority = CONNMGR_PRIORITY_USERINTERACTIVE;
  info.bExclusive = FALSE;
  info.bDisabled = FALSE;
  info.guidDestNet = network;

  HANDLE connection = NULL;  // a local: the handler may be destroyed during the wait
  DWORD status = 0;
  HRESULT established =
      ConnMgrEstablishConnectionSync(&info, &connection, HTTP_CONNECTION_TIMEOUT_MS, &status);
  if (FAILED(established) || status != CONNMGR_STATUS_CONNECTED) {
    WriteLog("HTTPHandler::setupConnection: Couldn't establish the connection!\r\n");
    return false;
  }
  std::lock_guard<std::mutex> lock(g_requestLock);
  if (ticket->handler == NULL) return false;
  ticket->handler->hConnection = connection;
  return true;
}

// getURL, with postData's differences chosen by the arguments. Every failure returns its code at
// the first failing step; nothing is retried; the handles opened so far are closed by the
// destructor. A step during which the handler was destroyed fails.
int HTTPHandler::request(const char* url, const char* verb, LPCSTR* acceptTypes,
                         DWORD_PTR context, const void* body, DWORD length, BOOL postReply) {
  HTTPRequestTicket ticket;
  EnterRequest(&ticket, this);
  HINTERNET internet;
  BYTE* buffer;
  HWND window;
  {
    std::lock_guard<std::mutex> lock(g_requestLock);
    internet = hInternet;
    buffer = responseBuffer;
    window = hWnd;
  }
  int result = HTTP_OK;
  char host[kHostNameSize];
  char path[kUrlPathSize];
  URL_COMPONENTSA parts;
  HINTERNET connect = NULL;
  HINTERNET requestHandle = NULL;
  DWORD statusCode = 0;
  DWORD statusSize = sizeof statusCode;
  DWORD read = 0;
  BOOL readOk;

  // An Internet handle and a data connection.
  if (internet == NULL || !setupConnection(url, &ticket)) {
    result = HTTP_ERROR_NO_CONNECTION;
    goto done;
  }

  // Host (at most 256 bytes), port and path with its query (at most 512 bytes).
  memset(&parts, 0, sizeof parts);
  parts.dwStructSize = sizeof parts;
  parts.lpszHostName = host;
  parts.dwHostNameLength = kHostNameSize;
  parts.lpszUrlPath = path;
  parts.dwUrlPathLength = kUrlPathSize;
  if (!InternetCrackUrlA(url, (DWORD)strlen(url), 0, &parts)) {
    result = HTTP_ERROR_CRACK_URL;
    goto done;
  }

  connect = InternetConnectA(internet, host, parts.nPort, NULL, NULL, INTERNET_SERVICE_HTTP, 0,
                             kConnectContext);
  if (connect == NULL || !KeepHandle(&ticket, &HTTPHandler::hConnect, connect)) {
    result = HTTP_ERROR_CONNECT;
    goto done;
  }

  // Default HTTP version, no referrer.
  requestHandle = HttpOpenRequestA(connect, verb, path, NULL, NULL, acceptTypes, 0, context);
  if (requestHandle == NULL || !KeepHandle(&ticket, &HTTPHandler::hRequest, requestHandle)) {
    result = HTTP_ERROR_OPEN_REQUEST;
    goto done;
  }

  // No added headers; the platform adds the content length of a body.
  if (!HttpSendRequestA(requestHandle, NULL, 0, (LPVOID)body, length)) {
    DWORD error = GetLastError();  // fetched but unused: the result is 6 whatever it is
    (void)error;
    result = HTTP_ERROR_SEND;
    goto done;
  }
  if (!Alive(&ticket)) {  // destroyed while the request was being sent
    result = HTTP_ERROR_SEND;
    goto done;
  }

  // The status code as a number; anything but 200 leaves the body unread.
  if (!HttpQueryInfoW(requestHandle, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER,
                      &statusCode, &statusSize, NULL) ||
      statusCode != 200) {
    result = HTTP_ERROR_STATUS;
    goto done;
  }

  // bytesRead to 0, then one read of at most 100000 bytes: no loop, no terminating
  // zero. The count goes to a local first, since the handler may be destroyed meanwhile.
  {
    std::lock_guard<std::mutex> lock(g_requestLock);
    if (ticket.handler == NULL) {
      result = HTTP_ERROR_READ;
      goto done;
    }
    ticket.handler->bytesRead = 0;
  }
  readOk = InternetReadFile(requestHandle, buffer, HTTP_RESPONSE_BUFFER_SIZE, &read);
  {
    std::lock_guard<std::mutex> lock(g_requestLock);
    if (ticket.handler == NULL) {
      result = HTTP_ERROR_READ;
    } else {
      ticket.handler->bytesRead = read;
      if (!readOk) {
        result = HTTP_ERROR_READ;
      } else if (postReply) {
        // The completion of a POST reaches the UI thread only through this message, posted
        // while the handler is known to be alive.
        PostMessageW(window, WM_USER, 0, 0);
      }
    }
  }

done:
  LeaveRequest(&ticket);
  return result;
}
