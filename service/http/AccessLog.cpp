#include "AccessLog.h"

#include <chrono>
#include <ctime>

namespace melodex::http {
namespace {

std::string timestamp() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(millis));
    return text;
}

} // namespace

std::string AccessLog::jsonEscape(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char code[8];
            std::snprintf(code, sizeof code, "\\u%04x", c);
            out += code;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

void AccessLog::write(const AccessRecord& r) {
    if (out_ == nullptr)
        return;
    std::lock_guard lock(mutex_);
    std::fprintf(out_,
                 "{\"time\":\"%s\",\"remote\":\"%s\",\"method\":\"%s\",\"target\":\"%s\",\"status\":%d,"
                 "\"bytes_in\":%zu,\"bytes_out\":%zu,\"ms\":%.1f,\"agent\":\"%s\",\"note\":\"%s\"}\n",
                 timestamp().c_str(), jsonEscape(r.remote).c_str(), jsonEscape(r.method).c_str(),
                 jsonEscape(r.target).c_str(), r.status, r.bytesIn, r.bytesOut, r.milliseconds,
                 jsonEscape(r.agent).c_str(), jsonEscape(r.note).c_str());
    std::fflush(out_);
}

void AccessLog::event(const std::string& what) {
    if (out_ == nullptr)
        return;
    std::lock_guard lock(mutex_);
    std::fprintf(out_, "{\"time\":\"%s\",\"event\":\"%s\"}\n", timestamp().c_str(), jsonEscape(what).c_str());
    std::fflush(out_);
}

} // namespace melodex::http
