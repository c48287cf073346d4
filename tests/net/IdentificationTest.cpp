// The identification exchange: the request URL, the reply grammar as parseReply reads it
// (byte for byte, only within the received bytes, a number used whatever the reply holds), and
// the reply handling along the road (album art fetched or not, the record saved and handed to
// the results screen, the FULL_SONG log line, the hand-over's lifetime).
#include <gtest/gtest.h>
#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <vector>
#include <string>

#include "app/AppState.h"
#include "app/Navigation.h"
#include "app/Utilities.h"
#include "net/HTTPHandler.h"
#include "net/Identification.h"
#include "platform/wininet/LoopbackServer.h"
#include "screens/AnalyzingScreen.h"
#include "screens/ResultsScreen.h"
#include "store/TagRecord.h"
#include "support/ScreenRows.h"
#include "tests/net/NetTestSupport.h"

using namespace melodex_test;
using testing_net::LoopbackServer;

namespace {

const char kFullSongLine[] = "**** GOT FULLSONG *********\r\n";

std::string Narrow(const WCHAR* text) {
  char* narrow = ToNarrowString(text);
  std::string s = narrow != nullptr ? narrow : "(null)";
  free(narrow);
  return s;
}

// The nine text fields of a record by element name; the absent ones are "(null)".
std::map<std::string, std::string> Fields(const TagRecord* r) {
  auto n = [](const char* s) { return std::string(s != nullptr ? s : "(null)"); };
  return {{"ALBUM", Narrow(r->album)},         {"ARTIST", Narrow(r->artist)},
          {"TRACK_TITLE", Narrow(r->trackTitle)}, {"ALBUM_ART", n(r->albumArt)},
          {"WALLPAPER", n(r->wallpaper)},       {"RINGER", n(r->ringer)},
          {"SMS_MESSAGE", n(r->smsMessage)},    {"RECOMMEND", n(r->recommend)},
          {"FULL_SONG", n(r->fullSong)}};
}

// Every field empty except those given.
std::map<std::string, std::string> Expect(std::map<std::string, std::string> given) {
  std::map<std::string, std::string> all;
  for (const char* name : {"ALBUM", "ARTIST", "TRACK_TITLE", "ALBUM_ART", "WALLPAPER", "RINGER",
                           "SMS_MESSAGE", "RECOMMEND", "FULL_SONG"})
    all[name] = "";
  for (auto& [name, value] : given) all[name] = value;
  return all;
}

DWORD Counter(Client& client) {
  std::string bytes = client.driver.readDeviceFile("\\Application Data\\Melodex\\nexttag.num");
  DWORD value = 0;
  if (bytes.size() == 4) memcpy(&value, bytes.data(), 4);
  return value;
}

// A reply of exactly `body.size()` received bytes in a buffer of that size, so that reading
// one byte beyond them is caught.
TagRecord* Parse(AnalyzingScreen* screen, const std::string& body) {
  HTTPHandler* reply = new HTTPHandler(g_hWnd);
  reply->responseBuffer = (BYTE*)malloc(body.empty() ? 1 : body.size());
  memcpy(reply->responseBuffer, body.data(), body.size());
  reply->bytesRead = static_cast<DWORD>(body.size());
  screen->handler = reply;
  TagRecord* record = parseReply(screen);
  screen->takeHandler()->destroy();
  return record;
}

std::string DeviceFile(Client& client, const std::string& name) {
  return client.driver.readDeviceFile("\\Application Data\\Melodex\\" + name);
}

bool DeviceFileExists(Client& client, const std::string& name) {
  return std::filesystem::exists(client.driver.root() + "/Application Data/Melodex/" + name);
}

// A server giving each request the next of `replies` (which must outlive it).
LoopbackServer::Handler InTurn(const std::vector<std::string>& replies) {
  auto next = std::make_shared<size_t>(0);
  return [&replies, next](LoopbackServer& s, int fd, const LoopbackServer::Request&) {
    s.sendAll(fd, LoopbackServer::Response(200, "OK", replies[(*next)++ % replies.size()]));
  };
}

ResultsScreen* Results() { return (ResultsScreen*)g_screens[SCREEN_RESULTS]; }

// Runs one identification from the main menu against `server` up to the results screen.
void IdentifyUntilResults(Client& client) {
  ChooseIdSong(client);
  RecordUntilAnalyzing(client);
  ASSERT_TRUE(RunUntil(client, [] { return g_nCurrentScreen == SCREEN_RESULTS; }));
}

}  // namespace

TEST(IdentifyRequest, TheUrlNamesTheEndpointId1003AndTheOwnerUnchanged) {
  RoadClient client;
  ASSERT_TRUE(client.boot());
  char* url = BuildRequestURL();
  EXPECT_EQ(std::string(url), std::string(MELODEX_ENDPOINT) + "?id=1003&ownerIdentifier=5183");
  free(url);
  free(g_szOwnerID);
  g_szOwnerID = (WCHAR*)malloc(256);
  memcpy(g_szOwnerID, u"9-%41&x", 16);
  url = BuildRequestURL();
  EXPECT_EQ(std::string(url), std::string(MELODEX_ENDPOINT) + "?id=1003&ownerIdentifier=9-%41&x");
  free(url);
}

// Each reply is parsed from a buffer holding exactly its received bytes; every reply uses up
// one number, record or not.
TEST(ParseReply, ReadsTheElementsByteForByteWithinTheReceivedBytes) {
  struct Case {
    const char* what;
    std::string body;
    bool record;
    std::map<std::string, std::string> fields;
  } cases[] = {
      {"the one element after X, a zero and three bytes", std::string("X\0abc<ARTIST>Abc</ARTIST>", 25), true,
       Expect({{"ARTIST", "Abc"}})},
      {"no zero at all: the leading string runs to the end", "<ARTIST>Abc</ARTIST>", false, {}},
      {"the zero within the last three bytes", std::string("X\0ab", 4), false, {}},
      {"nothing after the three bytes", std::string("X\0abc", 5), false, {}},
      {"the third byte skipped, not read as a tag's", std::string("X\0ab<ARTIST>A</ARTIST>", 22), false, {}},
      {"no bytes at all", "", false, {}},
      {"a closing tag before its opening tag", Reply("</ARTIST>Abc<ARTIST>"), false, {}},
      {"a closing tag inside its opening tag's end", Reply("<ARTIST</ARTIST>>"), false, {}},
      {"a bad element beside a good one", Reply("</ARTIST>x<ARTIST><ALBUM>Al</ALBUM>"), true,
       Expect({{"ALBUM", "Al"}})},
      {"the tag text ends at its zero", Reply(std::string("<ARTIST>A\0</ARTIST>", 19)), false, {}},
      {"an empty element still counts", Reply("<TRACK_TITLE></TRACK_TITLE>"), true, Expect({})},
      {"line breaks, blanks and null kept", Reply("<ALBUM> a\r\nb </ALBUM><WALLPAPER>null</WALLPAPER>"), true,
       Expect({{"ALBUM", " a\r\nb "}, {"WALLPAPER", "null"}})},
      {"the first of a repeated element", Reply("<ARTIST>A</ARTIST><ARTIST>B</ARTIST>"), true,
       Expect({{"ARTIST", "A"}})},
      {"ALBUM is not ALBUM_ART", Reply("<ALBUM_ART>http://a/1.jpg</ALBUM_ART>"), true,
       Expect({{"ALBUM_ART", "http://a/1.jpg"}})},
      {"no entity or percent decoding, Windows-1252 texts",
       Reply("<RINGER>a&amp;b%20</RINGER><TRACK_TITLE>Caf\xe9</TRACK_TITLE>"), true,
       Expect({{"RINGER", "a&amp;b%20"}, {"TRACK_TITLE", "Caf\xe9"}})},
      {"all nine in any order with text between",
       Reply("<FULL_SONG>f</FULL_SONG>--<RECOMMEND>r</RECOMMEND><SMS_MESSAGE>s m</SMS_MESSAGE>"
             "<RINGER>g</RINGER>\n<WALLPAPER>w</WALLPAPER><ALBUM_ART>u</ALBUM_ART>"
             "<TRACK_TITLE>t</TRACK_TITLE><ARTIST>a</ARTIST><ALBUM>b</ALBUM>"),
       true,
       {{"ALBUM", "b"}, {"ARTIST", "a"}, {"TRACK_TITLE", "t"}, {"ALBUM_ART", "u"}, {"WALLPAPER", "w"},
        {"RINGER", "g"}, {"SMS_MESSAGE", "s m"}, {"RECOMMEND", "r"}, {"FULL_SONG", "f"}}},
  };
  RoadClient client;
  ASSERT_TRUE(client.boot());
  AnalyzingScreen screen(g_hInst, g_hWnd);
  for (const Case& c : cases) {
    DWORD number = Counter(client);
    TagRecord* record = Parse(&screen, c.body);
    EXPECT_EQ(Counter(client), number + 1) << c.what;
    ASSERT_EQ(record != nullptr, c.record) << c.what;
    if (record == nullptr) continue;
    EXPECT_EQ(record->number, static_cast<LONG>(number)) << c.what;
    EXPECT_EQ(Fields(record), c.fields) << c.what;
    EXPECT_EQ(record->artData, nullptr);
    delete record;
  }
}

// Each reply ends on the results screen with what it holds, and uses up one number: a song is
// saved as its .dat (no .jpg when its ALBUM_ART is "null", empty or absent, and then no fetch),
// a reply whose only element is FULL_SONG is a song with its log line, and a reply without a
// song hands over null and saves nothing. An album art address is fetched with a GET and saved
// as the .jpg beside the .dat; a failed fetch leaves an empty .jpg. The fetch's handler goes
// with the switch to the results screen.
TEST(IdentifyReply, EachReplyEndsOnTheResultsScreenWithWhatItHolds) {
  const std::string jpeg("\xff\xd8jpeg\0bytes", 12);
  LoopbackServer art([&jpeg](LoopbackServer& s, int fd, const LoopbackServer::Request& request) {
    bool found = request.head.find("GET /art/7.jpg ") == 0;
    s.sendAll(fd, found ? LoopbackServer::Response(200, "OK", jpeg) : LoopbackServer::Response(404, "Not Found", "none"));
  });
  const std::string found = "http://127.0.0.1:" + std::to_string(art.port()) + "/art/7.jpg";
  const std::string lost = "http://127.0.0.1:" + std::to_string(art.port()) + "/art/8.jpg";
  const struct {
    std::string tagText;
    std::map<std::string, std::string> fields;  // empty: no song
    std::optional<std::string> jpg;             // the .jpg's bytes; none: no .jpg and no fetch
  } cases[] = {
      {"<FULL_SONG>http://h/f.html</FULL_SONG>", Expect({{"FULL_SONG", "http://h/f.html"}}), std::nullopt},
      {"<ARTIST>A</ARTIST><ALBUM_ART>null</ALBUM_ART>", Expect({{"ARTIST", "A"}, {"ALBUM_ART", "null"}}), std::nullopt},
      {"<ARTIST>A</ARTIST><ALBUM_ART></ALBUM_ART>", Expect({{"ARTIST", "A"}}), std::nullopt},
      {"<ARTIST>A</ARTIST>", Expect({{"ARTIST", "A"}}), std::nullopt},
      {"", {}, std::nullopt},
      {"<ARTIST>Art</ARTIST><ALBUM_ART>" + found + "</ALBUM_ART>", Expect({{"ARTIST", "Art"}, {"ALBUM_ART", found}}), jpeg},
      {"<ARTIST>Lost</ARTIST><ALBUM_ART>" + lost + "</ALBUM_ART>", Expect({{"ARTIST", "Lost"}, {"ALBUM_ART", lost}}), ""},
  };
  std::vector<std::string> replies;
  for (const auto& c : cases) replies.push_back(Reply(c.tagText));
  LoopbackServer server(InTurn(replies));
  RouteEndpointTo(server.port());
  RoadClient client;
  BootToMainMenu(client);
  for (const auto& c : cases) {
    SwitchScreen(SCREEN_MAIN_MENU);
    DWORD number = Counter(client);
    size_t gets = client.countTrace("verb=GET");
    IdentifyUntilResults(client);
    const std::string name = std::to_string(number);
    EXPECT_EQ(Counter(client), number + 1) << c.tagText;
    EXPECT_EQ(client.countTrace("verb=GET"), gets + (c.jpg ? 1 : 0)) << c.tagText;
    EXPECT_EQ(((AnalyzingScreen*)g_screens[SCREEN_ANALYZING])->handler, nullptr) << c.tagText;
    EXPECT_EQ(LiveInternetHandles(), 0) << c.tagText;
    ASSERT_EQ(Results()->record != nullptr, !c.fields.empty()) << c.tagText;
    EXPECT_EQ(DeviceFileExists(client, name + ".dat"), !c.fields.empty()) << c.tagText;
    EXPECT_EQ(DeviceFileExists(client, name + ".jpg"), c.jpg.has_value()) << c.tagText;
    if (Results()->record == nullptr) continue;
    EXPECT_EQ(Results()->record->number, static_cast<LONG>(number));
    EXPECT_EQ(Fields(Results()->record), c.fields) << c.tagText;
    EXPECT_EQ(Results()->record->artData, nullptr);
    EXPECT_EQ(client.countLog(kFullSongLine), 1u) << "the FULL_SONG line, once: " << c.tagText;
    if (c.jpg) {
      EXPECT_EQ(DeviceFile(client, name + ".jpg"), *c.jpg) << c.tagText;
    }
    // The artist as the .dat keeps it: UTF-16 up to its terminator.
    std::string artist;
    for (char ch : c.fields.at("ARTIST")) artist += std::string{ch, '\0'};
    EXPECT_NE(DeviceFile(client, name + ".dat").find(artist + std::string(2, '\0')), std::string::npos) << c.tagText;
  }
}

// The record on the results screen stays valid while the results screen can come back to it:
// a new identification cancelled while analyzing returns to it, and only the next hand-over
// lets it go.
TEST(IdentifyReply, TheShownRecordOutlivesACancelledNewIdentification) {
  int requests = 0;
  LoopbackServer server([&](LoopbackServer& s, int fd, const LoopbackServer::Request&) {
    if (requests++ == 1) {
      // Silent until the client gives the connection up, so the next request is served.
      char byte;
      while (!s.stopping() && recv(fd, &byte, 1, 0) > 0) {
      }
      return;
    }
    s.sendAll(fd, LoopbackServer::Response(200, "OK", Reply("<ARTIST>First</ARTIST>")));
  });
  RouteEndpointTo(server.port());
  RoadClient client;
  BootToMainMenu(client);
  IdentifyUntilResults(client);
  TagRecord* first = Results()->record;
  SwitchScreen(SCREEN_LISTENING);  // new ID!
  PushScreen(SCREEN_RESULTS);
  RecordUntilAnalyzing(client);
  ASSERT_TRUE(server.waitForRequests(2, 10000));
  client.driver.press(VK_ESCAPE);
  ASSERT_EQ(g_nCurrentScreen, SCREEN_RESULTS);
  ASSERT_EQ(Results()->record, first);
  EXPECT_EQ(Narrow(first->artist), "First");
  SwitchScreen(SCREEN_LISTENING);
  RecordUntilAnalyzing(client);
  ASSERT_TRUE(RunUntil(client, [] { return g_nCurrentScreen == SCREEN_RESULTS; }));
  EXPECT_NE(Results()->record, nullptr);
  EXPECT_EQ(((AnalyzingScreen*)g_screens[SCREEN_ANALYZING])->handedOver, Results()->record);
}
