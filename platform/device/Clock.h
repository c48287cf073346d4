// The one clock of the emulated phone. Every time in the platform — timers, GetTickCount, the
// microphone's 11.0 s, the connection manager's 10 s — is read here. Under the real clock time
// passes by itself; under the virtual clock it moves only when the test driver or the headless
// runner advances it, so long waits cost nothing and are exact.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

namespace device {

class Clock {
 public:
  using EventId = uint64_t;

  // Chooses the virtual clock (true) or the real one; called once at start, before threads.
  static void useVirtual(bool isVirtual);
  static bool isVirtual();

  // Milliseconds since the device booted.
  static uint64_t now();

  // Runs fn (on a platform thread, or inside advanceTo for the virtual clock) once the clock
  // reaches atMs. Events due at the same time run in the order they were scheduled.
  static EventId schedule(uint64_t atMs, std::function<void()> fn);
  // Cancels a scheduled event; false when it already ran or never existed.
  static bool cancel(EventId id);

  // The virtual clock's next scheduled event, if any.
  static std::optional<uint64_t> nextEventAt();
  // Virtual clock only: moves time forward to `toMs`, stopping at each scheduled event on the
  // way (time equals the event's time while it runs). Never moves time backwards.
  static void advanceTo(uint64_t toMs);

  // Waits on cv (lk held) until pred() holds or the clock reaches deadlineMs; returns pred().
  // Works for both clocks: under the virtual one the deadline passes when time is advanced.
  static bool waitUntil(std::unique_lock<std::mutex>& lk, std::condition_variable& cv,
                        uint64_t deadlineMs, const std::function<bool()>& pred);

  // Drops every scheduled event and sets virtual time to 0 (tests only).
  static void resetForTests();
};

}  // namespace device
