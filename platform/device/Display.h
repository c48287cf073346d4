// The display in use, and the idle hook through which the headless runner drives an idle
// program under the virtual clock.
#pragma once

#include <functional>

#include "backends/display/DisplayBackend.h"

namespace device {

// The backend chosen by options().headless, created on first use (the SDL window opens then).
DisplayBackend& display();
// Replaces the display (tests and the headless runner choose theirs before the program starts).
void SetDisplay(std::unique_ptr<DisplayBackend> backend);

// Under the virtual clock an idle GetMessageW calls the hook (the runner's next script step).
// RunIdleHook returns false when no hook is set.
void SetIdleHook(std::function<void()> hook);
bool RunIdleHook();

}  // namespace device
