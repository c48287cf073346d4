#include "net/Identification.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <new>

#include "app/AppState.h"
#include "app/Log.h"
#include "app/Navigation.h"
#include "app/Utilities.h"
#include "app/WorkerRequests.h"
#include "audio/AudioRecorder.h"
#include "net/HTTPHandler.h"
#include "net/NetCheckpoint.h"
#include "screens/AnalyzingScreen.h"
#include "screens/ResultsScreen.h"
#include "store/TagRecord.h"

namespace {

// The nine elements of the reply, in the order they are looked for. The first three are
// texts shown to the user and become UTF-16; the rest stay 8-bit as received.
struct Element {
  const char* opening;
  const char* closing;
  WCHAR* TagRecord::*wide;
  char* TagRecord::*narrow;
};

const Element kElements[] = {
    {"<ALBUM>", "</ALBUM>", &TagRecord::album, NULL},
    {"<ARTIST>", "</ARTIST>", &TagRecord::artist, NULL},
    {"<TRACK_TITLE>", "</TRACK_TITLE>", &TagRecord::trackTitle, NULL},
    {"<ALBUM_ART>", "</ALBUM_ART>", NULL, &TagRecord::albumArt},
    {"<WALLPAPER>", "</WALLPAPER>", NULL, &TagRecord::wallpaper},
    {"<RINGER>", "</RINGER>", NULL, &TagRecord::ringer},
    {"<SMS_MESSAGE>", "</SMS_MESSAGE>", NULL, &TagRecord::smsMessage},
    {"<RECOMMEND>", "</RECOMMEND>", NULL, &TagRecord::recommend},
    {"<FULL_SONG>", "</FULL_SONG>", NULL, &TagRecord::fullSong},
};

char* CopyBytes(const char* bytes, size_t length) {
  char* copy = (char*)malloc(length + 1);
  if (copy == NULL) return NULL;
  memcpy(copy, bytes, length);
  copy[length] = 0;
  return copy;
}

// The value of one element, copied byte for byte and zero-terminated, or null when the
// element is not complete. Both tags are searched from the start of the tag text, and only
// their first occurrences count. A closing tag that stands before the end of the opening tag
// leaves no value: the element counts as missing.
char* ElementValue(const Element& element, const char* tagText, DWORD length) {
  int opening = findTag(element.opening, tagText, length);
  if (opening < 0) return NULL;
  int closing = findTag(element.closing, tagText, length);
  if (closing < 0) return NULL;
  int start = opening + (int)strlen(element.opening);
  if (closing < start) return NULL;
  return CopyBytes(tagText + start, (size_t)(closing - start));
}

// A value is an address only when it is neither empty nor the service's "null".
BOOL IsAddress(const char* value) {
  return value != NULL && value[0] != 0 && strcmp(value, "null") != 0;
}

// The thread's sending: the handler made and kept, the session opened and the
// recording posted, each only while the identification is wanted. TRUE when a step failed.
BOOL SendRecording(AnalyzingScreen* screen, const char* url) {
  DWORD self = GetCurrentThreadId();
  if (!screen->identifying(self)) return FALSE;
  HTTPHandler* handler = new (std::nothrow) HTTPHandler(g_hWnd);
  if (handler == NULL) return TRUE;
  NetCheckpoint(CHECKPOINT_HANDLER_MADE);
  // Made current and checked in one step: a cancel either destroys it there or has been seen.
  if (!screen->keepHandler(handler)) {
    handler->destroy();
    return FALSE;
  }
  NetCheckpoint(CHECKPOINT_HANDLER_KEPT);
  int result = handler->openInternet();
  NetCheckpoint(CHECKPOINT_INTERNET_OPENED);
  // Between this check and the post a cancel may destroy the screen's hold on the handler;
  // the thread's own hold keeps it alive, and the closed handles make the post fail at once.
  if (result == HTTP_OK && screen->identifying(self)) {
    NetCheckpoint(CHECKPOINT_POSTING);
    const BYTE* body = g_recorder != NULL ? g_recorder->buffer : NULL;
    DWORD length = g_recorder != NULL ? g_recorder->bufferSize : 0;
    result = handler->postData(url, body, length);
    NetCheckpoint(CHECKPOINT_POST_RETURNED);
  }
  handler->destroy();
  return result != HTTP_OK;
}

// The album art, fetched on this thread (the user waits on the analyzing screen). Whatever
// the fetch gives, success or not, becomes the record's picture bytes; the handler stays the
// screen's current one, holding them, until the screen is left.
void FetchAlbumArt(AnalyzingScreen* screen, TagRecord* record) {
  HTTPHandler* art = new (std::nothrow) HTTPHandler(g_hWnd);
  if (art == NULL) return;
  screen->setHandler(art);
  art->openInternet();
  art->getURL(record->albumArt);
  record->artData = art->responseBuffer;
  record->artSize = art->bytesRead;
}

}  // namespace

char* BuildRequestURL() {
  char* url = (char*)malloc(IDENTIFY_URL_SIZE);
  if (url == NULL) return NULL;
  char* owner = ToNarrowString(g_szOwnerID);
  snprintf(url, IDENTIFY_URL_SIZE, "%s?id=%d&ownerIdentifier=%s", MELODEX_ENDPOINT,
           IDENTIFY_REQUEST_ID, owner != NULL ? owner : "");
  free(owner);
  return url;
}

DWORD WINAPI IdentifyThreadProc(LPVOID parameter) {
  AnalyzingScreen* screen = (AnalyzingScreen*)parameter;
  NetCheckpoint(CHECKPOINT_THREAD_STARTED);
  char* url = BuildRequestURL();
  BOOL failed = url == NULL || SendRecording(screen, url);
  // After a cancel or the time-out a failure is silent. The user-interface thread looks again
  // when the report arrives, since a cancel may come in between.
  if (failed && screen->identifying(GetCurrentThreadId())) {
    NetCheckpoint(CHECKPOINT_REPORTING);
    RequestSendError(GetCurrentThreadId());
  }
  free(url);
  NetCheckpoint(CHECKPOINT_THREAD_ENDING);
  return 0;
}

void ShowSendErrorFor(DWORD thread) {
  AnalyzingScreen* screen = (AnalyzingScreen*)g_screens[SCREEN_ANALYZING];
  if (screen != NULL && screen->identifying(thread)) ShowSendErrorNow();
}

// The reply: a leading zero-terminated string whose content is ignored, three bytes skipped,
// then the tag text. Everything is bounded by the bytes received: a leading string without a
// zero, or one ending within the last three bytes, leaves no tag text.
TagRecord* parseReply(AnalyzingScreen* screen) {
  const HTTPHandler* reply = screen->handler;
  const char* body = reply != NULL ? (const char*)reply->responseBuffer : NULL;
  DWORD received = body != NULL ? reply->bytesRead : 0;
  const char* zero = received > 0 ? (const char*)memchr(body, 0, received) : NULL;
  DWORD start = zero != NULL ? (DWORD)(zero - body) + 4 : received;
  const char* tagText = body != NULL ? body + (start < received ? start : received) : "";
  DWORD tagLength = start < received ? received - start : 0;

  TagRecord* record = new (std::nothrow) TagRecord();
  if (record == NULL) return NULL;
  // Taken before any tag is looked at: a reply without a song still uses up a number.
  record->number = (LONG)TagRecord::nextTagNumber();

  int found = 0;
  for (const Element& element : kElements) {
    char* value = ElementValue(element, tagText, tagLength);
    if (value != NULL) found++;
    if (value != NULL && element.narrow == &TagRecord::fullSong)
      WriteLog("**** GOT FULLSONG *********\r\n");
    // A missing element gets an empty text of its kind.
    if (value == NULL) value = CopyBytes("", 0);
    if (element.wide != NULL) {
      record->*element.wide = ToWideString(value);
      free(value);
    } else {
      record->*element.narrow = value;
    }
  }
  if (found == 0) {
    delete record;
    return NULL;
  }
  return record;
}

void HandleIdentifyReply(AnalyzingScreen* screen) {
  // A reply with no request in flight (the request was abandoned meanwhile) is not one.
  if (screen->handler == NULL) return;
  TagRecord* record = parseReply(screen);
  HTTPHandler* request = screen->takeHandler();
  if (request != NULL) request->destroy();
  if (record != NULL && IsAddress(record->albumArt)) FetchAlbumArt(screen, record);
  if (record != NULL) {
    record->save();
    // The switch below destroys the fetch's handler and with it the picture bytes; the
    // record keeps no pointer into them (the results screen reads the .jpg file).
    record->artData = NULL;
  }
  // The switch comes first, so the results screen is active when it is handed the record.
  SwitchScreen(SCREEN_RESULTS);
  ResultsScreen* results = (ResultsScreen*)g_screens[SCREEN_RESULTS];
  if (results != NULL) results->setRecord(record);
  delete screen->handedOver;
  screen->handedOver = record;
}

// The tag text is bounded by its first zero byte (its end in the reply) or by the count of
// bytes given, whichever comes first, so a reply without a terminating zero is never read past
// its end.
int findTag(const char* needle, const char* tagText, DWORD length) {
  if (needle == NULL || tagText == NULL) return -1;
  const void* zero = memchr(tagText, 0, length);
  size_t textLength = zero != NULL ? (size_t)((const char*)zero - tagText) : (size_t)length;
  size_t needleLength = strlen(needle);
  if (needleLength > textLength) return -1;
  for (size_t at = 0; at + needleLength <= textLength; at++) {
    if (memcmp(tagText + at, needle, needleLength) == 0) return (int)at;
  }
  return -1;
}
