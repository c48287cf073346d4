// Screen switches asked for by worker threads.
//
// Worker threads never touch screens. The recording thread's switch to error screen 11 and the
// identification thread's error screen 10 are posted to the main window as private messages
// and carried out on the user-interface thread by the window procedure, with SwitchScreen's
// order of effects unchanged. These two messages are the one addition to the window
// procedure's table.
#pragma once

#include <windows.h>

#include "app/AppState.h"

// wParam: the ScreenId to switch to; lParam unused. Result 0.
#define WM_MELODEX_SWITCH_SCREEN (WM_APP + 1)
// wParam: the id of the identification thread that failed; lParam unused. Result 0.
// SwitchScreen(10), then setMessage(SEND_ERROR_MESSAGE) on g_screens[10], while that thread's
// identification is still wanted.
#define WM_MELODEX_SEND_ERROR (WM_APP + 2)

// The message handed to error screen 10.
#define SEND_ERROR_MESSAGE TEXT("Error sending recording to the server!")

// From any thread: ask the user-interface thread to SwitchScreen(id). FALSE when the message
// could not be posted.
BOOL RequestSwitchScreen(ScreenId id);
// From the identification thread: ask the user-interface thread to show error screen 10 with
// SEND_ERROR_MESSAGE for the identification that thread runs. FALSE when the message could not
// be posted.
BOOL RequestSendError(DWORD identifyThread);

// On the user-interface thread: SwitchScreen(10), then setMessage(SEND_ERROR_MESSAGE) on its
// object (the analyzing screen's time-out calls this directly).
void ShowSendErrorNow();

// The window procedure's handler for the two messages above.
LRESULT HandleWorkerRequest(UINT message, WPARAM wParam);
