// Driving the client along the road of one identification: from the main menu's ID song!
// through the listening screen's recording to the analyzing screen and what follows, under the
// virtual clock, with the worker threads running in real time beside it.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "app/AppState.h"
#include "device/Device.h"
#include "net/NetCheckpoint.h"
#include "screens/AnalyzingScreen.h"
#include "support/ClientHarness.h"
#include "wininet/internet.h"

namespace melodex_test {

// Runs the client's messages until `done` holds, for at most realMs of real time (worker
// threads post their reports meanwhile). False when it did not come to hold.
inline bool RunUntil(Client& client, const std::function<bool()>& done, int realMs = 10000) {
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(realMs);
  client.driver.runPending();
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    client.driver.waitForPosted(20);
  }
  return true;
}

// Waits (real time) until the trace holds `count` lines containing `text`.
inline bool WaitForTrace(Client& client, const std::string& text, size_t count = 1, int realMs = 10000) {
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(realMs);
  while (client.countTrace(text) < count) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// The identification threads of the process, counted at their first and last checkpoints;
// every checkpoint is passed on to `next` (a test that holds a thread at one of them).
struct IdentifyThreads {
  std::mutex mutex;
  std::condition_variable changed;
  int started = 0;
  int ended = 0;
  NetCheckpointHook next = nullptr;
};
inline IdentifyThreads& Threads() {
  static IdentifyThreads* threads = new IdentifyThreads();  // outlives every thread
  return *threads;
}
inline void CountCheckpoint(int point) {
  IdentifyThreads& t = Threads();
  if (point == CHECKPOINT_THREAD_STARTED) {
    std::lock_guard<std::mutex> lock(t.mutex);
    t.started++;
  }
  if (t.next != nullptr) t.next(point);
  if (point == CHECKPOINT_THREAD_ENDING) {
    std::lock_guard<std::mutex> lock(t.mutex);
    t.ended++;
    t.changed.notify_all();
  }
}

// Ends every identification still running and waits for its thread, so that nothing of it is
// left when the test process ends: the request in flight is cancelled (its handles closed), a
// connection-manager wait runs out on the virtual clock.
inline void EndIdentifications(Client& client) {
  if (g_screens[SCREEN_ANALYZING] != nullptr) ((AnalyzingScreen*)g_screens[SCREEN_ANALYZING])->cancelIdentification();
  client.driver.advance(10000);
  IdentifyThreads& t = Threads();
  std::unique_lock<std::mutex> lock(t.mutex);
  EXPECT_TRUE(t.changed.wait_for(lock, std::chrono::seconds(20), [&t] { return t.ended == t.started; }))
      << "identification threads still running";
}

// A client whose identification threads are counted and ended with it.
class RoadClient : public Client {
 public:
  explicit RoadClient(const device::TestDriver::Config& config = MakeConfig()) : Client(config) {
    g_netCheckpointHook = CountCheckpoint;
  }
  ~RoadClient() { EndIdentifications(*this); }
};

// Boots and leaves the splash screen for the main menu at virtual time 0.
inline void BootToMainMenu(Client& client) {
  ASSERT_TRUE(client.boot());
  client.driver.press(VK_RETURN);
  ASSERT_EQ(g_nCurrentScreen, SCREEN_MAIN_MENU);
}

// The main menu's first entry, ID song!, highlighted after boot.
inline void ChooseIdSong(Client& client) {
  ASSERT_EQ(g_nCurrentScreen, SCREEN_MAIN_MENU);
  client.driver.press(VK_RETURN);
  ASSERT_EQ(g_nCurrentScreen, SCREEN_LISTENING);
}

// From the listening screen's activation: the get-ready pause, then the recording thread's
// start of the device, waited for so that the device's 11.0 s count from the virtual time the
// timer fired.
inline void StartRecording(Client& client) {
  size_t started = client.countTrace("waveInStart hwi=");
  client.driver.advance(3000);
  ASSERT_TRUE(WaitForTrace(client, "waveInStart hwi=", started + 1));
}

// The get-ready pause and the whole recording: the analyzing screen is current afterwards.
inline void RecordUntilAnalyzing(Client& client) {
  StartRecording(client);
  client.driver.advance(11000);
  ASSERT_EQ(g_nCurrentScreen, SCREEN_ANALYZING);
}

// The phone's network sends the endpoint's host and port (MELODEX_ENDPOINT) to 127.0.0.1:port.
inline void RouteEndpointTo(int port) {
  std::string endpoint = MELODEX_ENDPOINT;
  std::string hostPort = endpoint.substr(7, endpoint.find('/', 7) - 7);
  if (hostPort.find(':') == std::string::npos) hostPort += ":80";
  device::options().netMap.push_back({hostPort, "127.0.0.1:" + std::to_string(port)});
}

// Tests that only need to reach the analyzing screen keep its request away from the network:
// the connection manager then waits its whole 10 s on the virtual clock, which such a test
// never reaches, so no report of a failed request can come in between.
inline void KeepRequestsWaiting() { device::options().netFault = device::Options::NetFault::Timeout; }

// Internet handles still open in the process: the handle table's values start at 0xCC0004
// and are never reused, so the first `span` values cover every handle a test makes.
inline int LiveInternetHandles(int span = 4096) {
  int live = 0;
  for (uintptr_t value = 0xCC0004; value < 0xCC0004 + 4u * static_cast<uintptr_t>(span); value += 4)
    if (wininet::LookupObject(reinterpret_cast<HINTERNET>(value)) != nullptr) live++;
  return live;
}

}  // namespace melodex_test
