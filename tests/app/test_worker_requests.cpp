// Worker threads ask the user-interface thread for screen switches through private messages, the
// one addition to MainWindowProc's table. (A worker's switch to error screen 11 is the recording
// thread's: tests/audio.)
#include <gtest/gtest.h>
#include <windows.h>

#include <thread>

#include "app/AppState.h"
#include "app/WorkerRequests.h"
#include "screens/ErrorScreen.h"
#include "support/ClientHarness.h"

using melodex_test::Client;

// Error screen 10 is shown for a thread only while it runs the analyzing screen's
// identification; a report from any other thread changes nothing, nor does a switch request
// for an id outside the table.
TEST(WorkerRequests, RequestsFromNoIdentificationOrForNoScreenAreDropped) {
  Client client;
  ASSERT_TRUE(client.boot());
  std::thread worker([] { RequestSendError(GetCurrentThreadId()); });
  worker.join();
  EXPECT_EQ(SendMessageW(g_hWnd, WM_MELODEX_SWITCH_SCREEN, 12, 0), 0);
  EXPECT_EQ(SendMessageW(g_hWnd, WM_MELODEX_SWITCH_SCREEN, (WPARAM)-1, 0), 0);
  client.driver.runPending();
  EXPECT_EQ(g_nCurrentScreen, SCREEN_SPLASH);
  EXPECT_EQ(g_screens[SCREEN_SEND_ERROR], nullptr);
}

TEST(WorkerRequests, ShowSendErrorNowOnTheCurrentScreenStillReplacesTheMessage) {
  Client client;
  ASSERT_TRUE(client.boot());
  ShowSendErrorNow();
  ErrorScreen* screen = (ErrorScreen*)g_screens[SCREEN_SEND_ERROR];
  ASSERT_NE(screen, nullptr);
  screen->setMessage(TEXT("other"));
  ShowSendErrorNow();
  EXPECT_EQ(std::u16string(screen->message), u"Error sending recording to the server!");
}
