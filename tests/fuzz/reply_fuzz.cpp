// The client's parser of an identification reply over whatever bytes a server sends: it reads
// only within the received bytes (they sit in an allocation of exactly their size), every record
// it makes holds nine terminated texts, and a record comes only from a reply holding an element.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/AppState.h"
#include "net/HTTPHandler.h"
#include "net/Identification.h"
#include "screens/AnalyzingScreen.h"
#include "store/TagRecord.h"
#include "support/ClientHarness.h"

namespace {

melodex_test::Client& BootedClient() {
  static melodex_test::Client* client = [] {
    auto* c = new melodex_test::Client();
    if (!c->boot()) __builtin_trap();
    return c;
  }();
  return *client;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  BootedClient();
  static AnalyzingScreen* screen = new AnalyzingScreen(g_hInst, g_hWnd);
  HTTPHandler* reply = new HTTPHandler(g_hWnd);
  reply->responseBuffer = (BYTE*)malloc(size > 0 ? size : 1);
  if (size > 0) memcpy(reply->responseBuffer, data, size);
  reply->bytesRead = static_cast<DWORD>(size);
  screen->handler = reply;
  TagRecord* record = parseReply(screen);
  screen->takeHandler()->destroy();
  if (record == nullptr) return 0;
  // No element can fit in fewer bytes than its two tags.
  if (size < strlen("<ALBUM></ALBUM>")) __builtin_trap();
  const WCHAR* wide[] = {record->album, record->artist, record->trackTitle};
  for (const WCHAR* text : wide)
    if (text == nullptr || std::char_traits<WCHAR>::length(text) > size) __builtin_trap();
  const char* narrow[] = {record->albumArt, record->wallpaper, record->ringer,
                          record->smsMessage, record->recommend, record->fullSong};
  for (const char* text : narrow)
    if (text == nullptr || strlen(text) > size) __builtin_trap();
  delete record;
  return 0;
}
