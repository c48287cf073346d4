#include "device/Clock.h"

#include <atomic>
#include <chrono>
#include <map>
#include <thread>

namespace device {
namespace {

struct Event {
  uint64_t at;
  std::function<void()> fn;
};

// Events keyed by (time, sequence) so that equal times run in scheduling order.
using EventKey = std::pair<uint64_t, Clock::EventId>;

struct ClockState {
  std::mutex mutex;
  std::condition_variable changed;  // a new event, a cancel, or time moved
  std::map<EventKey, std::function<void()>> events;
  std::map<Clock::EventId, uint64_t> timeOf;
  Clock::EventId nextId = 1;
  std::atomic<bool> isVirtual{false};
  std::atomic<uint64_t> virtualNow{0};
  std::chrono::steady_clock::time_point boot = std::chrono::steady_clock::now();
  bool schedulerStarted = false;
};

ClockState& state() {
  static ClockState* s = new ClockState();  // never destroyed: threads may outlive main
  return *s;
}

// Pops the earliest event due at or before `limit`, if any (mutex held).
bool PopDue(ClockState& s, uint64_t limit, std::function<void()>* fn, uint64_t* at) {
  if (s.events.empty() || s.events.begin()->first.first > limit) return false;
  auto it = s.events.begin();
  *at = it->first.first;
  *fn = std::move(it->second);
  s.timeOf.erase(it->first.second);
  s.events.erase(it);
  return true;
}

// The real clock's scheduler thread: runs each event when its time comes.
void SchedulerLoop() {
  ClockState& s = state();
  std::unique_lock<std::mutex> lk(s.mutex);
  for (;;) {
    if (s.events.empty()) {
      s.changed.wait(lk);
      continue;
    }
    uint64_t due = s.events.begin()->first.first;
    uint64_t now = Clock::now();
    if (due > now) {
      s.changed.wait_for(lk, std::chrono::milliseconds(due - now));
      continue;
    }
    std::function<void()> fn;
    uint64_t at = 0;
    PopDue(s, now, &fn, &at);
    lk.unlock();
    fn();
    lk.lock();
  }
}

}  // namespace

void Clock::useVirtual(bool isVirtual) { state().isVirtual = isVirtual; }

bool Clock::isVirtual() { return state().isVirtual; }

uint64_t Clock::now() {
  ClockState& s = state();
  if (s.isVirtual) return s.virtualNow;
  auto elapsed = std::chrono::steady_clock::now() - s.boot;
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

Clock::EventId Clock::schedule(uint64_t atMs, std::function<void()> fn) {
  ClockState& s = state();
  std::lock_guard<std::mutex> lk(s.mutex);
  EventId id = s.nextId++;
  s.events.emplace(EventKey{atMs, id}, std::move(fn));
  s.timeOf[id] = atMs;
  if (!s.isVirtual && !s.schedulerStarted) {
    s.schedulerStarted = true;
    std::thread(SchedulerLoop).detach();
  }
  s.changed.notify_all();
  return id;
}

bool Clock::cancel(EventId id) {
  ClockState& s = state();
  std::lock_guard<std::mutex> lk(s.mutex);
  auto it = s.timeOf.find(id);
  if (it == s.timeOf.end()) return false;
  s.events.erase(EventKey{it->second, id});
  s.timeOf.erase(it);
  s.changed.notify_all();
  return true;
}

std::optional<uint64_t> Clock::nextEventAt() {
  ClockState& s = state();
  std::lock_guard<std::mutex> lk(s.mutex);
  if (s.events.empty()) return std::nullopt;
  return s.events.begin()->first.first;
}

void Clock::advanceTo(uint64_t toMs) {
  ClockState& s = state();
  for (;;) {
    std::function<void()> fn;
    uint64_t at = 0;
    {
      std::lock_guard<std::mutex> lk(s.mutex);
      if (!PopDue(s, toMs, &fn, &at)) break;
      if (at > s.virtualNow) s.virtualNow = at;
    }
    fn();
  }
  std::lock_guard<std::mutex> lk(s.mutex);
  if (toMs > s.virtualNow) s.virtualNow = toMs;
  s.changed.notify_all();
}

bool Clock::waitUntil(std::unique_lock<std::mutex>& lk, std::condition_variable& cv,
                      uint64_t deadlineMs, const std::function<bool()>& pred) {
  if (pred()) return true;
  // The deadline is an event like any other, so the virtual clock ends the wait when a test
  // advances past it and the real clock when the scheduler thread reaches it.
  auto timedOut = std::make_shared<std::atomic<bool>>(false);
  std::mutex* waitMutex = lk.mutex();
  EventId id = schedule(deadlineMs, [timedOut, waitMutex, &cv] {
    std::lock_guard<std::mutex> g(*waitMutex);
    *timedOut = true;
    cv.notify_all();
  });
  cv.wait(lk, [&] { return pred() || *timedOut; });
  bool ok = pred();
  if (!*timedOut) {
    lk.unlock();
    bool cancelled = cancel(id);
    lk.lock();
    // The deadline event was already running: let it finish with cv before we return.
    if (!cancelled) cv.wait(lk, [&] { return timedOut->load(); });
  }
  return ok;
}

void Clock::resetForTests() {
  ClockState& s = state();
  std::lock_guard<std::mutex> lk(s.mutex);
  s.events.clear();
  s.timeOf.clear();
  s.virtualNow = 0;
}

}  // namespace device
