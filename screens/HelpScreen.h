// HelpScreen, screen id 9: four topics in a list under a banner; a topic's text
// fills the screen until Back returns to the list.
#pragma once

#include "app/MelodexScreen.h"

enum { HELP_TOPIC_COUNT = 4, HELP_TOPIC_ABOUT = 3 };

// GIF resource 145, 320 x 46: the banner with the words Help Me Out.
#define IDB_HELP_HEADER 145
// String-table entries 3, 4, 5 are the texts of topics 0, 1, 2.
#define IDS_HELP_FIRST 3
// The topic text buffer, in UTF-16 units.
#define HELP_TEXT_UNITS 512

class HelpScreen : public MelodexScreen {
 public:
  HelpScreen(HINSTANCE hInst, HWND hWnd);
  ~HelpScreen();

  void paint(PAINTSTRUCT* ps, RECT* clientRect);
  LRESULT handleKey(WPARAM vk, LPARAM keyData);
  void activate();
  void deactivate();
  // Shows the highlighted topic's text and removes the Select label.
  void openTopic();

  // The title of topic index in the list; "????" for any other index.
  static LPCWSTR topicTitle(LONG index);
  // Fills buffer (HELP_TEXT_UNITS units) with topic index's text: the string-table entry for
  // 0 to 2, the formatted about text for 3.
  void loadTopicText(LONG index, WCHAR* buffer);

  HBITMAP headerImage;
  BITMAP headerSize;
  HFONT font;
  HBRUSH highlightBrush;  // RGB 255, 252, 0
  bool topicOpen;
  LONG selectedItem;

 private:
  void drawTopicList();
  void drawTopicText();
  void handleTopicKey(WPARAM vk);
  void handleListKey(WPARAM vk);
};
