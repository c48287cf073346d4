#include "device/TestDriver.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "device/Clock.h"
#include "device/Device.h"
#include "device/Display.h"
#include "device/Input.h"
#include "device/Screen.h"
#include "device/Trace.h"
#include "user32/host.h"

namespace device {

TestDriver::TestDriver() : TestDriver(Config{}) {}

TestDriver::TestDriver(const Config& config) {
  Options& o = options();
  if (!FindProfile(config.profile, &o.profile)) std::abort();  // a test names a profile that exists
  root_ = config.root;
  if (root_.empty()) {
    char pattern[] = "/tmp/melodex-test-XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    root_ = pattern;
    ownsRoot_ = true;
  }
  o.root = root_;
  o.headless = true;
  Clock::useVirtual(true);
  SetDisplay(CreateHeadlessDisplay());
  if (!config.traceChannels.empty()) Trace::enableForTests(config.traceChannels);
}

TestDriver::~TestDriver() {
  std::error_code ignored;
  if (ownsRoot_ && !std::getenv("MELODEX_KEEP_ROOT")) std::filesystem::remove_all(root_, ignored);
}

BOOL TestDriver::boot(const std::function<BOOL(HINSTANCE, int)>& initInstance, HINSTANCE hInstance) {
  BOOL result = initInstance(hInstance, SW_SHOW);
  runPending();
  return result;
}

void TestDriver::keyDown(UINT vk) { DeliverKey(true, vk); }
void TestDriver::keyUp(UINT vk) { DeliverKey(false, vk); }

void TestDriver::press(UINT vk) {
  keyDown(vk);
  keyUp(vk);
  runPending();
}

void TestDriver::runPending() {
  // Bounded, so that a program that keeps itself busy fails its test instead of hanging it.
  for (int i = 0; i < 100000 && !quit_; ++i) {
    MSG msg;
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return;
    if (msg.message == WM_QUIT) {
      quit_ = true;
      quitCode_ = static_cast<int>(msg.wParam);
      return;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void TestDriver::advance(uint64_t ms) {
  uint64_t target = Clock::now() + ms;
  for (;;) {
    runPending();
    if (quit_) break;
    std::optional<uint64_t> next = user32::host::NextWakeAt();
    if (!next || *next > target) break;
    Clock::advanceTo(std::max(*next, Clock::now()));
  }
  Clock::advanceTo(target);
  runPending();
}

bool TestDriver::waitForPosted(uint64_t realMs) {
  bool arrived = user32::host::WaitForPosted(realMs);
  runPending();
  return arrived;
}

uint64_t TestDriver::now() const { return Clock::now(); }

const Surface& TestDriver::screen() const { return device::screen(); }

uint32_t TestDriver::pixel(int x, int y) const { return device::screen().at(x, y); }

bool TestDriver::snap(const std::string& path) const { return WritePng(device::screen(), path); }

std::vector<std::string> TestDriver::trace() const { return Trace::lines(); }

std::string TestDriver::readDeviceFile(const std::string& devicePath) const {
  std::ifstream in(HostPath(devicePath.c_str()), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace device
