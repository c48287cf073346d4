// Trace channels, one per platform library, like Wine's debug channels.
// MELODEX_TRACE=user32,winmm (or "all") prints one line per call of those channels to
// standard error, e.g. "user32: SetTimer hwnd=1 id=100 ms=3000". Tests read the same lines
// from memory through device::Trace::lines().
#pragma once

#include <string>
#include <vector>

namespace device {

class Trace {
 public:
  // True when the channel (e.g. "user32") is on, through MELODEX_TRACE or enableForTests.
  static bool enabled(const char* channel);
  // Writes "channel: text" (printf-style formatting of text) when the channel is on.
  static void line(const char* channel, const char* format, ...)
      __attribute__((format(printf, 2, 3)));
  // Every line written since start (or since clearForTests), in order.
  static std::vector<std::string> lines();
  // Turns channels on for a test; the lines are recorded but printed only when MELODEX_TRACE
  // asks for them.
  static void enableForTests(const std::string& channels);
  static void clearForTests();
};

}  // namespace device

#define TRACE_CALL(channel, ...)                                               \
  do {                                                                         \
    if (::device::Trace::enabled(channel)) ::device::Trace::line(channel, __VA_ARGS__); \
  } while (0)
