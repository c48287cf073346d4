// ManageScreen, screen id 8: the saved identification results, newest first, one row each with
// the day it was saved and "artist - title". The highlighted row scrolls sideways when it is too
// wide. From here a result is opened in the results screen, deleted, or a new identification
// started, the last two through the Options menu on the right soft key. The list is read afresh
// from the history files each time the screen becomes current.
#pragma once

#include <windows.h>

#include "app/MelodexScreen.h"
#include "screens/SideScroll.h"

class TagRecord;

#define IDB_MANAGE_HEADER 139  // the Manage IDs banner, 320 x 46

enum {
  HISTORY_ROWS = 10,          // the history keeps ten results
  MENU_ITEMS = 3,
  MENU_ID_INFO = 0,
  MENU_DELETE_ID = 1,
  MENU_NEW_ID = 2,
  MENU_WIDTH = 100,
  ROW_TEXT_UNITS = 512,       // "artist - title", cut to fit
  TIMER_ROW_PAUSE = 300,
  TIMER_ROW_STEP = 301,
};

class ManageScreen : public MelodexScreen {
 public:
  ManageScreen(HINSTANCE hInst, HWND hWnd);
  // Never reached while the program runs.
  ~ManageScreen();

  void paint(PAINTSTRUCT* ps, RECT* clientRect);
  LRESULT handleKey(WPARAM vk, LPARAM keyData);
  void handleTimer(WPARAM timerId, LPARAM lParam);
  void activate();
  void deactivate();

  // Reads the list from the history files: entries, entryCount, the display order and the menu
  // labels. The highlighted position and the first shown position stay.
  void buildList();
  // The highlighted row's scroll starts again from its start, after a pause.
  void restartMarquee();
  // The highlighted row's scroll stops, at its start.
  void stopMarquee();
  // What the action key and the right arrow do, with the menu open or closed.
  void performAction();
  // The record at the highlighted display position, or null when none is shown there.
  TagRecord* highlightedRecord();

  TagRecord* entries[HISTORY_ROWS];  // owned, in the order they were loaded; empty slots null
  HBITMAP headerImage;
  BITMAP headerSize;
  HFONT listFont;
  TEXTMETRICW textMetrics;  // tmHeight sets the row height
  HPEN highlightPen;        // the line above each row that is not highlighted
  HBRUSH highlightBrush;    // the highlighted row and menu item
  HBRUSH whiteBrush;        // inside the Options menu
  HBRUSH blackBrush;        // the Options menu's frame
  LONG selectedRow;         // highlighted display position; 0 is the newest result
  LONG topRow;              // display position shown in the first row
  LONG entryCount;          // records in entries
  LONG visibleRows;         // rows that fit in the list area
  bool menuOpen;
  LONG menuSelection;       // 0 to 2
  WCHAR* menuLabels[MENU_ITEMS];  // owned, or null
  // For every display position, the slot of entries shown there, or -1 where no record is
  // shown. Worked out when the list is read, so that a key arriving before the next paint acts
  // on the list as it is now.
  LONG rowOrder[HISTORY_ROWS];
  SideScroll marquee;       // the highlighted row's sideways scroll
  RECT listRect;            // between the title image and the soft-key bar
  RECT menuRect;
  RECT menuFrameRect;
  LONG menuItemHeight;

 private:
  void computeListLayout();
  void orderRows();
  void releaseList();
  void drawRow(const RECT* row, const TagRecord* entry, bool highlighted);
  void drawMenu(const RECT* client);
  void handleMenuKey(WPARAM vk);
  void handleListKey(WPARAM vk);
  void openHighlighted();
  void startNewIdentification();
};
