// A cancel or the time-out at every point of the identification thread, held there by the
// NetCheckpoint hook or blocked in the connection manager or a send: the thread touches no freed
// handler, leaves no Internet handle open and announces no reply; after Back no error screen
// appears, after the time-out error screen 10 appears once.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>

#include "app/AppState.h"
#include "app/Navigation.h"
#include "device/Clock.h"
#include "device/Device.h"
#include "net/NetCheckpoint.h"
#include "platform/wininet/LoopbackServer.h"
#include "screens/AnalyzingScreen.h"
#include "support/ScreenRows.h"

using namespace melodex_test;
using testing_net::LoopbackServer;

namespace {

// Holds identification threads at one checkpoint until released, and counts their ends.
class Gate {
 public:
  void hold(int point, DWORD uiThread) {
    std::lock_guard<std::mutex> lock(mutex_);
    point_ = point;
    uiThread_ = uiThread;
  }
  // The hook, on whatever thread passes a checkpoint (the album art is fetched on the
  // user-interface thread, which is never held).
  void pass(int point) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (point == CHECKPOINT_THREAD_ENDING) ended_++;
    if (point != point_ || GetCurrentThreadId() == uiThread_ || held_) {
      cv_.notify_all();
      return;
    }
    held_ = true;
    cv_.notify_all();
    cv_.wait(lock, [this] { return released_; });
  }
  bool waitHeld() { return waitFor([this] { return held_; }); }
  bool waitEnded(int count) { return waitFor([this, count] { return ended_ >= count; }); }
  void release() {
    std::lock_guard<std::mutex> lock(mutex_);
    released_ = true;
    cv_.notify_all();
  }

 private:
  template <typename Pred>
  bool waitFor(Pred pred) {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_for(lock, std::chrono::seconds(10), pred);
  }
  std::mutex mutex_;
  std::condition_variable cv_;
  int point_ = -1;
  DWORD uiThread_ = 0;
  bool held_ = false;
  bool released_ = false;
  int ended_ = 0;
};

Gate g_gate;
void PassCheckpoint(int point) { g_gate.pass(point); }

// Where the identification thread is when the user-interface thread acts.
enum Where { HELD, BLOCKED_IN_CONNECTION, BLOCKED_IN_SEND };
// What the server does: nothing reaches it, it answers 200, 500, or never.
enum Server { UNUSED, ANSWERS, FAILS, SILENT };

struct Point {
  const char* name;
  Where where;
  int checkpoint;
  Server server;
};

const Point kPoints[] = {
    {"ThreadStarted", HELD, CHECKPOINT_THREAD_STARTED, UNUSED},
    {"HandlerMade", HELD, CHECKPOINT_HANDLER_MADE, UNUSED},
    {"HandlerKept", HELD, CHECKPOINT_HANDLER_KEPT, UNUSED},
    {"SessionOpened", HELD, CHECKPOINT_SESSION_OPENED, UNUSED},
    {"InternetOpened", HELD, CHECKPOINT_INTERNET_OPENED, UNUSED},
    {"Posting", HELD, CHECKPOINT_POSTING, UNUSED},
    {"BlockedInTheConnectionManager", BLOCKED_IN_CONNECTION, -1, UNUSED},
    {"Connected", HELD, CHECKPOINT_CONNECTED, UNUSED},
    {"RequestOpened", HELD, CHECKPOINT_REQUEST_OPENED, UNUSED},
    {"BlockedInTheSend", BLOCKED_IN_SEND, -1, SILENT},
    {"ReplyRead", HELD, CHECKPOINT_REPLY_READ, ANSWERS},
    {"PostReturnedFailed", HELD, CHECKPOINT_POST_RETURNED, FAILS},
    {"Reporting", HELD, CHECKPOINT_REPORTING, FAILS},
};

LoopbackServer::Handler ServerFor(Server server) {
  return [server](LoopbackServer& s, int fd, const LoopbackServer::Request&) {
    if (server == SILENT) {
      s.waitUntilStopping(LoopbackServer::kSilentMs);
    } else {
      // A request that should never have been made fails, so a report would show it.
      int status = server == ANSWERS ? 200 : 500;
      s.sendAll(fd, LoopbackServer::Response(status, "X", std::string("S\0abc<ARTIST>A</ARTIST>", 23)));
    }
  };
}

struct Case {
  Point point;
  bool timeOut;  // else Back
};

class CancelAt : public testing::TestWithParam<Case> {};

// Brings the thread to the point: held at its checkpoint, or blocked in a call.
void ReachPoint(Client& client, const Point& point, LoopbackServer& server, uint64_t analyzingSince) {
  if (point.where == HELD) {
    ASSERT_TRUE(g_gate.waitHeld());
  } else if (point.where == BLOCKED_IN_SEND) {
    ASSERT_TRUE(server.waitForRequests(1, 10000));
  } else {
    ASSERT_TRUE(WaitForClockEvent(analyzingSince + 10000));
  }
}

}  // namespace

TEST_P(CancelAt, LeavesNoHandleNoReplyAndOnlyTheTimeOutsError) {
  const Case& c = GetParam();
  LoopbackServer server(ServerFor(c.point.server));
  RouteEndpointTo(server.port());
  if (c.point.where == BLOCKED_IN_CONNECTION) device::options().netFault = device::Options::NetFault::Timeout;
  RoadClient client;
  BootToMainMenu(client);
  g_gate.hold(c.point.checkpoint, GetCurrentThreadId());
  Threads().next = PassCheckpoint;
  ChooseIdSong(client);
  RecordUntilAnalyzing(client);
  ReachPoint(client, c.point, server, client.driver.now());
  if (c.timeOut) {
    client.driver.advance(180000);
    ASSERT_EQ(g_nCurrentScreen, SCREEN_SEND_ERROR);
    client.driver.press(VK_F1);  // OK!: a second error screen would show after this
  } else {
    client.driver.press(VK_ESCAPE);
  }
  ASSERT_EQ(g_nCurrentScreen, SCREEN_MAIN_MENU);
  EXPECT_EQ(((AnalyzingScreen*)g_screens[SCREEN_ANALYZING])->handler, nullptr);
  g_gate.release();
  if (c.point.where == BLOCKED_IN_CONNECTION) client.driver.advance(10000);
  // The thread ends while the server still says nothing: a send blocked on a server that
  // never answers is ended by the closing, not by the server or a time-out of the network's.
  ASSERT_TRUE(g_gate.waitEnded(1));
  client.driver.waitForPosted(200);
  EXPECT_EQ(g_nCurrentScreen, SCREEN_MAIN_MENU);
  EXPECT_EQ(c.timeOut, g_screens[SCREEN_SEND_ERROR] != nullptr);
  EXPECT_EQ(g_screens[SCREEN_RESULTS], nullptr);
  EXPECT_EQ(client.countTrace("msg=0x0400"), 0u);  // no reply announced
  // Nothing kept: the screen holds no handler, every Internet handle is closed.
  EXPECT_EQ(((AnalyzingScreen*)g_screens[SCREEN_ANALYZING])->handler, nullptr);
  EXPECT_EQ(LiveInternetHandles(), 0);
}

std::vector<Case> AllCases() {
  std::vector<Case> cases;
  for (const Point& point : kPoints) {
    cases.push_back({point, false});
    cases.push_back({point, true});
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(, CancelAt, testing::ValuesIn(AllCases()), [](const testing::TestParamInfo<Case>& info) {
  return std::string(info.param.point.name) + (info.param.timeOut ? "ThenTheTimeOut" : "ThenBack");
});

// A thread left over from a cancelled identification that only starts while the next
// identification runs does nothing to it: it keeps no handler, makes no request, reports
// nothing; the next identification goes on to its result.
TEST(IdentifyThread, ALateThreadOfAnAbandonedIdentificationLeavesTheNextOneAlone) {
  std::atomic<bool> answer{false};
  LoopbackServer server([&answer](LoopbackServer& s, int fd, const LoopbackServer::Request&) {
    while (!answer && !s.stopping()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    s.sendAll(fd, LoopbackServer::Response(200, "OK", std::string("S\0abc<ARTIST>A</ARTIST>", 23)));
  });
  RouteEndpointTo(server.port());
  RoadClient client;
  BootToMainMenu(client);
  g_gate.hold(CHECKPOINT_THREAD_STARTED, GetCurrentThreadId());
  Threads().next = PassCheckpoint;
  ChooseIdSong(client);
  RecordUntilAnalyzing(client);
  ASSERT_TRUE(g_gate.waitHeld());
  client.driver.press(VK_ESCAPE);
  ChooseIdSong(client);
  RecordUntilAnalyzing(client);
  ASSERT_TRUE(server.waitForRequests(1, 10000));
  AnalyzingScreen* analyzing = (AnalyzingScreen*)g_screens[SCREEN_ANALYZING];
  analyzing->identifying(0);  // takes the screen's lock: this read comes after the thread's write
  HTTPHandler* current = analyzing->handler;
  ASSERT_NE(current, nullptr);
  g_gate.release();
  ASSERT_TRUE(g_gate.waitEnded(1));
  client.driver.waitForPosted(100);
  EXPECT_EQ(g_nCurrentScreen, SCREEN_ANALYZING);
  EXPECT_EQ(analyzing->handler, current);
  EXPECT_EQ(client.countTrace("HttpSendRequestA request=") , 1u);
  answer = true;
  ASSERT_TRUE(RunUntil(client, [] { return g_nCurrentScreen == SCREEN_RESULTS; }));
  ASSERT_TRUE(g_gate.waitEnded(2));
  EXPECT_EQ(g_screens[SCREEN_SEND_ERROR], nullptr);
  EXPECT_EQ(LiveInternetHandles(), 0);
}
