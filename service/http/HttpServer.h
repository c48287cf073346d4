// An event-driven HTTP/1.1 server (Boost.Beast on one I/O thread) with a pool of worker threads
// for the handlers. Slow or idle clients cost a socket and a few kilobytes, never a thread:
// every request has one deadline for its headers and body together, headers are bounded in size
// and count, and each client address may hold only so many connections at once. stop() stops
// accepting and answers every request already accepted (also those still in the listen queue)
// before run() returns.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace melodex::http {

struct HttpLimits {
    double requestSeconds = 60.0;     // from the first byte of a request to its last: a phone on
                                      // GPRS sends its 180 KB in well under a minute
    double idleSeconds = 15.0;        // a kept-alive connection waiting for its next request
    double writeSeconds = 60.0;       // to send one response
    double stopGraceSeconds = 1.0;    // at stop, a connection that has sent nothing yet
    size_t headerBytes = 16 * 1024;   // request line and header fields together
    size_t headerFields = 64;
    size_t bodyBytes = 8u * 1024 * 1024;
    size_t connectionsPerAddress = 32;
    size_t connections = 2048;
};

struct HttpRequest {
    std::string remote;        // the client's address
    std::string method;
    std::string target;        // as sent: path and query
    std::string path;          // the target's path, percent-decoding left to the handler
    std::multimap<std::string, std::string> fields;  // header fields, names in lower case
    std::string body;

    std::string field(const std::string& lowerCaseName) const;
    // The query's parameters, percent-decoded ('+' is a blank); the first of each name.
    std::map<std::string, std::string> query() const;
};

struct HttpResponse {
    int status = 200;
    std::string contentType = "text/plain";
    std::string body;
    std::vector<std::pair<std::string, std::string>> fields;  // extra header fields
    std::string note;  // for the access log: what was answered, or why a request was refused
};

// What the access log hears of each exchange, also of requests refused before a handler ran.
struct HttpExchange {
    const HttpRequest* request = nullptr;  // null when not even the request line was read
    std::string remote;
    const HttpResponse* response = nullptr;
    size_t bytesIn = 0;
    double milliseconds = 0.0;
};

class HttpServer {
public:
    // Runs on a worker thread; may block (identification takes milliseconds of CPU).
    using Handler = std::function<void(const HttpRequest&, HttpResponse&)>;
    using Logger = std::function<void(const HttpExchange&)>;

    HttpServer(HttpLimits limits, unsigned workers, Handler handler, Logger logger);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Binds and listens (port 0: any free port). False with a reason when it cannot.
    bool listen(const std::string& host, int port, int backlog, std::string& error);
    int port() const;

    // Serves until stop() and until every accepted request is answered.
    void run();
    // Safe from any thread and before run(): the stop takes effect once run() starts.
    void stop();
    bool running() const;

    // Connections open now (tests and the bench's reports).
    size_t connections() const;

private:
    struct State;
    class Session;
    std::unique_ptr<State> state_;
};

} // namespace melodex::http
