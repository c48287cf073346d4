// The display contract: shows the phone's screen and delivers the host's input to the platform.
// Backends: sdl (a desktop window) and headless (nothing shown). The platform picks one at start
// (device/Display.cpp); the user-interface thread is the only caller.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

#include "device/Surface.h"

namespace device {

class DisplayBackend {
 public:
  virtual ~DisplayBackend() = default;
  // Shows the screen's current picture.
  virtual void present(const Surface& screen) = 0;
  // Waits, with lk held on entry and on return, until cv is notified, the host has input (which
  // the backend hands to the platform's input queue), or realTimeoutMs passes (none = forever).
  virtual void wait(std::unique_lock<std::mutex>& lk, std::condition_variable& cv,
                    std::optional<uint64_t> realTimeoutMs) = 0;
  // Ends a wait from any thread (the platform also notifies cv).
  virtual void wake() = 0;
};

std::unique_ptr<DisplayBackend> CreateHeadlessDisplay();
// Null when SDL cannot open a window (no display); the caller falls back or fails.
std::unique_ptr<DisplayBackend> CreateSdlDisplay(int width, int height, int scale);

}  // namespace device
