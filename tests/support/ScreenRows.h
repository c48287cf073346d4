// Driving the client in tests: screen tests as tables of key rows, and the road of one
// identification under the virtual clock, with the worker threads running in real time beside it.
//
// Each row boots the client, reaches the table's screen (a Reach), applies its inputs and checks
// where the program stands: the current screen, the back stack, client-area pixels, a log line,
// anything else in a check of its own. Every row runs as a test of its own, in a process of its
// own, named after the row's sentence ("Back hides the window" -> .../BackHidesTheWindow).
// Inputs: a virtual-key code is a press; Wait(ms) advances the virtual clock; KeyDown/KeyUp send
// one half of a press; KeyUpReturns sends WM_KEYUP straight to the window procedure and expects
// its result; Switch(id) is a SwitchScreen from outside; Do(text, f) is anything else.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "app/AppState.h"
#include "app/Navigation.h"
#include "device/Clock.h"
#include "device/Device.h"
#include "net/NetCheckpoint.h"
#include "screens/AnalyzingScreen.h"
#include "support/ClientHarness.h"
#include "platform/wininet/LoopbackServer.h"
#include "support/HostServers.h"
#include "wininet/internet.h"

namespace melodex_test {

// The name of a key in failure messages.
inline std::string KeyName(UINT vk) {
  switch (vk) {
    case VK_RETURN: return "Return";
    case VK_ESCAPE: return "Back";
    case VK_LEFT: return "Left";
    case VK_UP: return "Up";
    case VK_RIGHT: return "Right";
    case VK_DOWN: return "Down";
    case VK_F1: return "LeftSoft";
    case VK_F2: return "RightSoft";
    default: break;
  }
  if (vk >= '0' && vk <= '9') return std::string(1, static_cast<char>(vk));
  return "vk" + std::to_string(vk);
}

// One step of a row's sequence.
struct Input {
  Input(UINT vk) : text(KeyName(vk)), apply([vk](Client& client) { client.driver.press(vk); }) {}
  Input(std::string what, std::function<void(Client&)> action) : text(std::move(what)), apply(std::move(action)) {}
  std::string text;
  std::function<void(Client&)> apply;
};
using Inputs = std::vector<Input>;

// Anything, then every message due now.
inline Input Do(std::string what, std::function<void(Client&)> action) {
  return Input(std::move(what), [action = std::move(action)](Client& client) {
    action(client);
    client.driver.runPending();
  });
}
inline Input Wait(uint64_t ms) {
  return Input("wait " + std::to_string(ms) + " ms", [ms](Client& client) { client.driver.advance(ms); });
}
inline Input KeyDown(UINT vk) { return Do(KeyName(vk) + " down", [vk](Client& c) { c.driver.keyDown(vk); }); }
inline Input KeyUp(UINT vk) { return Do(KeyName(vk) + " up", [vk](Client& c) { c.driver.keyUp(vk); }); }
inline Input KeyUpReturns(UINT vk, LRESULT expected) {
  return Do(KeyName(vk) + " (returns " + std::to_string(expected) + ")", [vk, expected](Client&) {
    EXPECT_EQ(SendMessageW(g_hWnd, WM_KEYUP, vk, 0), expected) << "WM_KEYUP " << KeyName(vk);
  });
}
inline Input Switch(ScreenId id) { return Do("switch to " + std::to_string(id), [id](Client&) { SwitchScreen(id); }); }

// How a table's rows reach their screen from boot, and the screen they must be on by then.
struct Reach {
  Inputs keys;
  ScreenId screen;
};
inline const Reach kAtSplash = {{}, SCREEN_SPLASH};
inline const Reach kAtMainMenu = {{VK_RETURN}, SCREEN_MAIN_MENU};

// A back stack, bottom entry first.
using Stack = std::vector<ScreenId>;

struct ScreenRow {
  std::string name;                           // the behaviour, as a sentence
  Inputs keys = {};                           // after the table's Reach
  ScreenId screen = SCREEN_NONE;              // the current screen afterwards
  std::optional<Stack> backStack = {};        // the back stack afterwards, when given
  std::function<void(Client&)> check = {};    // anything else
  std::string profile = "qvga";               // the screen profile to boot with
};

inline std::string Describe(const Inputs& keys) {
  std::string text;
  for (const Input& input : keys) text += (text.empty() ? "" : ", ") + input.text;
  return text.empty() ? "(no keys)" : text;
}

inline void PrintTo(const ScreenRow& row, std::ostream* out) { *out << '"' << row.name << "\": " << Describe(row.keys); }

// "Back hides the window" -> "BackHidesTheWindow", the row's test name.
inline std::string RowName(const testing::TestParamInfo<ScreenRow>& info) {
  std::string name;
  bool startWord = true;
  for (char c : info.param.name) {
    if (c == '\'') continue;  // "splash's" -> "Splashs"
    if (!std::isalnum(static_cast<unsigned char>(c))) {
      startWord = true;
      continue;
    }
    name += startWord ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
    startWord = false;
  }
  return name;
}

inline Stack BackStack() { return Stack(g_backStack, g_backStack + (g_backStackTop + 1)); }

// Runs the row on a client the caller made (one whose identification threads are counted, say).
inline void RunScreenRowOn(Client& client, const Reach& reach, const ScreenRow& row) {
  ASSERT_TRUE(client.boot());
  for (const Input& input : reach.keys) input.apply(client);
  ASSERT_EQ(g_nCurrentScreen, reach.screen) << "reaching the screen by " << Describe(reach.keys);
  for (const Input& input : row.keys) input.apply(client);
  SCOPED_TRACE(row.name + " after " + Describe(row.keys));
  EXPECT_EQ(g_nCurrentScreen, row.screen);
  if (row.backStack) {
    EXPECT_EQ(BackStack(), *row.backStack) << "back stack, bottom first";
  }
  if (row.check) row.check(client);
}

inline void RunScreenRow(const Reach& reach, const ScreenRow& row) {
  Client client(MakeConfig(row.profile));
  RunScreenRowOn(client, reach, row);
}

// ---- The road of one identification ----
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
  return PollUntil([&] { return client.countTrace(text) >= count; }, realMs);
}

// Waits (real time) until the device clock's next event is due at `at`: a worker thread has
// begun a wait on the device clock (the connection manager's 10 s, say).
inline bool WaitForClockEvent(uint64_t at) {
  return PollUntil([at] { return device::Clock::nextEventAt() == std::optional<uint64_t>(at); }, 10000);
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

// Waits (real time) until every identification thread that started has ended.
inline void ExpectIdentificationsEnded() {
  IdentifyThreads& t = Threads();
  std::unique_lock<std::mutex> lock(t.mutex);
  EXPECT_TRUE(t.changed.wait_for(lock, std::chrono::seconds(20), [&t] { return t.ended == t.started; }))
      << "identification threads still running";
}

// Ends every identification still running and waits for its thread, so that nothing of it is
// left when the test process ends. A recording still running ends first: its end starts an
// identification, which the cancel must come after; the 10 s that follow run out a
// connection-manager wait and give the thread time to reach its first checkpoint. Under the
// real clock (a test that records from the host) time is not the test's to move: only the
// cancel and the wait remain.
inline void EndIdentifications(Client& client) {
  const bool isVirtual = device::Clock::isVirtual();
  if (isVirtual) client.driver.advance(11000);
  if (g_screens[SCREEN_ANALYZING] != nullptr) ((AnalyzingScreen*)g_screens[SCREEN_ANALYZING])->cancelIdentification();
  if (isVirtual) client.driver.advance(10000);
  ExpectIdentificationsEnded();
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

// The get-ready pause and the whole recording, up to the analyzing screen's activation (its
// sound). A reply the identification thread posts meanwhile may already have moved the road on:
// a request that fails at once, or a quick answer, arrives within the same advance.
inline void RecordUntilAnalyzing(Client& client) {
  size_t analyzed = client.countTrace("PlaySoundW #160");
  StartRecording(client);
  client.driver.advance(11000);
  ASSERT_EQ(client.countTrace("PlaySoundW #160"), analyzed + 1) << "the analyzing screen was not shown";
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

// Defines the parameterized suite `Suite` whose tests are the rows (an array or vector of
// ScreenRow), each reaching its screen by `reach` first.
#define MELODEX_SCREEN_ROWS(Suite, reach, rows)                                           \
  class Suite : public testing::TestWithParam<melodex_test::ScreenRow> {};              \
  TEST_P(Suite, Keys) { melodex_test::RunScreenRow(reach, GetParam()); }                \
  INSTANTIATE_TEST_SUITE_P(Rows, Suite, testing::ValuesIn(rows), melodex_test::RowName)
