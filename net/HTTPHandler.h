// The HTTP transport: one HTTP exchange (a GET of the album art or the POST of the
// recording) through WinInet, after the connection manager has brought up a data connection.
#pragma once

#include <windows.h>

#include <wininet.h>

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

struct HTTPRequestTicket;  // HTTPHandler.cpp: the guard of one request in progress

// A new handler is made for every request and destroyed when its caller no longer needs the reply:
// constructor, openInternet, then getURL or postData once, read responseBuffer and bytesRead,
// destroy. The UI thread may destroy the handler while a worker is blocked in postData (the
// analyzing screen's cancel and time-out): the destructor's closing of the Internet handles ends
// the blocked call, and the worker then touches nothing of the handler.
class HTTPHandler {
 public:
  explicit HTTPHandler(HWND hWnd);
  ~HTTPHandler();

  // InternetOpenW with the user agent and the reply buffer: 0, 2 or 8.
  int openInternet();
  // GET of an 8-bit URL into responseBuffer; never posts a message. 0 or 1, 3 to 7, 9.
  int getURL(const char* url);
  // POST of `length` body bytes to an 8-bit URL; on success posts WM_USER (0, 0) to hWnd after
  // the reply has been read. 0 or 1, 3 to 7, 9.
  int postData(const char* url, const void* body, DWORD length);

  // The caller may read responseBuffer and bytesRead (and hand the buffer pointer on) until the
  // handler is destroyed.
  BYTE* responseBuffer;  // HTTP_RESPONSE_BUFFER_SIZE bytes; null until openInternet
  DWORD bytesRead;       // body bytes the one read returned; 0 until then
  HINTERNET hInternet;   // InternetOpenW
  HINTERNET hConnect;    // InternetConnectA
  HINTERNET hRequest;    // HttpOpenRequestA
  HWND hWnd;             // the main window; receives the completion message of a POST
  HANDLE hConnection;    // the connection manager's data connection; null until set up

 private:
  HTTPHandler(const HTTPHandler&);             // not copied: it owns handles and the buffer
  HTTPHandler& operator=(const HTTPHandler&);

  // The request shared by getURL and postData, which differ only in the verb, the accepted
  // types, the context, the body and the completion message.
  int request(const char* url, const char* verb, LPCSTR* acceptTypes, DWORD_PTR context,
              const void* body, DWORD length, BOOL postReply);
  // True when a data connection is available. The ticket is the request's guard, through which it
  // reads and stores hConnection.
  bool setupConnection(const char* url, HTTPRequestTicket* ticket);
};
