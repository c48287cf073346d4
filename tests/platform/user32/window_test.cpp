// Conformance tests of windows: WM_CREATE during CreateWindowExW, the work area, activation,
// FindWindowW within and across processes (a second process on the same root finding and
// raising the window is tested with melodex itself, SingleInstance).
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "device/TestDriver.h"
#include "recorder.h"

extern char** environ;

namespace {

TEST(CreateWindowExW, SendsWmCreateBeforeItReturns) {
  device::TestDriver driver;
  HWND inCreate = nullptr;
  onMessage() = [&](HWND h, UINT m, WPARAM, LPARAM l) -> LRESULT {
    if (m == WM_CREATE) {
      inCreate = h;
      auto* cs = reinterpret_cast<CREATESTRUCTW*>(l);
      EXPECT_EQ(std::u16string(cs->lpszName), u"Recorder");
    }
    return 0;
  };
  HWND hwnd = CreateRecordingWindow(0);
  ASSERT_NE(hwnd, nullptr);
  EXPECT_EQ(inCreate, hwnd);
  ASSERT_FALSE(received().empty());
  EXPECT_EQ(received()[0].message, static_cast<UINT>(WM_CREATE));
}

TEST(CreateWindowExW, UnknownClassFails) {
  device::TestDriver driver;
  EXPECT_EQ(CreateWindowExW(0, TEXT("NOSUCH"), TEXT("x"), WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                            nullptr),
            nullptr);
}

TEST(CreateWindowExW, DefaultPositionAndSizeGiveTheWorkAreaBetweenTheBars) {
  for (const char* profile : {"qvga", "square"}) {
    device::TestDriver::Config config;
    config.profile = profile;
    device::TestDriver driver(config);
    HWND hwnd = CreateRecordingWindow(0);
    RECT rc;
    ASSERT_TRUE(GetWindowRect(hwnd, &rc));
    int width = std::string(profile) == "qvga" ? 240 : 320;
    int height = 320;
    EXPECT_EQ(rc.left, 0);
    EXPECT_EQ(rc.top, 26);
    EXPECT_EQ(rc.right, width);
    EXPECT_EQ(rc.bottom, height - 26);
    RECT client;
    GetClientRect(hwnd, &client);
    EXPECT_EQ(client.right, width);
    EXPECT_EQ(client.bottom, height - 52);
    DestroyWindow(hwnd);
  }
}

TEST(ShowWindow, FirstShowActivatesAndHidingSendsNoActivate) {
  device::TestDriver driver;
  HWND hwnd = CreateRecordingWindow(0);
  received().clear();
  EXPECT_FALSE(ShowWindow(hwnd, SW_SHOW));  // it was hidden
  ASSERT_FALSE(received().empty());
  EXPECT_EQ(received()[0].message, static_cast<UINT>(WM_ACTIVATE));
  EXPECT_EQ(LOWORD(received()[0].wParam), WA_ACTIVE);
  EXPECT_EQ(GetForegroundWindow(), hwnd);
  received().clear();
  EXPECT_TRUE(ShowWindow(hwnd, SW_HIDE));
  EXPECT_TRUE(MessagesOnly(WM_PAINT).empty());
  EXPECT_FALSE(IsWindowVisible(hwnd));
  EXPECT_EQ(GetForegroundWindow(), nullptr);
}

TEST(ShowWindow, ShowingTheForegroundWindowAgainSendsNoActivate) {
  device::TestDriver driver;
  HWND hwnd = CreateRecordingWindow();
  received().clear();
  ShowWindow(hwnd, SW_SHOWNORMAL);
  EXPECT_TRUE(MessagesOnly(WM_PAINT).empty());
}

TEST(SetForegroundWindow, WithTheLowBitSetNamesTheSameWindow) {
  device::TestDriver driver;
  HWND hwnd = CreateRecordingWindow();
  ShowWindow(hwnd, SW_HIDE);
  received().clear();
  HWND withBit = reinterpret_cast<HWND>(reinterpret_cast<uintptr_t>(hwnd) | 1);
  EXPECT_TRUE(SetForegroundWindow(withBit));
  ASSERT_EQ(MessagesOnly().size(), 1u);
  EXPECT_EQ(received()[0].message, static_cast<UINT>(WM_ACTIVATE));
  EXPECT_EQ(GetForegroundWindow(), hwnd);
}

TEST(FindWindowW, FindsByClassAndTitleAndNotOtherwise) {
  device::TestDriver driver;
  HWND hwnd = CreateRecordingWindow();
  EXPECT_EQ(FindWindowW(TEXT("RECORDER"), TEXT("Recorder")), hwnd);
  EXPECT_EQ(FindWindowW(TEXT("recorder"), nullptr), hwnd);  // neither name is case-sensitive
  EXPECT_EQ(FindWindowW(TEXT("RECORDER"), TEXT("RECORDER")), hwnd);
  EXPECT_EQ(FindWindowW(TEXT("RECORDER"), TEXT("Other")), nullptr);
  EXPECT_EQ(FindWindowW(TEXT("OTHER"), TEXT("Recorder")), nullptr);
}

TEST(FindWindowW, AProcessOnAnotherRootFindsNothing) {
  device::TestDriver driver;
  CreateRecordingWindow();
  std::string child = FIND_WINDOW_CHILD;
  std::string root = driver.root() + "-other";
  char* argv[] = {child.data(), root.data(), nullptr};
  pid_t pid;
  ASSERT_EQ(posix_spawn(&pid, child.c_str(), nullptr, nullptr, argv, environ), 0);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_EQ(WEXITSTATUS(status), 3);
  std::error_code ignored;
  std::filesystem::remove_all(root, ignored);
}

}  // namespace
