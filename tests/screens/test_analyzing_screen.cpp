// The analyzing screen, with the identification thread talking to a loopback server in real
// time: the sound and the timers of each activation, the three-minute time-out to the
// millisecond, Back to wherever the road started.
#include <gtest/gtest.h>
#include <windows.h>

#include "app/AppState.h"
#include "app/Navigation.h"
#include "platform/wininet/LoopbackServer.h"
#include "screens/AnalyzingScreen.h"
#include "support/ScreenRows.h"

using namespace melodex_test;
using testing_net::LoopbackServer;

namespace {

AnalyzingScreen* Analyzing() { return (AnalyzingScreen*)g_screens[SCREEN_ANALYZING]; }

}  // namespace

// Back during the wait returns to the screen the road started from (the main menu's ID song!,
// the results screen's new ID!, the history screen's New ID!), the abandoned request's failure
// shows no error screen, and the screen's timers stop with it.
const Reach kAtMenuWithASilentServer = {
    {VK_RETURN, Do("a server that never answers", [](Client&) {
       static LoopbackServer* server = new LoopbackServer(LoopbackServer::Silent());
       RouteEndpointTo(server->port());
       g_netCheckpointHook = CountCheckpoint;
     })},
    SCREEN_MAIN_MENU};
const Input kAnalyze = Do("record until analyzing", [](Client& client) {
  RecordUntilAnalyzing(client);
  ASSERT_TRUE(WaitForTrace(client, "HttpSendRequestA request="));
});
Input NewIdFrom(ScreenId origin) {
  return Do("new ID! from " + std::to_string(origin), [origin](Client&) {
    SwitchScreen(origin);
    SwitchScreen(SCREEN_LISTENING);
    PushScreen(origin);
  });
}
// The request is gone at once, and no error screen comes, however long the wait.
void AbandonedSilently(Client& client) {
  EXPECT_EQ(Analyzing()->handler, nullptr);
  EXPECT_TRUE(RunUntil(client, [] { return LiveInternetHandles() == 0; }));
  client.driver.advance(200000);
  EXPECT_EQ(g_screens[SCREEN_SEND_ERROR], nullptr);
  EndIdentifications(client);
}
// Past the three minutes, neither timer is left on the window to wake it.
void TimersGone(Client& client) {
  EXPECT_FALSE(KillTimer(g_hWnd, ANALYZING_TIMEOUT_TIMER)) << "the three-minute time-out is still set";
  EXPECT_FALSE(KillTimer(g_hWnd, ANALYZING_ANIMATION_TIMER)) << "the animation timer is still set";
  EndIdentifications(client);
}

const ScreenRow kBackRows[] = {
    {"Back returns to the main menu when ID song started the road", {VK_RETURN, kAnalyze, VK_ESCAPE},
     SCREEN_MAIN_MENU, Stack{}, AbandonedSilently},
    {"The left soft key returns to the results screen when new ID started the road",
     {NewIdFrom(SCREEN_RESULTS), kAnalyze, VK_F1}, SCREEN_RESULTS, Stack{}, AbandonedSilently},
    {"Back returns to the history screen when its New ID started the road",
     {NewIdFrom(SCREEN_MANAGE), kAnalyze, VK_ESCAPE}, SCREEN_MANAGE, Stack{}, AbandonedSilently},
    {"Other keys do nothing", {VK_RETURN, kAnalyze, VK_F2, VK_RETURN, VK_UP, 0x31}, SCREEN_ANALYZING, {},
     EndIdentifications},
    {"Back stops the three-minute time-out and the animation timer",
     {VK_RETURN, kAnalyze, VK_ESCAPE, Wait(200000)}, SCREEN_MAIN_MENU, Stack{}, TimersGone},
};
MELODEX_SCREEN_ROWS(AnalyzingKeys, kAtMenuWithASilentServer, kBackRows);

// The second identification plays the sound again and restarts both timers: its time-out comes
// exactly 180000 ms after its own activation.
TEST(Analyzing, ASecondIdentificationPlaysTheSoundAgainAndRestartsBothTimers) {
  int answered = 0;
  LoopbackServer server([&answered](LoopbackServer& s, int fd, const LoopbackServer::Request&) {
    if (answered++ == 0) s.sendAll(fd, LoopbackServer::Response(200, "OK", std::string("X\0abc", 5)));
    else s.waitUntilStopping(LoopbackServer::kSilentMs);
  });
  RouteEndpointTo(server.port());
  RoadClient client;
  BootToMainMenu(client);
  ChooseIdSong(client);
  RecordUntilAnalyzing(client);
  ASSERT_TRUE(RunUntil(client, [] { return g_nCurrentScreen == SCREEN_RESULTS; }));
  SwitchScreen(SCREEN_LISTENING);
  PushScreen(SCREEN_RESULTS);
  RecordUntilAnalyzing(client);
  const uint64_t shown = client.driver.now();
  const std::string window = "SetTimer hwnd=" + std::to_string(reinterpret_cast<uintptr_t>(g_hWnd));
  EXPECT_EQ(client.countTrace("PlaySoundW #160"), 2u);
  EXPECT_EQ(client.countTrace(window + " id=200 ms=100"), 2u);
  EXPECT_EQ(client.countTrace(window + " id=201 ms=180000"), 2u);
  ASSERT_TRUE(server.waitForRequests(2, 10000));
  client.driver.advance(shown + 179999 - client.driver.now());
  EXPECT_EQ(g_nCurrentScreen, SCREEN_ANALYZING);
  client.driver.advance(1);
  EXPECT_EQ(g_nCurrentScreen, SCREEN_SEND_ERROR);
}
