// Starting the program twice. The first copy runs in this test process under the test driver; the
// second is the melodex executable on the same device root. It finds the first window by class name
// and title, brings it to the front and exits with code 0 without creating a window (also when the
// first window was hidden by Back).
#include <gtest/gtest.h>
#include <windows.h>

#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "app/AppState.h"
#include "support/ClientHarness.h"

extern char** environ;

using melodex_test::Client;
using melodex_test::MakeConfig;
using melodex_test::MakeTempRoot;

namespace {

// Runs the melodex executable with the arguments and returns its exit status, pumping the
// first copy's messages meanwhile (its window answers the second copy). -1 on failure/timeout.
int RunSecondCopy(Client& client, const std::string& root) {
  std::string binary = MELODEX_BINARY;
  std::string rootArg = root;
  char* argv[] = {binary.data(), const_cast<char*>("--root"), rootArg.data(), const_cast<char*>("--headless"),
                  nullptr};
  pid_t pid;
  if (posix_spawn(&pid, binary.c_str(), nullptr, nullptr, argv, environ) != 0) return -1;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    client.driver.waitForPosted(20);
  }
  client.driver.waitForPosted(200);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST(SingleInstance, ASecondStartBringsTheHiddenFirstWindowForward) {
  std::string root = MakeTempRoot();
  {
    Client client(MakeConfig("qvga", root));
    ASSERT_TRUE(client.boot());
    client.driver.advance(3000);
    ASSERT_EQ(g_nCurrentScreen, SCREEN_MAIN_MENU);
    client.driver.press(VK_ESCAPE);  // Back hides the window; the process keeps running
    ASSERT_FALSE(IsWindowVisible(g_hWnd));
    std::string logBefore = client.log();

    EXPECT_EQ(RunSecondCopy(client, root), 0);

    // The first window was brought forward: WM_ACTIVATE showed it again.
    EXPECT_TRUE(IsWindowVisible(g_hWnd));
    EXPECT_EQ(GetForegroundWindow(), g_hWnd);
    // The second copy created nothing: in particular it did not start a new log.
    EXPECT_EQ(client.log(), logBefore);
    EXPECT_EQ(g_nCurrentScreen, SCREEN_MAIN_MENU);
  }
  std::error_code ignored;
  std::filesystem::remove_all(root, ignored);
}
