#include "AccessLog.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cmath>
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

std::string dump(const nlohmann::ordered_json& value) {
    return value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

} // namespace

std::string AccessLog::line(const AccessRecord& r, const std::string& time) {
    nlohmann::ordered_json j;
    j["time"] = time;
    j["remote"] = r.remote;
    j["method"] = r.method;
    j["target"] = r.target;
    j["status"] = r.status;
    j["bytes_in"] = r.bytesIn;
    j["bytes_out"] = r.bytesOut;
    j["ms"] = std::round(r.milliseconds * 10.0) / 10.0;
    j["agent"] = r.agent;
    j["note"] = r.note;
    return dump(j);
}

void AccessLog::write(const AccessRecord& r) {
    if (out_ != nullptr)
        print(line(r, timestamp()));
}

void AccessLog::event(const std::string& what) {
    if (out_ == nullptr)
        return;
    nlohmann::ordered_json j;
    j["time"] = timestamp();
    j["event"] = what;
    print(dump(j));
}

void AccessLog::print(const std::string& text) {
    std::lock_guard lock(mutex_);
    std::fprintf(out_, "%s\n", text.c_str());
    std::fflush(out_);
}

} // namespace melodex::http
