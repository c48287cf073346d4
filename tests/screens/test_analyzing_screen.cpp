// The analyzing screen through the test driver, with the identification thread talking to a
// loopback server in real time: the sound and the timers of each activation, the three-minute
// time-out to the millisecond, Back to wherever the road started, and the level meter's steps.
#include <gtest/gtest.h>
#include <windows.h>

#include "app/AppState.h"
#include "app/Navigation.h"
#include "platform/wininet/LoopbackServer.h"
#include "screens/AnalyzingScreen.h"
#include "screens/ErrorScreen.h"
#include "screens/ResultsScreen.h"
#include "support/RoadHarness.h"

using melodex_test::BootToMainMenu;
using melodex_test::ChooseIdSong;
using melodex_test::Client;
using melodex_test::LiveInternetHandles;
using melodex_test::RecordUntilAnalyzing;
using melodex_test::RouteEndpointTo;
using melodex_test::RunUntil;
using testing_net::LoopbackServer;

namespace {

AnalyzingScreen* Analyzing() { return (AnalyzingScreen*)g_screens[SCREEN_ANALYZING]; }

// A server that takes every request and never answers.
LoopbackServer::Handler Silent() {
  return [](LoopbackServer& s, int, const LoopbackServer::Request&) { s.waitUntilStopping(30000); };
}

// The identification thread has let go of every Internet handle (it has ended or is ending).
bool RequestGone(Client& client) {
  return RunUntil(client, [] { return LiveInternetHandles() == 0; }, 3000);
}

std::string Window() { return "hwnd=" + std::to_string(reinterpret_cast<uintptr_t>(g_hWnd)); }

}  // namespace

TEST(Analyzing, GivesUpExactly180000MsAfterItBecameCurrentWithTheSendError) {
  LoopbackServer server(Silent());
  RouteEndpointTo(server.port());
  Client client;
  BootToMainMenu(client);
  ChooseIdSong(client);
  RecordUntilAnalyzing(client);
  const uint64_t shown = client.driver.now();
  EXPECT_EQ(client.countTrace("PlaySoundW #160"), 1u);
  EXPECT_EQ(client.countTrace("SetTimer " + Window() + " id=201 ms=180000"), 1u);
  ASSERT_TRUE(server.waitForRequests(1, 10000));
  client.driver.advance(179999);
  EXPECT_EQ(g_nCurrentScreen, SCREEN_ANALYZING);
  client.driver.advance(1);
  EXPECT_EQ(client.driver.now() - shown, 180000u);
  ASSERT_EQ(g_nCurrentScreen, SCREEN_SEND_ERROR);
  ErrorScreen* error = (ErrorScreen*)g_screens[SCREEN_SEND_ERROR];
  ASSERT_NE(error->message, nullptr);
  EXPECT_EQ(std::u16string(error->message), u"Error sending recording to the server!");
  // The abandoned request ends at once and reports nothing more.
  EXPECT_TRUE(RequestGone(client));
  client.driver.press(VK_F1);
  client.driver.waitForPosted(100);
  EXPECT_EQ(g_nCurrentScreen, SCREEN_MAIN_MENU);
  EXPECT_EQ(client.countTrace("KillTimer " + Window() + " id=200"), 1u);
}

// Back during the wait returns to the screen the road started from, and the abandoned
// request's failure shows no error screen.
struct BackCase {
  ScreenId origin;
  UINT key;
};

class AnalyzingBack : public testing::TestWithParam<BackCase> {};

TEST_P(AnalyzingBack, ReturnsToWhereTheRoadStartedWithoutAnErrorScreen) {
  LoopbackServer server(Silent());
  RouteEndpointTo(server.port());
  Client client;
  BootToMainMenu(client);
  if (GetParam().origin == SCREEN_MAIN_MENU) {
    ChooseIdSong(client);
  } else {
    // What the results screen's new ID! and the history screen's New ID! do.
    SwitchScreen(GetParam().origin);
    SwitchScreen(SCREEN_LISTENING);
    PushScreen(GetParam().origin);
  }
  RecordUntilAnalyzing(client);
  ASSERT_TRUE(server.waitForRequests(1, 10000));
  client.driver.press(GetParam().key);
  EXPECT_EQ(g_nCurrentScreen, GetParam().origin);
  EXPECT_EQ(Analyzing()->handler, nullptr);
  EXPECT_TRUE(RequestGone(client));
  client.driver.advance(200000);
  EXPECT_EQ(g_nCurrentScreen, GetParam().origin);
  EXPECT_EQ(g_screens[SCREEN_SEND_ERROR], nullptr);
}

INSTANTIATE_TEST_SUITE_P(, AnalyzingBack,
                         testing::Values(BackCase{SCREEN_MAIN_MENU, VK_ESCAPE}, BackCase{SCREEN_RESULTS, VK_F1},
                                         BackCase{SCREEN_MANAGE, VK_ESCAPE}),
                         [](const testing::TestParamInfo<BackCase>& info) {
                           return std::string(info.param.origin == SCREEN_MAIN_MENU ? "FromTheMainMenu"
                                              : info.param.origin == SCREEN_RESULTS ? "FromTheResultsScreen"
                                                                                    : "FromTheHistoryScreen");
                         });

// The second identification plays the sound again, starts a new thread and restarts both
// timers: its time-out counts from its own activation.
TEST(Analyzing, ASecondIdentificationPlaysTheSoundAgainAndRestartsBothTimers) {
  int answered = 0;
  LoopbackServer server([&answered](LoopbackServer& s, int fd, const LoopbackServer::Request&) {
    if (answered++ == 0) {
      s.sendAll(fd, LoopbackServer::Response(200, "OK", std::string("X\0abc", 5)));
    } else {
      s.waitUntilStopping(30000);
    }
  });
  RouteEndpointTo(server.port());
  Client client;
  BootToMainMenu(client);
  ChooseIdSong(client);
  RecordUntilAnalyzing(client);
  ASSERT_TRUE(RunUntil(client, [] { return g_nCurrentScreen == SCREEN_RESULTS; }));
  SwitchScreen(SCREEN_LISTENING);
  PushScreen(SCREEN_RESULTS);
  RecordUntilAnalyzing(client);
  const uint64_t shown = client.driver.now();
  EXPECT_EQ(client.countTrace("PlaySoundW #160"), 2u);
  EXPECT_EQ(client.countTrace("SetTimer " + Window() + " id=200 ms=100"), 2u);
  EXPECT_EQ(client.countTrace("SetTimer " + Window() + " id=201 ms=180000"), 2u);
  ASSERT_TRUE(server.waitForRequests(2, 10000));
  client.driver.advance(179999);
  EXPECT_EQ(g_nCurrentScreen, SCREEN_ANALYZING);
  client.driver.advance(1);
  EXPECT_EQ(client.driver.now() - shown, 180000u);
  EXPECT_EQ(g_nCurrentScreen, SCREEN_SEND_ERROR);
}

TEST(Analyzing, TheLevelMeterMoves15PixelsEvery100MsAndStartsAgainPastItsWidth) {
  LoopbackServer server(Silent());
  RouteEndpointTo(server.port());
  Client client;
  BootToMainMenu(client);
  ChooseIdSong(client);
  RecordUntilAnalyzing(client);
  struct Step {
    uint64_t ms;
    LONG offset;
  } steps[] = {{100, 15}, {2000, 315}, {100, 0}, {100, 15}};
  for (const Step& step : steps) {
    client.driver.advance(step.ms);
    EXPECT_EQ(Analyzing()->scrollOffset, step.offset);
  }
}
