// Conformance tests of windows: the work area, moving, activation, painting, FindWindowW within
// and across processes (a second process on the same root finding and raising the window is
// tested with melodex itself, SingleInstance). WM_CREATE during CreateWindowExW is held against
// Windows by the probe.
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

TEST(CreateWindowExW, UnknownClassFails) {
  device::TestDriver driver;
  EXPECT_EQ(CreateWindowExW(0, TEXT("NOSUCH"), TEXT("x"), WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                            nullptr),
            nullptr);
}

// The default area runs from below the status bar to the bottom of the screen: no room is left
// for a menu bar the program does not create.
TEST(CreateWindowExW, DefaultPositionAndSizeGiveTheAreaBelowTheStatusBar) {
  for (const auto& [profile, width] : {std::pair<const char*, LONG>{"qvga", 240}, {"square", 320}}) {
    SCOPED_TRACE(profile);
    device::TestDriver::Config config;
    config.profile = profile;
    device::TestDriver driver(config);
    HWND hwnd = CreateRecordingWindow(0);
    RECT rc, client;
    ASSERT_TRUE(GetWindowRect(hwnd, &rc));
    EXPECT_EQ((std::vector<LONG>{rc.left, rc.top, rc.right, rc.bottom}), (std::vector<LONG>{0, 26, width, 320}));
    ASSERT_TRUE(GetClientRect(hwnd, &client));
    EXPECT_EQ((std::vector<LONG>{client.right, client.bottom}), (std::vector<LONG>{width, 320 - 26}));
    DestroyWindow(hwnd);
  }
}

TEST(MoveWindow, RightAndBottomPassedAsSizeOvershootTheScreenBottom) {
  // The program's GoFullScreen passes the window rectangle's right and bottom as width and
  // height: the window grows past the screen's bottom by its own top offset.
  device::TestDriver driver;
  HWND hwnd = CreateRecordingWindow(0);
  RECT rc;
  GetWindowRect(hwnd, &rc);
  MoveWindow(hwnd, rc.left, rc.top, rc.right, rc.bottom, TRUE);
  GetWindowRect(hwnd, &rc);
  EXPECT_EQ(rc.top, 26);
  EXPECT_EQ(rc.bottom, 26 + 320);
}

// A window moved without a repaint, or to where it already is, asks for no painting; one
// resized with a repaint is repainted whole when its class redraws on resizing, else only
// where it grew.
TEST(MoveWindow, RepaintsOnlyWhatTheRepaintFlagAndTheClassAskFor) {
  struct Case {
    UINT classStyle;
    RECT to;
    BOOL repaint;
    bool painted;
    RECT update;
  } cases[] = {{CS_HREDRAW | CS_VREDRAW, {0, 0, 200, 200}, FALSE, false, {}},
               {CS_HREDRAW | CS_VREDRAW, {0, 26, 240, 294}, TRUE, false, {}},
               {CS_HREDRAW | CS_VREDRAW, {0, 26, 240, 320}, TRUE, true, {0, 0, 240, 294}},
               {0, {0, 26, 240, 320}, TRUE, true, {0, 268, 240, 294}},
               {0, {10, 40, 250, 308}, TRUE, false, {}}};
  for (const Case& k : cases) {
    device::TestDriver driver;
    // A class per style: classes outlive the driver.
    const char16_t* name = k.classStyle ? u"MOVER_REDRAWS" : u"MOVER";
    WNDCLASSW wc{};
    wc.lpfnWndProc = RecordingProc;
    wc.lpszClassName = name;
    wc.style = k.classStyle;
    RegisterClassW(&wc);
    HWND hwnd = CreateWindowExW(0, name, TEXT("Mover"), WS_VISIBLE, 0, 26, 240, 268, nullptr, nullptr, nullptr, nullptr);
    ValidateRect(hwnd, nullptr);
    MoveWindow(hwnd, k.to.left, k.to.top, k.to.right - k.to.left, k.to.bottom - k.to.top, k.repaint);
    RECT update{};
    EXPECT_EQ(GetUpdateRect(hwnd, &update, FALSE) != FALSE, k.painted) << k.to.right << "x" << k.to.bottom;
    if (k.painted) {
      EXPECT_EQ(update.top, k.update.top);
      EXPECT_EQ(update.bottom, k.update.bottom);
      EXPECT_EQ(update.right, k.update.right);
    }
    DestroyWindow(hwnd);
  }
}

// Destroying the active window deactivates it before WM_DESTROY, and activation passes to the
// window that was active before it.
TEST(DestroyWindow, TheActiveWindowIsDeactivatedAndTheOneBeforeActivated) {
  device::TestDriver driver;
  HWND first = CreateRecordingWindow();
  HWND second = CreateRecordingWindow();
  EXPECT_EQ(GetForegroundWindow(), second);
  std::vector<std::pair<HWND, UINT>> order;
  onMessage() = [&](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
    if (m == WM_ACTIVATE || m == WM_DESTROY) order.push_back({h, m == WM_ACTIVATE ? LOWORD(w) : 100u});
    return DefWindowProcW(h, m, w, l);
  };
  DestroyWindow(second);
  const std::vector<std::pair<HWND, UINT>> expected = {{second, WA_INACTIVE}, {first, WA_ACTIVE}, {second, 100u}};
  EXPECT_EQ(order, expected);
  EXPECT_EQ(GetForegroundWindow(), first);
  order.clear();
  DestroyWindow(first);
  const std::vector<std::pair<HWND, UINT>> last = {{first, WA_INACTIVE}, {first, 100u}};
  EXPECT_EQ(order, last);
  EXPECT_EQ(GetForegroundWindow(), nullptr);
  onMessage() = nullptr;
}

// The first show activates; showing the foreground window again, and hiding it, send no
// WM_ACTIVATE.
TEST(ShowWindow, FirstShowActivatesAndShowingAgainOrHidingSendsNoActivate) {
  device::TestDriver driver;
  HWND hwnd = CreateRecordingWindow(0);
  received().clear();
  EXPECT_FALSE(ShowWindow(hwnd, SW_SHOW));  // it was hidden
  ASSERT_FALSE(received().empty());
  EXPECT_EQ(received()[0].message, static_cast<UINT>(WM_ACTIVATE));
  EXPECT_EQ(LOWORD(received()[0].wParam), WA_ACTIVE);
  EXPECT_EQ(GetForegroundWindow(), hwnd);
  driver.runPending();
  received().clear();
  ShowWindow(hwnd, SW_SHOWNORMAL);
  EXPECT_TRUE(MessagesOnly(WM_PAINT).empty());
  EXPECT_TRUE(ShowWindow(hwnd, SW_HIDE));
  EXPECT_TRUE(MessagesOnly(WM_PAINT).empty());
  EXPECT_FALSE(IsWindowVisible(hwnd));
  EXPECT_EQ(GetForegroundWindow(), nullptr);
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

// Painting: WM_PAINT only while the update region is not empty and the window shown, BeginPaint
// validating. The update region's arithmetic, the internal paint and UpdateWindow are held
// against Windows by the probe.
int CountPaints() {
  int n = 0;
  for (const Received& r : received()) n += r.message == WM_PAINT;
  return n;
}

TEST(WmPaint, KeepsComingWhileThePaintDoesNotValidate) {
  Recording r;
  onMessage() = [](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; };  // never BeginPaint
  RedrawWindow(r.hwnd, nullptr, nullptr, RDW_INVALIDATE);
  for (int i = 0; i < 3; ++i) {
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_PAINT));
    DispatchMessageW(&msg);
  }
}

TEST(WmPaint, IsNotSentToAHiddenWindow) {
  device::TestDriver driver;
  HWND hwnd = CreateRecordingWindow(0);
  driver.runPending();
  received().clear();
  RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_INTERNALPAINT);
  driver.runPending();
  EXPECT_EQ(CountPaints(), 0);
  ShowWindow(hwnd, SW_SHOW);
  driver.runPending();
  EXPECT_EQ(CountPaints(), 1);
}

}  // namespace
