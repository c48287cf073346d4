// SMSScreen, screen id 7: the user types a ten-digit number behind the fixed prefix "+1" and
// sends the shown result's prepared message text to it as a text message. Reached from the
// results screen's Share ID; every send attempt returns there.
#pragma once

#include <windows.h>

#include "app/MelodexScreen.h"

class TagRecord;

// GIF resources.
#define IDB_SMS_HEADER 113  // the product name, 320 x 46
#define IDB_SMS_LOGO 142    // two figures above the product name, 156 x 63
#define IDB_NUMBER_BOX 143  // rounded white box behind the typed number, 140 x 30

enum {
  PHONE_NUMBER_UNITS = 257,  // the number's buffer, in UTF-16 units
  PHONE_NUMBER_LENGTH = 12,  // "+1" and ten digits
  SMS_TEXT_MAX_BYTES = 320,  // one message carries at most 160 UTF-16 units
  SMS_PROVIDER_BLOCK_SIZE = 688,
};

class SMSScreen : public MelodexScreen {
 public:
  SMSScreen(HINSTANCE hInst, HWND hWnd);
  // Never reached while the program runs.
  ~SMSScreen();

  void paint(PAINTSTRUCT* ps, RECT* clientRect);
  LRESULT handleKey(WPARAM vk, LPARAM keyData);
  void activate();
  // Nothing: the typed number stays for the next visit.
  void deactivate();

  // Borrows the record whose message is sent. Called right after the switch to this screen.
  void setRecord(TagRecord* record);
  // Appends a digit while the number has fewer than twelve characters.
  void appendDigit(WCHAR c);
  // Removes the last digit; with only "+1" left, leaves the screen as Back does.
  void deleteDigit();
  // Sends text (at most its first 160 units) to number when number is complete, then returns
  // to the results screen whatever the outcome, without popping the back stack.
  void sendSongMessage(const WCHAR* number, const WCHAR* text);
  // Whether a send result is one of the SMS service's failures that are logged as "SMS Error".
  static bool isLoggedSmsError(HRESULT result);

  TagRecord* record;  // borrowed; null until the first setRecord
  HBITMAP headerImage;
  BITMAP headerSize;
  HBITMAP logoImage;
  BITMAP logoSize;
  HBITMAP boxImage;
  BITMAP boxSize;
  HFONT font;
  WCHAR phoneNumber[PHONE_NUMBER_UNITS];  // "+1" and the digits typed; never reset

 private:
  void drawNumber(const RECT* client, LONG headerHeight);
  void drawDigits(LONG first, LONG count, LONG left, LONG right, LONG top, LONG bottom);
};
