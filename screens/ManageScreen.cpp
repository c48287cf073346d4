#include "screens/ManageScreen.h"

#include <new>
#include <stdlib.h>
#include <string.h>

#include "app/AppState.h"
#include "app/Drawing.h"
#include "app/Navigation.h"
#include "app/SoftKeyBar.h"
#include "screens/ResultsScreen.h"
#include "store/StoreFiles.h"
#include "store/TagRecord.h"

// The list's top when the title image cannot be loaded: the height the banner has.
#define DEFAULT_TITLE_HEIGHT 46
// The date column, "12/31" at the longest, and the gap before the text column.
#define DATE_COLUMN_WIDTH 40
#define DATE_TEXT_UNITS 6

static const WCHAR* const kMenuTexts[MENU_ITEMS] = {TEXT("ID Info"), TEXT("Delete ID"), TEXT("New ID!")};

ManageScreen::ManageScreen(HINSTANCE hInst, HWND hWnd) : MelodexScreen(hInst, hWnd) {
  headerImage = LoadImageResource(hInst, IDB_MANAGE_HEADER, &headerSize);
  for (int slot = 0; slot < HISTORY_ROWS; slot++) entries[slot] = NULL;
  menuOpen = false;
  listFont = CreateScreenFont(0);
  memset(&textMetrics, 0, sizeof textMetrics);
  SelectObject(g_hdcImage, listFont);
  GetTextMetricsW(g_hdcImage, &textMetrics);
  highlightPen = CreatePen(PS_SOLID, 1, COLOUR_HIGHLIGHT);
  highlightBrush = CreateSolidBrush(COLOUR_HIGHLIGHT);
  whiteBrush = CreateSolidBrush(COLOUR_WHITE);
  blackBrush = CreateSolidBrush(RGB(0, 0, 0));
  selectedRow = 0;
  topRow = 0;
  entryCount = 0;
  visibleRows = 0;
  menuSelection = 0;
  for (int position = 0; position < HISTORY_ROWS; position++) rowOrder[position] = -1;
  marquee.forward = true;
  marquee.offset = 0;
  marquee.overflow = 0;
  for (int item = 0; item < MENU_ITEMS; item++) menuLabels[item] = NULL;
  memset(&menuRect, 0, sizeof menuRect);
  memset(&menuFrameRect, 0, sizeof menuFrameRect);
  menuItemHeight = 0;
  computeListLayout();
  restartMarquee();
}

ManageScreen::~ManageScreen() {
  releaseList();
  for (int item = 0; item < MENU_ITEMS; item++) free(menuLabels[item]);
  if (headerImage != NULL) DeleteObject(headerImage);
  if (listFont != NULL) DeleteObject(listFont);
  if (highlightPen != NULL) DeleteObject(highlightPen);
  if (highlightBrush != NULL) DeleteObject(highlightBrush);
  if (whiteBrush != NULL) DeleteObject(whiteBrush);
  if (blackBrush != NULL) DeleteObject(blackBrush);
}

void ManageScreen::activate() {
  buildList();
  restartMarquee();
  g_softKeyBar->setLeftImage(IDB_LABEL_BACK);
  g_softKeyBar->setRightImage(IDB_LABEL_OPTIONS);
}

void ManageScreen::deactivate() {
  KillTimer(hWnd, TIMER_ROW_PAUSE);
  KillTimer(hWnd, TIMER_ROW_STEP);
  menuOpen = false;
}

void ManageScreen::releaseList() {
  for (int slot = 0; slot < HISTORY_ROWS; slot++) {
    delete entries[slot];
    entries[slot] = NULL;
  }
}

// The history is the set of .dat files; at most ten names are looked at, in the order the file
// system lists them. A file that does not load leaves no gap.
void ManageScreen::buildList() {
  releaseList();
  LONG stored = 0;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(STORE_PATTERN_W, &found);
  if (search != INVALID_HANDLE_VALUE) {
    int looked = 0;
    do {
      looked++;
      TagRecord* entry = new (std::nothrow) TagRecord();
      if (entry == NULL) continue;
      if (entry->load(found.cFileName)) entries[stored++] = entry;
      else delete entry;
    } while (looked < HISTORY_ROWS && FindNextFileW(search, &found));
    FindClose(search);
  }
  entryCount = stored;
  orderRows();
  for (int item = 0; item < MENU_ITEMS; item++) {
    free(menuLabels[item]);
    menuLabels[item] = NULL;
  }
  // With no result only New ID! is offered.
  for (int item = 0; item < MENU_ITEMS; item++)
    if (entryCount > 0 || item == MENU_NEW_ID) menuLabels[item] = _wcsdup(kMenuTexts[item]);
}

// Newest first: numbers follow the order of identification. A record whose file name holds no
// number is never shown (it still counts in entryCount); of records with the same number only
// the one loaded first is shown.
void ManageScreen::orderRows() {
  LONG previous = 0;
  for (int position = 0; position < HISTORY_ROWS; position++) {
    LONG best = -1;
    for (LONG slot = 0; slot < entryCount; slot++) {
      LONG number = entries[slot]->number;
      if (number < 0 || (position > 0 && number >= previous)) continue;
      if (best < 0 || number > entries[best]->number) best = slot;
    }
    rowOrder[position] = best;
    if (best >= 0) previous = entries[best]->number;
  }
}

TagRecord* ManageScreen::highlightedRecord() {
  if (selectedRow < 0 || selectedRow >= HISTORY_ROWS) return NULL;
  LONG slot = rowOrder[selectedRow];
  return slot < 0 ? NULL : entries[slot];
}

void ManageScreen::restartMarquee() {
  KillTimer(hWnd, TIMER_ROW_PAUSE);
  KillTimer(hWnd, TIMER_ROW_STEP);
  marquee.offset = 0;
  SetTimer(hWnd, TIMER_ROW_PAUSE, SIDE_SCROLL_PAUSE_MS, NULL);
}

void ManageScreen::stopMarquee() {
  KillTimer(hWnd, TIMER_ROW_PAUSE);
  KillTimer(hWnd, TIMER_ROW_STEP);
  marquee.offset = 0;
}

// A row that fits keeps cycling through the timers; its offset is simply not used.
void ManageScreen::handleTimer(WPARAM timerId, LPARAM lParam) {
  if (timerId == TIMER_ROW_PAUSE) EndSideScrollPause(hWnd, TIMER_ROW_PAUSE, TIMER_ROW_STEP);
  else if (timerId == TIMER_ROW_STEP) StepSideScroll(hWnd, &marquee, TIMER_ROW_PAUSE, TIMER_ROW_STEP);
  RequestRepaint(g_hWnd);
}

LRESULT ManageScreen::handleKey(WPARAM vk, LPARAM keyData) {
  if (menuOpen) handleMenuKey(vk);
  else handleListKey(vk);
  RequestRepaint(g_hWnd);
  return 0;
}

// While the menu is open Back does nothing: the left arrow or a soft key closes it. Without
// results the selection still moves among the three items although only New ID! is drawn.
void ManageScreen::handleMenuKey(WPARAM vk) {
  switch (vk) {
    case VK_RETURN:
    case VK_RIGHT: performAction(); break;
    case VK_UP: menuSelection--; break;
    case VK_DOWN: menuSelection++; break;
    case VK_LEFT:
    case VK_F1:
    case VK_F2:
      menuOpen = false;
      restartMarquee();
      break;
  }
  if (menuSelection > MENU_ITEMS - 1) menuSelection = 0;
  if (menuSelection < 0) menuSelection = MENU_ITEMS - 1;
}

// Up from the first row shows the last visibleRows rows with the last highlighted; when fewer
// rows than that are saved the first shown position is negative, and the list stays drawn from
// its top.
void ManageScreen::handleListKey(WPARAM vk) {
  switch (vk) {
    case VK_RETURN:
    case VK_RIGHT: performAction(); break;
    case VK_ESCAPE:
    case VK_LEFT:
    case VK_F1: SwitchScreen(PopScreen()); break;
    case VK_UP:
      selectedRow--;
      if (selectedRow < topRow) topRow--;
      restartMarquee();
      break;
    case VK_DOWN:
      selectedRow++;
      if (selectedRow >= topRow + visibleRows) topRow++;
      restartMarquee();
      break;
    case VK_F2:
      menuOpen = true;
      stopMarquee();
      break;
  }
  if (selectedRow < 0) {
    selectedRow = entryCount - 1;
    topRow = entryCount - visibleRows;
  } else if (selectedRow >= entryCount) {
    selectedRow = 0;
    topRow = 0;
  }
}

void ManageScreen::performAction() {
  if (!menuOpen) {
    if (entryCount > 0) openHighlighted();
    return;
  }
  if (entryCount == 0) {
    startNewIdentification();
    return;
  }
  switch (menuSelection) {
    case MENU_ID_INFO: openHighlighted(); break;
    case MENU_DELETE_ID: {
      TagRecord* entry = highlightedRecord();
      if (entry != NULL) entry->deleteFiles();
      if (selectedRow > 0) selectedRow--;
      buildList();
      break;
    }
    case MENU_NEW_ID: startNewIdentification(); break;
  }
  menuOpen = false;
}

// The record stays in this screen's list, which is rebuilt only when this screen becomes
// current again, so it outlives the results screen's use of it. A highlight on a position that
// shows no record (one whose file name holds no number) opens nothing.
void ManageScreen::openHighlighted() {
  TagRecord* entry = highlightedRecord();
  if (entry == NULL) return;
  SwitchScreen(SCREEN_RESULTS);
  if (g_nCurrentScreen == SCREEN_RESULTS && g_screens[SCREEN_RESULTS] != NULL)
    ((ResultsScreen*)g_screens[SCREEN_RESULTS])->setRecord(entry);
  PushScreen(SCREEN_MANAGE);
}

void ManageScreen::startNewIdentification() {
  SwitchScreen(SCREEN_LISTENING);
  PushScreen(SCREEN_MANAGE);
}

void ManageScreen::computeListLayout() {
  GetClientRect(g_hWnd, &listRect);
  listRect.top += headerImage != NULL ? headerSize.bmHeight : DEFAULT_TITLE_HEIGHT;
  listRect.bottom -= SOFT_KEY_BAR_HEIGHT;
  visibleRows = (listRect.bottom - listRect.top) / (textMetrics.tmHeight + 1);
}

void ManageScreen::paint(PAINTSTRUCT* ps, RECT* clientRect) {
  computeListLayout();
  eraseBackground(g_hdcBack, clientRect);
  DrawImage(g_hdcBack, headerImage, &headerSize, clientRect->right / 2 - headerSize.bmWidth / 2, 0);
  g_softKeyBar->drawSoftKeyBar(g_hdcBack);
  RECT row = {listRect.left, listRect.top, listRect.right, listRect.top + textMetrics.tmHeight};
  for (LONG position = 0; position < HISTORY_ROWS; position++) {
    if (rowOrder[position] < 0 || position < topRow || position >= topRow + visibleRows) continue;
    drawRow(&row, entries[rowOrder[position]], position == selectedRow);
    OffsetRect(&row, 0, textMetrics.tmHeight + 1);
  }
  if (menuOpen) drawMenu(clientRect);
  PresentBackBuffer(ps, clientRect);
}

// The day the result was saved, in local time, then "artist - title". The highlighted row is
// yellow and its text scrolls sideways when wider than its column; the others have a yellow
// line above them and are cut at their right edge.
void ManageScreen::drawRow(const RECT* row, const TagRecord* entry, bool highlighted) {
  LONG l = row->left, t = row->top, r = row->right, b = row->bottom;
  SelectObject(g_hdcBack, listFont);
  if (highlighted) {
    RECT fill = {l, t, r, b + 1};
    FillRect(g_hdcBack, &fill, highlightBrush);
    SetBkColor(g_hdcBack, COLOUR_HIGHLIGHT);
  } else {
    HGDIOBJ previousPen = SelectObject(g_hdcBack, highlightPen);
    MoveToEx(g_hdcBack, l, t, NULL);
    LineTo(g_hdcBack, r + 1, t);
    SelectObject(g_hdcBack, previousPen);
    SetBkColor(g_hdcBack, COLOUR_WHITE);
  }

  FILETIME local;
  SYSTEMTIME saved;
  memset(&saved, 0, sizeof saved);
  FileTimeToLocalFileTime(&entry->fileTime, &local);
  FileTimeToSystemTime(&local, &saved);
  WCHAR date[DATE_TEXT_UNITS];
  _snwprintf(date, DATE_TEXT_UNITS, TEXT("%d/%d"), (int)saved.wMonth, (int)saved.wDay);
  date[DATE_TEXT_UNITS - 1] = 0;
  RECT dateColumn = {l, t + 1, l + DATE_COLUMN_WIDTH, b};
  DrawTextW(g_hdcBack, date, -1, &dateColumn, DT_CENTER | DT_VCENTER);

  // An artist and title too long for the buffer together are cut at its end, always
  // terminated.
  static const WCHAR empty[1] = {0};
  WCHAR* text = (WCHAR*)malloc(ROW_TEXT_UNITS * sizeof(WCHAR));
  if (text == NULL) return;
  _snwprintf(text, ROW_TEXT_UNITS, TEXT("%s - %s"), entry->artist != NULL ? entry->artist : empty,
             entry->trackTitle != NULL ? entry->trackTitle : empty);
  text[ROW_TEXT_UNITS - 1] = 0;
  RECT textColumn = {l + DATE_COLUMN_WIDTH + 1, t + 1, r, b};
  if (highlighted) marquee.overflow = DrawSideScrolledText(g_hdcBack, text, &textColumn, marquee.offset);
  else DrawTextW(g_hdcBack, text, -1, &textColumn, DT_VCENTER);
  free(text);
}

// A 100-pixel-wide menu standing on the soft-key bar at the right edge, framed in black (3
// pixels left and top, 1 right and bottom): three items, or New ID! alone when nothing is
// saved.
void ManageScreen::drawMenu(const RECT* client) {
  LONG itemsShown = entryCount > 0 ? MENU_ITEMS : 1;
  LONG menuHeight = (textMetrics.tmHeight + 4) * itemsShown;
  menuRect.right = client->right;
  menuRect.left = client->right - MENU_WIDTH;
  menuRect.bottom = client->bottom - SOFT_KEY_BAR_HEIGHT;
  menuRect.top = menuRect.bottom - menuHeight;
  SetRect(&menuFrameRect, menuRect.left - 3, menuRect.top - 3, menuRect.right + 1, menuRect.bottom + 1);
  FillRect(g_hdcBack, &menuFrameRect, blackBrush);
  FillRect(g_hdcBack, &menuRect, whiteBrush);
  menuItemHeight = menuHeight / itemsShown;
  SelectObject(g_hdcBack, listFont);
  for (LONG i = 0; i < itemsShown; i++) {
    LONG item = entryCount > 0 ? i : MENU_NEW_ID;
    bool lit = entryCount > 0 ? item == menuSelection : true;
    RECT itemRect = {menuRect.left, menuRect.top + i * menuItemHeight, menuRect.right,
                     menuRect.top + (i + 1) * menuItemHeight};
    if (lit) {
      FillRect(g_hdcBack, &itemRect, highlightBrush);
      SetBkColor(g_hdcBack, COLOUR_HIGHLIGHT);
    } else {
      SetBkColor(g_hdcBack, COLOUR_WHITE);
    }
    if (menuLabels[item] != NULL) DrawTextW(g_hdcBack, menuLabels[item], -1, &itemRect, DT_CENTER | DT_VCENTER);
  }
  SetBkColor(g_hdcBack, COLOUR_WHITE);
}
