// The display in use, and the idle hook through which the headless runner drives an idle
// program under the virtual clock.
#pragma once

#include <functional>
#include <string>

#include "backends/display/DisplayBackend.h"

namespace device {

// The backend chosen by options().headless, created on first use (the SDL window opens then).
DisplayBackend& display();
// Replaces the display (tests and the headless runner choose theirs before the program starts).
void SetDisplay(std::unique_ptr<DisplayBackend> backend);

// A one-line notice on the emulator's own chrome, outside the phone's screen, for what the phone
// does that a person trying the program would otherwise not see (a text message leaving). Any
// thread; the headless display shows nothing.
void ShowNotice(const std::string& utf8);

// Under the virtual clock an idle GetMessageW calls the hook (the runner's next script step).
// RunIdleHook returns false when no hook is set.
void SetIdleHook(std::function<void()> hook);
bool RunIdleHook();

}  // namespace device
