// Navigation among the screens of the screen table and the back stack (Part 1.2).
#pragma once

#include "app/AppState.h"

// Makes the given screen current, in Part 1.2's six steps. Call it on the user-interface
// thread; a worker thread asks for a switch with RequestSwitchScreen (app/WorkerRequests.h).
void SwitchScreen(ScreenId id);

// The ten-entry back stack. A Back action is SwitchScreen(PopScreen()).
void PushScreen(ScreenId id);
ScreenId PopScreen();
