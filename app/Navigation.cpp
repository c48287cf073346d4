// SwitchScreen, PushScreen, PopScreen.
#include "app/Navigation.h"

#include "app/Drawing.h"
#include "app/MelodexScreen.h"
#include "app/ScreenTable.h"

void SwitchScreen(ScreenId id) {
  // An id outside 0 to 11, or the current one, is ignored: no deactivation, no repaint.
  if (id < 0 || id >= SCREEN_COUNT || id == g_nCurrentScreen) return;
  // The old screen is deactivated before the new one is constructed.
  MelodexScreen* current = CurrentScreen();
  if (current != NULL) current->deactivate();
  // Created on first use, kept for good. A failed allocation, or an id whose class does
  // not exist, leaves the entry null; the id then becomes current without a screen object.
  if (g_screens[id] == NULL) g_screens[id] = CreateScreen(id, g_hInst, g_hWnd);
  g_nCurrentScreen = id;
  // Data from the caller (a record, a message) is handed over after this returns.
  if (g_screens[id] != NULL) g_screens[id]->activate();
  // The whole main window.
  RequestRepaint(g_hWnd);
}

// A full stack drops the push; an immediate repeat of the top entry is not stored.
void PushScreen(ScreenId id) {
  if (g_backStackTop >= BACK_STACK_SIZE - 1) return;
  if (g_backStackTop >= 0 && g_backStack[g_backStackTop] == id) return;
  g_backStackTop++;
  g_backStack[g_backStackTop] = id;
}

// An empty stack yields 12, which SwitchScreen ignores.
ScreenId PopScreen() {
  if (g_backStackTop < 0 || g_backStackTop > BACK_STACK_SIZE - 1) return SCREEN_NONE;
  ScreenId id = g_backStack[g_backStackTop];
  g_backStackTop--;
  return id;
}
