// ResultsScreen, screen id 6: one identification result (artist, title, picture, links), or
// the no-match picture when the identification found no song.
#pragma once

#include "app/MelodexScreen.h"
#include "screens/SideScroll.h"

class TagRecord;

// GIF resources.
#define IDB_RESULTS_HEADER 144   // ID Success!, 320 x 46: a record is shown
#define IDB_NO_RESULT_HEADER 113 // the product name, 320 x 46: no song was found
#define IDB_NO_MATCH 124         // Sorry, No Match Try Again!, 240 x 120
#define IDB_DEFAULT_ART 127      // framed product logo, 88 x 88
#define IDB_LINKS_HEADING 130    // get:, 87 x 22

// The link list's entries: the four links in the order they are listed, then Share ID, which
// every result has.
enum {
  LINK_RINGER = 0,
  LINK_FULL_SONG = 1,
  LINK_WALLPAPER = 2,
  LINK_RECOMMEND = 3,
  LINK_SHARE_ID = 4,
  LINK_KINDS = 5,
  LINK_FIELDS = 4,
};

// The window timers of the two scrolling lines.
enum {
  TIMER_ARTIST_PAUSE = 400,
  TIMER_ARTIST_STEP = 401,
  TIMER_TRACK_PAUSE = 402,
  TIMER_TRACK_STEP = 403,
};

class ResultsScreen : public MelodexScreen {
 public:
  ResultsScreen(HINSTANCE hInst, HWND hWnd);
  // Never reached while the program runs.
  ~ResultsScreen();

  void paint(PAINTSTRUCT* ps, RECT* clientRect);
  LRESULT handleKey(WPARAM vk, LPARAM keyData);
  void handleTimer(WPARAM timerId, LPARAM lParam);
  void activate();
  void deactivate();

  // Borrows the record to show (null: no song was identified). Called right after the switch
  // to this screen, so after activate; the screen never frees the record. Nothing else
  // changes: the selection, the picture and the scroll state stay.
  void setRecord(TagRecord* record);

  // The text of link kind (LINK_RINGER ... LINK_RECOMMEND) when the record carries it, else
  // null: a field that is missing, empty or exactly "null" is no link.
  static const char* presentLink(const TagRecord* record, int kind);

  TagRecord* record;  // borrowed, or null

  HBITMAP successHeader;
  BITMAP successHeaderSize;
  HBITMAP plainHeader;
  BITMAP plainHeaderSize;
  HBITMAP noMatchImage;
  BITMAP noMatchSize;
  HBITMAP defaultArt;
  BITMAP defaultArtSize;
  // The picture in use: one read from the result's .jpg file (owned), or defaultArt (not
  // owned separately); null while no picture is loaded.
  HBITMAP artBitmap;
  BITMAP artBitmapSize;
  HBITMAP headingImage;
  BITMAP headingSize;
  HBITMAP linkImages[LINK_KINDS][2];  // [kind][0] normal, [kind][1] highlighted
  BITMAP linkSizes[LINK_KINDS][2];

  HFONT font;
  LONG selectedEntry;  // highlighted entry of the link list, from 0
  LONG entryCount;     // entries at the last paint: the present links plus Share ID
  bool artLoaded;      // artBitmap holds this activation's picture
  SideScroll artistScroll;
  SideScroll trackScroll;

 private:
  void drawNoMatch(const RECT* client, LONG headerHeight);
  void drawTextBlock(const RECT* block);
  void loadArt();
  void drawLinkList(LONG x, LONG y);
  void openSelectedLink();
};
