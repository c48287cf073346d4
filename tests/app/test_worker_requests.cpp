// Worker threads ask the user-interface thread for screen switches through private messages, the
// one addition to MainWindowProc's table.
#include <gtest/gtest.h>
#include <windows.h>

#include <thread>

#include "app/AppState.h"
#include "app/Navigation.h"
#include "app/WorkerRequests.h"
#include "screens/ErrorScreen.h"
#include "support/ClientHarness.h"

using melodex_test::Client;

TEST(WorkerRequests, ASwitchFromAWorkerRunsOnTheUserInterfaceThread) {
  Client client;
  ASSERT_TRUE(client.boot());
  client.driver.advance(3000);
  ASSERT_EQ(g_nCurrentScreen, SCREEN_MAIN_MENU);
  BOOL posted = FALSE;
  std::thread worker([&] { posted = RequestSwitchScreen(SCREEN_RECORD_ERROR); });
  worker.join();
  EXPECT_TRUE(posted);
  // Nothing has changed until the user-interface thread takes the message.
  EXPECT_EQ(g_nCurrentScreen, SCREEN_MAIN_MENU);
  EXPECT_EQ(g_screens[SCREEN_RECORD_ERROR], nullptr);
  client.driver.runPending();
  EXPECT_EQ(g_nCurrentScreen, SCREEN_RECORD_ERROR);
  ASSERT_NE(g_screens[SCREEN_RECORD_ERROR], nullptr);
  EXPECT_EQ(((ErrorScreen*)g_screens[SCREEN_RECORD_ERROR])->message, nullptr);
}

// Error screen 10 is shown for a thread only while it runs the analyzing screen's
// identification; a report from any other thread (or after a cancel) changes nothing.
TEST(WorkerRequests, ASendErrorFromAThreadThatRunsNoIdentificationIsDropped) {
  Client client;
  ASSERT_TRUE(client.boot());
  std::thread worker([] { RequestSendError(GetCurrentThreadId()); });
  worker.join();
  client.driver.runPending();
  EXPECT_EQ(g_nCurrentScreen, SCREEN_SPLASH);
  EXPECT_EQ(g_screens[SCREEN_SEND_ERROR], nullptr);
}

TEST(WorkerRequests, ASwitchRequestForAnInvalidIdIsIgnored) {
  Client client;
  ASSERT_TRUE(client.boot());
  EXPECT_EQ(SendMessageW(g_hWnd, WM_MELODEX_SWITCH_SCREEN, 12, 0), 0);
  EXPECT_EQ(SendMessageW(g_hWnd, WM_MELODEX_SWITCH_SCREEN, (WPARAM)-1, 0), 0);
  EXPECT_EQ(g_nCurrentScreen, SCREEN_SPLASH);
}

TEST(WorkerRequests, ShowSendErrorNowOnTheCurrentScreenStillReplacesTheMessage) {
  Client client;
  ASSERT_TRUE(client.boot());
  ShowSendErrorNow();
  ErrorScreen* screen = (ErrorScreen*)g_screens[SCREEN_SEND_ERROR];
  ASSERT_NE(screen, nullptr);
  screen->setMessage(TEXT("other"));
  ShowSendErrorNow();  // already current, the new message still replaces the old one
  EXPECT_EQ(std::u16string(screen->message), u"Error sending recording to the server!");
}
