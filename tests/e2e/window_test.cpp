// The phone in a real window: melodex on an X server of the test's own, driven by real key
// presses, shows pixel for pixel what the headless runner snaps at the same moments of the same
// walk through the program.
#include <gtest/gtest.h>

#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "device/Surface.h"
#include "support/HostServers.h"
#include "support/PngFile.h"

namespace {

using melodex_test::Subprocess;
using melodex_test::TempFolder;
using melodex_test::XServer;

constexpr int kWidth = 240;
constexpr int kHeight = 320;
constexpr int kScale = 2;

// One moment of the walk: the keys pressed to reach it (runner names) and how long a person
// waits there before looking.
struct Moment {
  const char* name;
  std::vector<std::string> keys;
  int waitMs;
};

// The runner's key names as X names them.
std::string XKeyName(const std::string& key) {
  if (key == "DOWN") return "Down";
  if (key == "UP") return "Up";
  if (key == "RETURN") return "Return";
  if (key == "ESCAPE") return "Escape";
  return key;  // F1, F2, digits
}

// Runs the walk headless and returns the snap of each moment.
std::vector<device::Surface> SnapHeadless(const TempFolder& folder, const std::vector<Moment>& walk) {
  std::string script;
  for (size_t i = 0; i < walk.size(); ++i) {
    for (const std::string& key : walk[i].keys) script += "key " + key + "\n";
    if (walk[i].waitMs) script += "wait " + std::to_string(walk[i].waitMs) + "\n";
    script += "snap " + (folder / ("headless-" + std::to_string(i) + ".png")) + "\n";
  }
  std::ofstream(folder / "walk.script") << script;
  int status = -1;
  melodex_test::RunForOutput({MELODEX_BINARY, "--root", folder / "headless-root", "--headless", "--script",
                              folder / "walk.script"},
                             {}, &status);
  EXPECT_EQ(status, 0);
  std::vector<device::Surface> snaps(walk.size());
  for (size_t i = 0; i < walk.size(); ++i)
    EXPECT_TRUE(melodex_test::ReadPng(folder / ("headless-" + std::to_string(i) + ".png"), &snaps[i]));
  return snaps;
}

// The phone's screen as the window shows it: the window's top left, each phone pixel a
// kScale × kScale block of one colour. Empty when a block is not of one colour (a smoothed or
// misplaced picture) or the window is too small.
device::Surface PhoneScreenOf(const XServer::Capture& window) {
  if (window.width != kWidth * kScale || window.height < kHeight * kScale) return {};
  device::Surface screen(kWidth, kHeight);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const uint32_t p = window.pixels[static_cast<size_t>(y * kScale) * window.width + x * kScale];
      for (int dy = 0; dy < kScale; ++dy)
        for (int dx = 0; dx < kScale; ++dx)
          if (window.pixels[static_cast<size_t>(y * kScale + dy) * window.width + x * kScale + dx] != p) return {};
      screen.row(y)[x] = p;
    }
  return screen;
}

// Captures the window until its phone screen is `expected`, for up to `ms`; on failure the
// last capture is written beside the expected picture for a person to look at.
bool WindowShows(const XServer& x, unsigned long window, const device::Surface& expected, int ms,
                 const std::string& failurePng) {
  device::Surface shown;
  bool same = melodex_test::PollUntil([&] {
    XServer::Capture capture;
    if (!x.capture(window, &capture)) return false;
    shown = PhoneScreenOf(capture);
    return shown.pixels == expected.pixels;
  }, ms);
  if (!same && shown.width > 0) device::WritePng(shown, failurePng);
  return same;
}

TEST(Window, ShowsWhatTheHeadlessRunnerSnapsKeyForKey) {
  // The splash, the main menu three seconds later, and a walk through help, as the demo tour.
  const std::vector<Moment> walk = {
      {"the splash", {}, 0},
      {"the main menu", {}, 3000},
      {"help me out highlighted", {"DOWN", "DOWN"}, 0},
      {"the help topics", {"RETURN"}, 0},
      {"a help topic", {"RETURN"}, 0},
      {"about Melodex", {"F1", "UP", "RETURN"}, 0},
      {"back on the main menu", {"F1", "F1"}, 0},
  };
  TempFolder folder("melodex-window-test");
  const std::vector<device::Surface> expected = SnapHeadless(folder, walk);
  XServer x;
  ASSERT_TRUE(x.ready());
  // A phone refused by the X server ends at once ("cannot open a window on this display"): one
  // more start tells a moment's refusal on a busy host from a phone that never shows a window.
  std::unique_ptr<Subprocess> phone;
  unsigned long window = 0;
  std::string starts;
  for (int start = 1; start <= 2 && window == 0; ++start) {
    const std::string err = folder / ("window-" + std::to_string(start) + ".err");
    phone = std::make_unique<Subprocess>(
        std::vector<std::string>{MELODEX_BINARY, "--root", folder / "window-root", "--scale", std::to_string(kScale)},
        x.clientEnv(), folder / "window.out", err);
    melodex_test::PollUntil([&] { return (window = x.findWindow("^Melodex", 0)) != 0 || !phone->running(); }, 20000);
    if (window != 0) break;
    const bool running = phone->running();
    starts += "start " + std::to_string(start) + ": the phone " +
              (running ? "is still running" : "has ended with status " + std::to_string(phone->wait(0))) +
              "; its standard error:\n" + melodex_test::ReadText(err);
    if (running) break;
    std::cerr << "the phone ended before its window appeared; starting it again\n";
  }
  if (window == 0) {
    folder.keep();
    FAIL() << "no window on " << x.display() << "\n" << starts << "\nthe windows on the display:\n" << x.windowTitles()
           << "\nthe X server's log:\n" << x.log() << "\n(kept in " << folder.path() << ")";
  }
  for (size_t i = 0; i < walk.size(); ++i) {
    SCOPED_TRACE(walk[i].name);
    std::vector<std::string> keys;
    for (const std::string& key : walk[i].keys) keys.push_back(XKeyName(key));
    if (!keys.empty()) {
      ASSERT_TRUE(x.pressKeys(window, keys));
    }
    // The splash can only be seen during its three seconds; the main menu follows by itself.
    const int deadline = i == 0 ? 2500 : 10000;
    const std::string shown = folder / ("window-" + std::to_string(i) + ".png");
    EXPECT_TRUE(WindowShows(x, window, expected[i], deadline, shown))
        << "the window's screen is in " << shown << "; the runner's snap in " << folder / ("headless-" + std::to_string(i) + ".png");
    if (HasFailure()) {
      folder.keep();
      return;
    }
  }
}

// Without a window system the phone says so and ends, rather than running in a window that
// SDL draws nowhere.
TEST(Window, WithoutAWindowSystemThePhoneSaysSoAndEnds) {
  TempFolder folder("melodex-no-window");
  const struct {
    const char* name;
    const char* display;
  } cases[] = {{"no display named", "DISPLAY="}, {"a display nobody serves", "DISPLAY=:987"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Subprocess phone({MELODEX_BINARY, "--root", folder / "root", "--scale", std::to_string(kScale)},
                     {c.display, "WAYLAND_DISPLAY=", "SDL_VIDEODRIVER="}, "/dev/null", folder / "phone.err");
    EXPECT_EQ(phone.wait(20000), 1);
    EXPECT_NE(melodex_test::ReadText(folder / "phone.err").find("melodex: cannot open a window on this display; run with --headless"),
              std::string::npos)
        << melodex_test::ReadText(folder / "phone.err");
  }
}

}  // namespace
