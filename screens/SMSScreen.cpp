#include "screens/SMSScreen.h"

#include <sms.h>
#include <stdlib.h>
#include <string.h>

#include "app/AppState.h"
#include "app/Drawing.h"
#include "app/Log.h"
#include "app/Navigation.h"
#include "app/SoftKeyBar.h"
#include "app/Utilities.h"
#include "store/TagRecord.h"

#define PROMPT_TEXT TEXT("Enter a number to send the\r\nsong details and a link to\r\nmore information:")
#define NUMBER_PREFIX TEXT("+1")
#define PREFIX_LENGTH 2

SMSScreen::SMSScreen(HINSTANCE hInst, HWND hWnd) : MelodexScreen(hInst, hWnd), record(NULL) {
  headerImage = LoadImageResource(hInst, IDB_SMS_HEADER, &headerSize);
  logoImage = LoadImageResource(hInst, IDB_SMS_LOGO, &logoSize);
  boxImage = LoadImageResource(hInst, IDB_NUMBER_BOX, &boxSize);
  font = CreateScreenFont(0);
  memset(phoneNumber, 0, sizeof phoneNumber);
  wcscpy(phoneNumber, NUMBER_PREFIX);
}

SMSScreen::~SMSScreen() {
  if (headerImage != NULL) DeleteObject(headerImage);
  if (logoImage != NULL) DeleteObject(logoImage);
  if (boxImage != NULL) DeleteObject(boxImage);
  if (font != NULL) DeleteObject(font);
}

void SMSScreen::setRecord(TagRecord* shared) { record = shared; }

void SMSScreen::activate() {
  g_softKeyBar->setLeftImage(IDB_LABEL_BACK);
  g_softKeyBar->setRightImage(IDB_LABEL_SHARE);
}

void SMSScreen::deactivate() {}

void SMSScreen::appendDigit(WCHAR c) {
  size_t length = wcslen(phoneNumber);
  if (length > PHONE_NUMBER_LENGTH - 1) return;
  phoneNumber[length] = c;
  phoneNumber[length + 1] = 0;
}

void SMSScreen::deleteDigit() {
  size_t length = wcslen(phoneNumber);
  if (length > PREFIX_LENGTH) phoneNumber[length - 1] = 0;
  else SwitchScreen(PopScreen());
}

// There is no plus, star or hash key: the prefix cannot be changed.
LRESULT SMSScreen::handleKey(WPARAM vk, LPARAM keyData) {
  if (vk >= '0' && vk <= '9') {
    appendDigit((WCHAR)vk);
  } else if (vk == VK_BACK || vk == VK_CLEAR || vk == VK_LEFT || vk == VK_DELETE) {
    deleteDigit();
  } else if (vk == VK_ESCAPE || vk == VK_F1) {
    SwitchScreen(PopScreen());
  } else if (vk == VK_F2 && record != NULL) {
    WCHAR* text = ToWideString(record->smsMessage);
    if (text != NULL) sendSongMessage(phoneNumber, text);
    free(text);
  }
  RequestRepaint(g_hWnd);
  return 0;
}

// The SMS service's failures: its two protocol errors, the sixteen message errors from
// "too much data" to "unidentified subscriber", the fourteen radio errors from "misc" to
// "radio unavailable", and "no such registration". Other non-zero results pass silently.
bool SMSScreen::isLoggedSmsError(HRESULT result) {
  DWORD code = (DWORD)result;
  return code == 0x82000001 || code == 0x82000002 || (code >= 0x82000100 && code <= 0x8200010F) ||
         (code >= 0x82000200 && code <= 0x8200020D) || code == 0x02000003;
}

// The message is sent as it came from the service: the program neither composes nor checks it
// (a text of exactly "null" is sent as those four letters).
void SMSScreen::sendSongMessage(const WCHAR* number, const WCHAR* text) {
  if (wcslen(number) < PHONE_NUMBER_LENGTH) return;
  DWORD dataSize = (DWORD)(wcslen(text) * sizeof(WCHAR));
  if (dataSize > SMS_TEXT_MAX_BYTES) dataSize = SMS_TEXT_MAX_BYTES;

  SMS_ADDRESS destination;
  memset(&destination, 0, sizeof destination);
  destination.smsatAddressType = SMSAT_INTERNATIONAL;
  wcsncpy(destination.ptsAddress, number, SMS_MAX_ADDRESS_LENGTH - 1);

  // The text provider's fields open the block. The rest of the block, and the fields not named
  // here (the header data), are zero: the service reads nothing else from it.
  TEXT_PROVIDER_SPECIFIC_DATA fields;
  memset(&fields, 0, sizeof fields);
  fields.dwMessageOptions = PS_MESSAGE_OPTION_NONE;
  fields.psMessageClass = PS_MESSAGE_CLASS1;
  fields.psReplaceOption = PSRO_NONE;
  fields.dwHeaderDataSize = 0;
  fields.fMessageContainsEMSHeaders = FALSE;
  fields.dwProtocolID = 0;
  BYTE providerBlock[SMS_PROVIDER_BLOCK_SIZE];
  memset(providerBlock, 0, sizeof providerBlock);
  memcpy(providerBlock, &fields, sizeof fields);

  SMS_HANDLE sms = 0;
  HANDLE messageAvailable = NULL;
  if (SmsOpen(SMS_MSGTYPE_TEXT, SMS_MODE_SEND, &sms, &messageAvailable) == 0) {
    HRESULT result = SmsSendMessage(sms, NULL, &destination, NULL, (const BYTE*)text, dataSize, providerBlock,
                                    SMS_PROVIDER_BLOCK_SIZE, SMSDE_OPTIMAL, SMS_OPTION_DELIVERY_NONE, NULL);
    if (isLoggedSmsError(result)) WriteLog("SMS Error\r\n");
    SmsClose(sms);
  }
  // The user is not told how the send went. The results screen's id stays on the back stack,
  // so its first Back afterwards changes nothing.
  SwitchScreen(SCREEN_RESULTS);
}

void SMSScreen::paint(PAINTSTRUCT* ps, RECT* clientRect) {
  const RECT& c = *clientRect;
  LONG h = headerSize.bmHeight;
  eraseBackground(g_hdcBack, clientRect);
  DrawImage(g_hdcBack, headerImage, &headerSize, c.right / 2 - headerSize.bmWidth / 2, 0);
  // The back buffer's text colours are shared by every screen; this one's texts are black on
  // white.
  SetBkColor(g_hdcBack, COLOUR_WHITE);
  SelectObject(g_hdcBack, font);
  RECT prompt = {c.left + 30, c.top + h + 20, c.left + 230, c.top + h + 120};
  DrawTextW(g_hdcBack, PROMPT_TEXT, -1, &prompt, 0);
  drawNumber(clientRect, h);
  LONG logoTop = c.right > NARROW_SCREEN_WIDTH ? c.bottom - SOFT_KEY_BAR_HEIGHT - logoSize.bmHeight : c.bottom - SOFT_KEY_BAR_HEIGHT - 62;
  DrawImage(g_hdcBack, logoImage, &logoSize, c.right - logoSize.bmWidth, logoTop);
  g_softKeyBar->drawSoftKeyBar(g_hdcBack);
  PresentBackBuffer(ps, clientRect);
}

// The ten digits in three columns of 3, 3 and 4, 10 pixels apart, inside the box; the prefix is
// never shown. Each column cuts its text at its own edges.
void SMSScreen::drawNumber(const RECT* client, LONG headerHeight) {
  LONG a = client->right <= NARROW_SCREEN_WIDTH ? client->left + 65 : client->left + 35;
  LONG u = client->top + headerHeight + 100;
  LONG bottom = client->bottom - SOFT_KEY_BAR_HEIGHT;
  DrawImage(g_hdcBack, boxImage, &boxSize, a - 15, u - 5);
  SelectObject(g_hdcBack, font);
  LONG length = (LONG)wcslen(phoneNumber);
  drawDigits(2, 3, a, a + 30, u, bottom);
  if (length > 5) drawDigits(5, 3, a + 40, a + 70, u, bottom);
  if (length > 8) drawDigits(8, 4, a + 80, a + 125, u, bottom);
}

// Up to count characters of the number from index first (fewer while they are being typed).
void SMSScreen::drawDigits(LONG first, LONG count, LONG left, LONG right, LONG top, LONG bottom) {
  LONG length = (LONG)wcslen(phoneNumber);
  LONG available = length > first ? length - first : 0;
  if (available < count) count = available;
  RECT column = {left, top, right, bottom};
  DrawTextW(g_hdcBack, phoneNumber + first, count, &column, 0);
}
