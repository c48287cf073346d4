// HelpScreen.
#include "screens/HelpScreen.h"

#include <stdlib.h>
#include <string.h>

#include "app/AppState.h"
#include "app/Drawing.h"
#include "app/Navigation.h"
#include "app/SoftKeyBar.h"

// The about text is formatted from the product name and its version.
#define ABOUT_FORMAT TEXT("%s version %s\r\nWindowsMobile")
#define PRODUCT_NAME TEXT("Melodex")
#define PRODUCT_VERSION TEXT("1.2.0")

HelpScreen::HelpScreen(HINSTANCE hInst, HWND hWnd)
    : MelodexScreen(hInst, hWnd), topicOpen(false), selectedItem(0) {
  headerImage = LoadImageResource(hInst, IDB_HELP_HEADER, &headerSize);
  font = CreateScreenFont(16);
  highlightBrush = CreateSolidBrush(COLOUR_HIGHLIGHT);
}

HelpScreen::~HelpScreen() {
  if (headerImage != NULL) DeleteObject(headerImage);
  if (font != NULL) DeleteObject(font);
  if (highlightBrush != NULL) DeleteObject(highlightBrush);
}

void HelpScreen::activate() {
  g_softKeyBar->setLeftImage(IDB_LABEL_BACK);
  g_softKeyBar->setRightImage(IDB_LABEL_SELECT);
}

// The screen always re-opens on the list; the highlighted topic stays.
void HelpScreen::deactivate() { topicOpen = false; }

void HelpScreen::openTopic() {
  topicOpen = true;
  g_softKeyBar->setRightImage(NO_IMAGE);
}

LPCWSTR HelpScreen::topicTitle(LONG index) {
  switch (index) {
    case 0: return TEXT("IDing a Song");
    case 1: return TEXT("Recommendations and More!");
    case 2: return TEXT("Subscription");
    case 3: return TEXT("About Melodex");
    default: return TEXT("????");
  }
}

// LoadStringW is given the buffer's whole size, so a longer entry is cut.
void HelpScreen::loadTopicText(LONG index, WCHAR* buffer) {
  if (index == HELP_TOPIC_ABOUT) wsprintfW(buffer, ABOUT_FORMAT, PRODUCT_NAME, PRODUCT_VERSION);
  else LoadStringW(hInst, IDS_HELP_FIRST + index, buffer, HELP_TEXT_UNITS);
}

// While a topic is shown: Back, left arrow and left soft key return to the list.
void HelpScreen::handleTopicKey(WPARAM vk) {
  if (vk == VK_ESCAPE || vk == VK_LEFT || vk == VK_F1) {
    topicOpen = false;
    g_softKeyBar->setRightImage(IDB_LABEL_SELECT);
  }
}

// While the list is shown. Help leaves by switching to 3 directly, not by the stack.
void HelpScreen::handleListKey(WPARAM vk) {
  if (vk == VK_RETURN || vk == VK_RIGHT || vk == VK_F2) {
    openTopic();
  } else if (vk == VK_ESCAPE || vk == VK_LEFT || vk == VK_F1) {
    SwitchScreen(SCREEN_MAIN_MENU);
  } else if (vk == VK_UP) {
    selectedItem--;
    if (selectedItem < 0) selectedItem = HELP_TOPIC_COUNT - 1;
  } else if (vk == VK_DOWN) {
    selectedItem++;
    if (selectedItem > HELP_TOPIC_COUNT - 1) selectedItem = 0;
  }
}

// Every key, used or not, repaints and returns 0.
LRESULT HelpScreen::handleKey(WPARAM vk, LPARAM keyData) {
  if (topicOpen) handleTopicKey(vk);
  else handleListKey(vk);
  RequestRepaint(hWnd);
  return 0;
}

// The topic list: rows of the font's height + 4 under the banner, the highlighted one
// on the yellow brush; titles centred with DT_CENTER | DT_VCENTER (without DT_SINGLELINE, so
// only the horizontal centring applies, as on Windows).
void HelpScreen::drawTopicList() {
  RECT area;
  GetClientRect(g_hWnd, &area);
  area.top = headerSize.bmHeight;
  TEXTMETRICW metrics;
  SelectObject(g_hdcImage, font);
  GetTextMetricsW(g_hdcImage, &metrics);
  LONG lineHeight = metrics.tmHeight + 4;
  for (LONG i = 0; i < HELP_TOPIC_COUNT; i++) {
    RECT row = {area.left, area.top + i * lineHeight, area.right, area.top + (i + 1) * lineHeight};
    if (i == selectedItem) {
      FillRect(g_hdcBack, &row, highlightBrush);
      SetBkColor(g_hdcBack, COLOUR_HIGHLIGHT);
    } else {
      SetBkColor(g_hdcBack, COLOUR_WHITE);
    }
    SelectObject(g_hdcBack, font);
    DrawTextW(g_hdcBack, topicTitle(i), -1, &row, DT_CENTER | DT_VCENTER);
  }
}

// The topic text: word-wrapped between the banner and the soft-key bar, 10 pixels in.
void HelpScreen::drawTopicText() {
  RECT area;
  GetClientRect(g_hWnd, &area);
  area.left += 10;
  area.top += headerSize.bmHeight;
  area.right -= 10;
  area.bottom -= SOFT_KEY_BAR_HEIGHT;
  WCHAR* text = (WCHAR*)malloc(HELP_TEXT_UNITS * sizeof(WCHAR));
  if (text == NULL) return;
  text[0] = 0;
  loadTopicText(selectedItem, text);
  SelectObject(g_hdcBack, font);
  SetBkColor(g_hdcBack, COLOUR_WHITE);
  DrawTextW(g_hdcBack, text, -1, &area, DT_WORDBREAK);
  free(text);
}

void HelpScreen::paint(PAINTSTRUCT* ps, RECT* clientRect) {
  eraseBackground(g_hdcBack, clientRect);                                                   // 1
  DrawImage(g_hdcBack, headerImage, &headerSize, clientRect->right / 2 - headerSize.bmWidth / 2, 0);  // 2
  if (topicOpen) drawTopicText();                                                           // 3
  else drawTopicList();
  g_softKeyBar->drawSoftKeyBar(g_hdcBack);                                                  // 4
  PresentBackBuffer(ps, clientRect);                                                        // 5
}
