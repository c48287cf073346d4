// The display contract: shows the phone's screen, and hands the host's input back to the phone
// through PhoneInput, its one way back in. Backends: sdl (a desktop window) and headless
// (nothing shown). The platform picks one at start (device/Display.cpp); the user-interface
// thread is the only caller, except for wake.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "device/Surface.h"

namespace device {

// What a display hands back into the phone, on the user-interface thread inside wait.
class PhoneInput {
 public:
  virtual ~PhoneInput() = default;
  // A phone key (a Win32 virtual-key code) pressed or released.
  virtual void key(bool down, unsigned int vk) = 0;
  // The host window gained or lost the keyboard focus.
  virtual void focus(bool gained) = 0;
  // The emulator's window was closed: the phone is switched off.
  virtual void switchOff() = 0;
};

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
  // Shows a one-line notice (UTF-8) on the emulator's chrome, outside the phone's screen, until
  // the next one; from any thread. A display without chrome ignores it.
  virtual void notice(const std::string& utf8) {}
};

std::unique_ptr<DisplayBackend> CreateHeadlessDisplay();
// Null when SDL cannot open a window (no display); the caller falls back or fails.
std::unique_ptr<DisplayBackend> CreateSdlDisplay(int width, int height, int scale, PhoneInput& input);

}  // namespace device
