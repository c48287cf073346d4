// One structured line per request (JSON Lines): time, client, request, status, sizes,
// duration and a one-line note (the identification result, or why a request was refused).
// Every line is valid JSON whatever bytes a client sent: strings that are not UTF-8 have
// their bad bytes replaced by U+FFFD.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

namespace melodex::http {

struct AccessRecord {
    std::string remote;
    std::string method;
    std::string target;  // path with its query
    std::string agent;   // User-Agent (the client sends WindowsMobile-Melodex-0.9)
    int status = 0;
    size_t bytesIn = 0;
    size_t bytesOut = 0;
    double milliseconds = 0.0;
    std::string note;
};

class AccessLog {
public:
    explicit AccessLog(FILE* out) : out_(out) {}
    void write(const AccessRecord& record);
    // Service events outside any request (start, stop), in the same format.
    void event(const std::string& what);

    // The line write() would print, without its newline.
    static std::string line(const AccessRecord& record, const std::string& time);

private:
    void print(const std::string& line);

    FILE* out_;
    std::mutex mutex_;
};

} // namespace melodex::http
