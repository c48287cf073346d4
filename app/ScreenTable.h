// The classes of the screen table, created by SwitchScreen on first use.
#pragma once

#include "app/AppState.h"

// Creates the screen object for an id, or returns null: for the reserved ids 0 and 2, for ids
// whose class does not exist yet, and when the allocation fails. Called only by SwitchScreen.
MelodexScreen* CreateScreen(ScreenId id, HINSTANCE hInst, HWND hWnd);
