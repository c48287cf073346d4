// The HTTP transport: one HTTP exchange (a GET of the album art or the POST of the recording)
// through WinInet, after the connection manager has brought up a data connection.
#pragma once

#include <windows.h>

#include <wininet.h>

#include <mutex>

// The size of the one reply buffer; a longer body is cut here.
#define HTTP_RESPONSE_BUFFER_SIZE 100000
// The connection manager waits at most this long for a data connection.
#define HTTP_CONNECTION_TIMEOUT_MS 10000

// Result codes of openInternet, getURL and postData.
enum {
  HTTP_OK = 0,
  HTTP_ERROR_NO_CONNECTION = 1,  // no Internet handle, or no data connection was obtained
  HTTP_ERROR_OPEN = 2,           // InternetOpenW failed
  HTTP_ERROR_CRACK_URL = 3,      // splitting the URL into host, port and path failed
  HTTP_ERROR_CONNECT = 4,        // InternetConnectA failed
  HTTP_ERROR_OPEN_REQUEST = 5,   // HttpOpenRequestA failed
  HTTP_ERROR_SEND = 6,           // HttpSendRequestA failed
  HTTP_ERROR_STATUS = 7,         // reading the status code failed, or it was not 200
  HTTP_ERROR_ALLOCATE = 8,       // allocating the reply buffer failed
  HTTP_ERROR_READ = 9,           // InternetReadFile failed
};

// A new handler is made for every request: constructor, openInternet, then getURL or postData
// once, read responseBuffer and bytesRead, destroy.
//
// The identification request is used by two threads: the identification thread runs it, and
// the analyzing screen, on the user-interface thread, keeps it as its current handler and may
// destroy it at any moment (cancel, time-out) while the request is blocked. So a handler has
// holders: its creator, and whoever it is shared with. The first destroy closes the Internet
// handles, which ends a blocked call; the memory goes with the last holder, so the thread
// still inside the handler never touches freed memory. A lock of the handler's own makes the
// closing and the storing of a newly obtained handle one step each: a handle obtained after
// the closing is closed at once instead of being kept, and a reply read after it is not
// announced.
class HTTPHandler {
 public:
  // One holder: the creator.
  explicit HTTPHandler(HWND hWnd);

  // InternetOpenW with the user agent, and the reply buffer: 0, 2 or 8.
  int openInternet();
  // GET of an 8-bit URL into responseBuffer; never posts a message. 0 or 1, 3 to 7, 9.
  int getURL(const char* url);
  // POST of `length` body bytes to an 8-bit URL; on success posts WM_USER (0, 0) to hWnd after
  // the reply has been read. 0 or 1, 3 to 7, 9.
  int postData(const char* url, const void* body, DWORD length);

  // Another thread that goes on using the handler becomes a holder too.
  void share();
  // One holder is done with the handler. The first call closes the Internet handles (the
  // request, the connection, the session); the last frees the handler and its reply buffer,
  // so a handler with a single holder is gone when this returns.
  void destroy();

  // The caller may read responseBuffer and bytesRead (and hand the buffer pointer on) until
  // it destroys the handler.
  BYTE* responseBuffer;  // HTTP_RESPONSE_BUFFER_SIZE bytes; null until openInternet
  DWORD bytesRead;       // body bytes the one read returned; 0 until then
  HINTERNET hInternet;   // InternetOpenW
  HINTERNET hConnect;    // InternetConnectA
  HINTERNET hRequest;    // HttpOpenRequestA
  HWND hWnd;             // the main window; receives the completion message of a POST
  HANDLE hConnection;    // the connection manager's data connection; null until set up

 private:
  ~HTTPHandler();                              // only through destroy
  HTTPHandler(const HTTPHandler&);             // not copied: it owns handles and the buffer
  HTTPHandler& operator=(const HTTPHandler&);

  // The request shared by getURL and postData, which differ in the verb, the accepted types,
  // the context, the body and the completion message.
  int request(const char* url, const char* verb, LPCSTR* acceptTypes, DWORD_PTR context,
              const void* body, DWORD length, BOOL postReply);
  // True when a data connection that can reach the URL's host is available.
  bool setupConnection(const char* url);
  // Stores a handle just obtained into its field; once the handles have been closed, closes
  // it instead and returns FALSE.
  BOOL keepHandle(HINTERNET* field, HINTERNET handle);
  // Posts WM_USER unless the handles have been closed meanwhile; FALSE when not posted.
  BOOL announceReply();

  std::mutex guard;  // holders, closed and the three handle fields, between threads
  LONG holders;
  BOOL closed;       // the Internet handles have been closed by the first destroy
};
