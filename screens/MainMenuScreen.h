// MainMenuScreen, screen id 3: four entries drawn as images, chosen with up and
// down and opened with the action key.
#pragma once

#include "app/MelodexScreen.h"

// The entries, in order.
enum { MENU_ID_SONG = 0, MENU_HISTORY = 1, MENU_HELP = 2, MENU_EXIT = 3, MENU_ITEM_COUNT = 4 };

// GIF resources.
#define IDB_MAIN_HEADER 113      // 320 x 46 banner (shared with the error screen)
#define IDB_MENU_ITEM_FIRST 114  // 114 to 117: the entries, black on white, 165 x 35
#define IDB_MENU_SELECTED_FIRST 171  // 171 to 174: the highlighted entries
#define IDB_BRAND 175            // 73 x 51 brand badge

class MainMenuScreen : public MelodexScreen {
 public:
  MainMenuScreen(HINSTANCE hInst, HWND hWnd);
  ~MainMenuScreen();

  void paint(PAINTSTRUCT* ps, RECT* clientRect);
  LRESULT handleKey(WPARAM vk, LPARAM keyData);
  // Opens the highlighted entry, then pushes 3 so that the opened screen's Back returns here.
  void activateItem();

  HBITMAP headerImage;
  HBITMAP itemImages[MENU_ITEM_COUNT];
  HBITMAP brandImage;
  HBITMAP selectedImages[MENU_ITEM_COUNT];
  BITMAP headerSize;
  BITMAP itemSizes[MENU_ITEM_COUNT];      // the layout uses entry 0's (resource 114) for all
  BITMAP brandSize;
  BITMAP selectedSizes[MENU_ITEM_COUNT];
  LONG selectedItem;  // 0 to 3; survives between visits

 private:
  void drawEntries(const RECT* clientRect);
  void wrapSelection();
};
