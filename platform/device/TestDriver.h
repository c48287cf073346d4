// The test driver: boots a program's InitInstance inside the test process under the virtual
// clock and the headless display, presses keys, advances time and runs every message that falls
// due, waits (with a real-time bound) for messages that worker threads post, and reads the
// screen's pixels, the trace, the log file and the device root.
//
// One driver per test process: the platform's state is process-wide, which is why every test
// runs in a process of its own (gtest_discover_tests).
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "device/Surface.h"

namespace device {

class TestDriver {
 public:
  struct Config {
    std::string profile = "qvga";  // screen profile (device/Device.h)
    std::string root;              // device root; empty = a fresh temporary folder
    std::string traceChannels = "all";  // recorded in memory for trace(), not printed
  };

  TestDriver();
  explicit TestDriver(const Config& config);
  ~TestDriver();
  TestDriver(const TestDriver&) = delete;
  TestDriver& operator=(const TestDriver&) = delete;

  // Calls initInstance(hInstance, SW_SHOW) and then runs the messages due at time 0.
  // Returns what InitInstance returned.
  BOOL boot(const std::function<BOOL(HINSTANCE, int)>& initInstance, HINSTANCE hInstance);

  // Input, as the phone's keys produce it: WM_KEYDOWN / WM_KEYUP to the focus window.
  void keyDown(UINT vk);
  void keyUp(UINT vk);
  // keyDown + keyUp, then runs the messages due now.
  void press(UINT vk);

  // Runs every message that is due now (posted, input, paint, due timers) until none is left
  // or WM_QUIT is retrieved.
  void runPending();
  // Moves the virtual clock forward by ms, stopping at every timer and clock event on the way
  // and running what falls due, then runs what is pending at the end.
  void advance(uint64_t ms);
  // Waits up to realMs of real time for a message posted from another thread, then runs the
  // pending messages. False when nothing arrived.
  bool waitForPosted(uint64_t realMs);

  // Virtual milliseconds since boot.
  uint64_t now() const;
  // Whether a WM_QUIT has been retrieved, and its wParam.
  bool quit() const { return quit_; }
  int quitCode() const { return quitCode_; }

  // The phone's whole display and one pixel of it (0x00RRGGBB).
  const Surface& screen() const;
  uint32_t pixel(int x, int y) const;
  // Writes the display as a PNG (for a person to look at).
  bool snap(const std::string& path) const;

  // Every trace line recorded since the driver started.
  std::vector<std::string> trace() const;
  // The device root (host folder) and a file's contents under it by device path
  // ("\Application Data\Melodex\log.txt"); empty when missing.
  const std::string& root() const { return root_; }
  std::string readDeviceFile(const std::string& devicePath) const;

 private:
  void dispatchUntilEmpty();
  std::string root_;
  bool ownsRoot_ = false;
  bool quit_ = false;
  int quitCode_ = 0;
};

}  // namespace device
