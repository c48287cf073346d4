// Navigation among the screens of the screen table and the back stack.
#pragma once

#include "app/AppState.h"

// Makes the given screen current: the old screen deactivated, the new one created if need be,
// made current, activated, and the window repainted. Call it on the user-interface
// thread; a worker thread asks for a switch with RequestSwitchScreen (app/WorkerRequests.h).
void SwitchScreen(ScreenId id);

// The ten-entry back stack. A Back action is SwitchScreen(PopScreen()).
void PushScreen(ScreenId id);
ScreenId PopScreen();
