#include "screens/ResultsScreen.h"

#include <aygshell.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "app/AppState.h"
#include "app/Drawing.h"
#include "app/Navigation.h"
#include "app/SoftKeyBar.h"
#include "app/Utilities.h"
#include "screens/SMSScreen.h"
#include "store/TagRecord.h"

// The entries' images, normal and highlighted, in the order of the link kinds: Ringtone, Full
// song, Wallpaper, Recommend, Share ID.
static const int kLinkImageIds[LINK_KINDS][2] = {{133, 134}, {128, 129}, {137, 138}, {131, 132}, {135, 136}};

#define TEXT_BLOCK_HEIGHT 40

ResultsScreen::ResultsScreen(HINSTANCE hInst, HWND hWnd)
    : MelodexScreen(hInst, hWnd), record(NULL), artBitmap(NULL), selectedEntry(0), entryCount(1), artLoaded(false) {
  successHeader = LoadImageResource(hInst, IDB_RESULTS_HEADER, &successHeaderSize);
  plainHeader = LoadImageResource(hInst, IDB_NO_RESULT_HEADER, &plainHeaderSize);
  noMatchImage = LoadImageResource(hInst, IDB_NO_MATCH, &noMatchSize);
  defaultArt = LoadImageResource(hInst, IDB_DEFAULT_ART, &defaultArtSize);
  memset(&artBitmapSize, 0, sizeof artBitmapSize);
  headingImage = LoadImageResource(hInst, IDB_LINKS_HEADING, &headingSize);
  for (int kind = 0; kind < LINK_KINDS; kind++)
    for (int lit = 0; lit < 2; lit++)
      linkImages[kind][lit] = LoadImageResource(hInst, kLinkImageIds[kind][lit], &linkSizes[kind][lit]);
  font = CreateScreenFont(0);
  artistScroll.forward = true;
  artistScroll.offset = 0;
  artistScroll.overflow = 0;
  trackScroll = artistScroll;
}

ResultsScreen::~ResultsScreen() {
  HBITMAP images[] = {successHeader, plainHeader, noMatchImage, defaultArt, headingImage};
  for (HBITMAP image : images)
    if (image != NULL) DeleteObject(image);
  if (artBitmap != NULL && artBitmap != defaultArt) DeleteObject(artBitmap);
  for (int kind = 0; kind < LINK_KINDS; kind++)
    for (int lit = 0; lit < 2; lit++)
      if (linkImages[kind][lit] != NULL) DeleteObject(linkImages[kind][lit]);
  if (font != NULL) DeleteObject(font);
}

void ResultsScreen::setRecord(TagRecord* shown) { record = shown; }

// The service sends the four letters "null" for a link it does not have; only that exact
// spelling means no link: "Null" or " null" are links and are opened as they are.
const char* ResultsScreen::presentLink(const TagRecord* shown, int kind) {
  if (shown == NULL) return NULL;
  const char* text = NULL;
  switch (kind) {
    case LINK_RINGER: text = shown->ringer; break;
    case LINK_FULL_SONG: text = shown->fullSong; break;
    case LINK_WALLPAPER: text = shown->wallpaper; break;
    case LINK_RECOMMEND: text = shown->recommend; break;
  }
  if (text == NULL || text[0] == 0 || strcmp(text, "null") == 0) return NULL;
  return text;
}

void ResultsScreen::activate() {
  g_softKeyBar->setLeftImage(IDB_LABEL_BACK);
  g_softKeyBar->setRightImage(IDB_LABEL_NEW_ID);
  SetTimer(hWnd, TIMER_ARTIST_PAUSE, SIDE_SCROLL_PAUSE_MS, NULL);
  SetTimer(hWnd, TIMER_TRACK_PAUSE, SIDE_SCROLL_PAUSE_MS, NULL);
}

// The picture is dropped so that the next visit reads it from its file again. The direction
// flags and the overflows stay: a line left while moving back first takes a single backward
// step after the next pause.
void ResultsScreen::deactivate() {
  artLoaded = false;
  if (artBitmap != NULL && artBitmap != defaultArt) DeleteObject(artBitmap);
  artBitmap = NULL;
  KillTimer(hWnd, TIMER_ARTIST_PAUSE);
  KillTimer(hWnd, TIMER_ARTIST_STEP);
  KillTimer(hWnd, TIMER_TRACK_PAUSE);
  KillTimer(hWnd, TIMER_TRACK_STEP);
  artistScroll.offset = 0;
  trackScroll.offset = 0;
  selectedEntry = 0;
}

// The lines keep moving even when their text fits; the offset is then simply not used.
void ResultsScreen::handleTimer(WPARAM timerId, LPARAM lParam) {
  switch (timerId) {
    case TIMER_ARTIST_PAUSE: EndSideScrollPause(hWnd, TIMER_ARTIST_PAUSE, TIMER_ARTIST_STEP); break;
    case TIMER_ARTIST_STEP: StepSideScroll(hWnd, &artistScroll, TIMER_ARTIST_PAUSE, TIMER_ARTIST_STEP); break;
    case TIMER_TRACK_PAUSE: EndSideScrollPause(hWnd, TIMER_TRACK_PAUSE, TIMER_TRACK_STEP); break;
    case TIMER_TRACK_STEP: StepSideScroll(hWnd, &trackScroll, TIMER_TRACK_PAUSE, TIMER_TRACK_STEP); break;
  }
  RequestRepaint(g_hWnd);
}

// Codes 1 and 2 and the two Windows keys are what some phones send for the soft keys.
LRESULT ResultsScreen::handleKey(WPARAM vk, LPARAM keyData) {
  switch (vk) {
    case VK_UP:
      selectedEntry--;
      if (selectedEntry < 0) selectedEntry = entryCount - 1;
      break;
    case VK_DOWN:
      selectedEntry++;
      if (selectedEntry >= entryCount) selectedEntry = 0;
      break;
    case VK_RETURN: openSelectedLink(); break;
    case 0x01:
    case VK_ESCAPE:
    case VK_LEFT:
    case VK_LWIN:
    case VK_F1: SwitchScreen(PopScreen()); break;
    // After new ID! the next result's first Back pops this screen's own id, which changes
    // nothing; the second leaves.
    case 0x02:
    case VK_RWIN:
    case VK_F2:
      SwitchScreen(SCREEN_LISTENING);
      PushScreen(SCREEN_RESULTS);
      break;
  }
  RequestRepaint(g_hWnd);
  return 0;
}

// A link opens in the browser and the screen stays; Share ID hands the record to the SMS
// screen, whose send comes back here.
void ResultsScreen::openSelectedLink() {
  if (record == NULL) return;
  LONG k = 0;
  for (int kind = 0; kind < LINK_FIELDS; kind++) {
    const char* link = presentLink(record, kind);
    if (link == NULL) continue;
    if (k == selectedEntry) {
      LaunchURL(link);
      return;
    }
    k++;
  }
  SwitchScreen(SCREEN_SMS);
  if (g_nCurrentScreen == SCREEN_SMS && g_screens[SCREEN_SMS] != NULL)
    ((SMSScreen*)g_screens[SCREEN_SMS])->setRecord(record);
  PushScreen(SCREEN_RESULTS);
}

void ResultsScreen::paint(PAINTSTRUCT* ps, RECT* clientRect) {
  const RECT& c = *clientRect;
  eraseBackground(g_hdcBack, clientRect);
  // Both headers are placed by the success header's width: 320 pixels, cropped at both sides
  // of a 240-pixel screen.
  LONG headerX = c.right / 2 - successHeaderSize.bmWidth / 2;
  if (record != NULL) DrawImage(g_hdcBack, successHeader, &successHeaderSize, headerX, 0);
  else DrawImage(g_hdcBack, plainHeader, &plainHeaderSize, headerX, 0);
  LONG h = successHeaderSize.bmHeight;
  if (record == NULL) {
    drawNoMatch(clientRect, h);
  } else {
    // A narrow window has the link list beside a 113-pixel art column (10 + 113 + 10), under a
    // text block across the whole width; a wide one has it at the right edge.
    bool narrow = c.right <= NARROW_SCREEN_WIDTH;
    RECT block = {c.left, c.top + h, narrow ? c.right : c.right - 105, c.top + h + TEXT_BLOCK_HEIGHT};
    drawTextBlock(&block);
    if (!artLoaded) loadArt();
    DrawImage(g_hdcBack, artBitmap, &artBitmapSize, c.left + 10, c.top + h + 45);
    if (narrow) drawLinkList(c.left + 133, c.top + h + 45);
    else drawLinkList(c.right - 100, c.top + h + 15);
  }
  g_softKeyBar->drawSoftKeyBar(g_hdcBack);
  PresentBackBuffer(ps, clientRect);
}

// Centred in the band between the header and the soft-key bar.
void ResultsScreen::drawNoMatch(const RECT* client, LONG headerHeight) {
  LONG bandTop = client->top + headerHeight;
  LONG x = client->right / 2 - noMatchSize.bmWidth / 2;
  LONG y = bandTop + (client->bottom - SOFT_KEY_BAR_HEIGHT - bandTop) / 2 - noMatchSize.bmHeight / 2;
  DrawImage(g_hdcBack, noMatchImage, &noMatchSize, x, y);
}

// Two rows, artist over track title: a right-aligned label in the first fifth, the value after
// a 10-pixel gap. A value wider than its place scrolls sideways inside it.
void ResultsScreen::drawTextBlock(const RECT* block) {
  LONG l = block->left, t = block->top, r = block->right, b = block->bottom;
  LONG mid = t + (b - t) / 2 - 1;
  LONG labelRight = l + (r - l) / 5 - 1;
  LONG valueLeft = l + (r - l) / 5 + 10;
  RECT artistLabel = {l, t, labelRight, mid};
  RECT artistValue = {valueLeft, t, r, mid};
  RECT trackLabel = {l, mid + 1, labelRight, b};
  RECT trackValue = {valueLeft, mid + 1, r, b};
  SetBkColor(g_hdcBack, COLOUR_WHITE);
  SelectObject(g_hdcBack, font);
  static const WCHAR empty[1] = {0};
  const WCHAR* artist = record->artist != NULL ? record->artist : empty;
  const WCHAR* title = record->trackTitle != NULL ? record->trackTitle : empty;
  artistScroll.overflow = DrawSideScrolledText(g_hdcBack, artist, &artistValue, artistScroll.offset);
  trackScroll.overflow = DrawSideScrolledText(g_hdcBack, title, &trackValue, trackScroll.offset);
  SetBkColor(g_hdcBack, COLOUR_WHITE);
  DrawTextW(g_hdcBack, TEXT("Artist:"), -1, &artistLabel, DT_SINGLELINE | DT_VCENTER | DT_RIGHT);
  DrawTextW(g_hdcBack, TEXT("Track:"), -1, &trackLabel, DT_SINGLELINE | DT_VCENTER | DT_RIGHT);
}

// Read once per activation from the result's .jpg file. No file, an empty one or one that is
// not a picture gives the default art, silently.
void ResultsScreen::loadArt() {
  char* path = record->jpgPath();
  if (path != NULL) {
    FILE* file = fopen(path, "rb");
    if (file != NULL) {
      fclose(file);
      WCHAR* widePath = ToWideString(path);
      if (widePath != NULL) {
        artBitmap = SHLoadImageFile(widePath);
        free(widePath);
      }
    }
    free(path);
  }
  if (artBitmap == NULL) artBitmap = defaultArt;
  memset(&artBitmapSize, 0, sizeof artBitmapSize);
  if (artBitmap != NULL) GetObjectW(artBitmap, sizeof artBitmapSize, &artBitmapSize);
  artLoaded = true;
}

// The heading, then one entry per present link and Share ID last, stacked without gaps.
void ResultsScreen::drawLinkList(LONG x, LONG y) {
  DrawImage(g_hdcBack, headingImage, &headingSize, x, y);
  LONG d = headingSize.bmHeight;
  LONG k = 0;
  for (int kind = 0; kind < LINK_FIELDS; kind++) {
    if (presentLink(record, kind) == NULL) continue;
    int lit = k == selectedEntry ? 1 : 0;
    DrawImage(g_hdcBack, linkImages[kind][lit], &linkSizes[kind][lit], x, y + d);
    d += linkSizes[kind][lit].bmHeight;
    k++;
  }
  int lit = k == selectedEntry ? 1 : 0;
  DrawImage(g_hdcBack, linkImages[LINK_SHARE_ID][lit], &linkSizes[LINK_SHARE_ID][lit], x, y + d);
  entryCount = k + 1;
}
