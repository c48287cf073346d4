// Starting the program twice. The first copy runs in this test process under the test driver; the
// second is the melodex executable on the same device root. It finds the first window by class name
// and title, brings it to the front and exits with code 0 without creating a window (also when the
// first window was hidden by Back).
#include <gtest/gtest.h>
#include <windows.h>

#include "app/AppState.h"
#include "support/ClientHarness.h"
#include "support/HostServers.h"

using namespace melodex_test;

TEST(SingleInstance, ASecondStartBringsTheHiddenFirstWindowForward) {
  TempFolder root("melodex-app-test");
  Client client(MakeConfig("qvga", root.path()));
  ASSERT_TRUE(client.boot());
  client.driver.advance(3000);
  ASSERT_EQ(g_nCurrentScreen, SCREEN_MAIN_MENU);
  client.driver.press(VK_ESCAPE);  // Back hides the window; the process keeps running
  ASSERT_FALSE(IsWindowVisible(g_hWnd));
  std::string logBefore = client.log();
  // The first copy's messages are pumped meanwhile: its window answers the second copy.
  Subprocess second({MELODEX_BINARY, "--root", root.path(), "--headless"});
  EXPECT_TRUE(PollUntil([&] {
    client.driver.waitForPosted(20);
    return !second.running();
  }, 30000));
  client.driver.waitForPosted(200);
  EXPECT_EQ(second.wait(0), 0);
  EXPECT_TRUE(IsWindowVisible(g_hWnd));
  EXPECT_EQ(GetForegroundWindow(), g_hWnd);
  EXPECT_EQ(client.log(), logBefore) << "the second copy started no log of its own";
  EXPECT_EQ(g_nCurrentScreen, SCREEN_MAIN_MENU);
}
