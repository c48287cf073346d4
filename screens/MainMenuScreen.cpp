// MainMenuScreen.
#include "screens/MainMenuScreen.h"

#include "app/AppState.h"
#include "app/Drawing.h"
#include "app/Navigation.h"

MainMenuScreen::MainMenuScreen(HINSTANCE hInst, HWND hWnd) : MelodexScreen(hInst, hWnd), selectedItem(0) {
  headerImage = LoadImageResource(hInst, IDB_MAIN_HEADER, &headerSize);
  for (int k = 0; k < MENU_ITEM_COUNT; k++) {
    itemImages[k] = LoadImageResource(hInst, IDB_MENU_ITEM_FIRST + k, &itemSizes[k]);
    selectedImages[k] = LoadImageResource(hInst, IDB_MENU_SELECTED_FIRST + k, &selectedSizes[k]);
  }
  brandImage = LoadImageResource(hInst, IDB_BRAND, &brandSize);
}

MainMenuScreen::~MainMenuScreen() {
  if (headerImage != NULL) DeleteObject(headerImage);
  for (int k = 0; k < MENU_ITEM_COUNT; k++) {
    if (itemImages[k] != NULL) DeleteObject(itemImages[k]);
    if (selectedImages[k] != NULL) DeleteObject(selectedImages[k]);
  }
  if (brandImage != NULL) DeleteObject(brandImage);
}

// One column centred below the header, entry k at y0 + k x h, the highlighted one from
// selectedImages. All divisions truncate towards zero.
void MainMenuScreen::drawEntries(const RECT* clientRect) {
  LONG w = itemSizes[0].bmWidth;
  LONG h = itemSizes[0].bmHeight;
  LONG x = clientRect->right / 2 - w / 2;
  LONG y0 = headerSize.bmHeight + (clientRect->bottom - headerSize.bmHeight) / 2 - (4 * h) / 2;
  for (LONG k = 0; k < MENU_ITEM_COUNT; k++) {
    if (k == selectedItem) DrawImage(g_hdcBack, selectedImages[k], &selectedSizes[k], x, y0 + k * h);
    else DrawImage(g_hdcBack, itemImages[k], &itemSizes[k], x, y0 + k * h);
  }
}

void MainMenuScreen::paint(PAINTSTRUCT* ps, RECT* clientRect) {
  // The client rectangle of g_hWnd, white.
  RECT client;
  GetClientRect(g_hWnd, &client);
  FillWithColour(g_hdcBack, &client, COLOUR_WHITE);
  // The banner, centred at the top.
  DrawImage(g_hdcBack, headerImage, &headerSize, clientRect->right / 2 - headerSize.bmWidth / 2, 0);
  drawEntries(clientRect);
  // The partner badge sits in the bottom right corner, over the menu's white margin.
  DrawImage(g_hdcBack, brandImage, &brandSize, clientRect->right - brandSize.bmWidth,
            clientRect->bottom - brandSize.bmHeight);
  PresentBackBuffer(ps, clientRect);
}

// The highlight wraps: below 0 it becomes 3, above 3 it becomes 0.
void MainMenuScreen::wrapSelection() {
  if (selectedItem < 0) selectedItem = MENU_ITEM_COUNT - 1;
  if (selectedItem > MENU_ITEM_COUNT - 1) selectedItem = 0;
}

LRESULT MainMenuScreen::handleKey(WPARAM vk, LPARAM keyData) {
  switch (vk) {
    case VK_RETURN:
    case VK_RIGHT: activateItem(); break;
    // The Back key hides the program; the process keeps running.
    case VK_ESCAPE: ShowWindow(hWnd, SW_HIDE); break;
    case VK_UP: selectedItem--; break;
    case VK_DOWN: selectedItem++; break;
    // Any other key, the soft keys included: not used.
    default: return 1;
  }
  // After any of the four used rows: wrap, repaint, result 0.
  wrapSelection();
  RequestRepaint(hWnd);
  return 0;
}

void MainMenuScreen::activateItem() {
  switch (selectedItem) {
    case MENU_ID_SONG: SwitchScreen(SCREEN_LISTENING); break;
    case MENU_HISTORY: SwitchScreen(SCREEN_MANAGE); break;
    case MENU_HELP: SwitchScreen(SCREEN_HELP); break;
    case MENU_EXIT: PostQuitMessage(0); break;
  }
  PushScreen(SCREEN_MAIN_MENU);
}
