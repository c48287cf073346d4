#include "device/Trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <sstream>

namespace device {
namespace {

struct TraceState {
  std::mutex mutex;
  bool all = false;
  bool echo = true;  // print to standard error (off for channels a test turned on)
  std::vector<std::string> channels;
  std::vector<std::string> lines;

  TraceState() {
    if (const char* env = std::getenv("MELODEX_TRACE")) parse(env);
  }
  void parse(const std::string& spec) {
    std::stringstream in(spec);
    std::string item;
    while (std::getline(in, item, ',')) {
      if (item == "all") all = true;
      else if (!item.empty()) channels.push_back(item);
    }
  }
};

TraceState& state() {
  static TraceState* s = new TraceState();  // never destroyed: threads may trace after main
  return *s;
}

}  // namespace

bool Trace::enabled(const char* channel) {
  TraceState& s = state();
  std::lock_guard<std::mutex> lk(s.mutex);
  if (s.all) return true;
  for (const std::string& c : s.channels)
    if (c == channel) return true;
  return false;
}

void Trace::line(const char* channel, const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof text, format, args);
  va_end(args);
  std::string line = std::string(channel) + ": " + text;
  TraceState& s = state();
  std::lock_guard<std::mutex> lk(s.mutex);
  s.lines.push_back(line);
  if (s.echo) fprintf(stderr, "%s\n", line.c_str());
}

std::vector<std::string> Trace::lines() {
  TraceState& s = state();
  std::lock_guard<std::mutex> lk(s.mutex);
  return s.lines;
}

void Trace::enableForTests(const std::string& channels) {
  TraceState& s = state();
  std::lock_guard<std::mutex> lk(s.mutex);
  s.echo = std::getenv("MELODEX_TRACE") != nullptr;
  s.parse(channels);
}

void Trace::clearForTests() {
  TraceState& s = state();
  std::lock_guard<std::mutex> lk(s.mutex);
  s.lines.clear();
}

}  // namespace device
