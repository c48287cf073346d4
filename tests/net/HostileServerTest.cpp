// Identifications against loopback servers that misbehave: each ends on the results screen
// with what the received bytes hold, or on error screen 10, never with a crash, an overread or a
// hanging request. (A server that never answers is abandoned at once by Back and by the
// time-out: IdentifyInterleavingTest.cpp, BlockedInTheSend.)
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>

#include "app/AppState.h"
#include "app/Utilities.h"
#include "platform/wininet/LoopbackServer.h"
#include "screens/ResultsScreen.h"
#include "store/TagRecord.h"
#include "support/ScreenRows.h"
#include "tests/net/NetTestSupport.h"

using namespace melodex_test;
using testing_net::LoopbackServer;

namespace {

std::string Head(size_t contentLength) {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(contentLength) + "\r\n\r\n";
}

// An answer of five megabytes whose first 100000 bytes hold the artist and an album element
// cut by the 100000-byte limit.
std::string FiveMegabytes() {
  std::string body = Reply("<ARTIST>Big</ARTIST>");
  body.resize(99990, 'A');
  body += "<ALBUM>12345</ALBUM>";
  body.resize(5 * 1000 * 1000, 'A');
  return body;
}

struct Hostile {
  const char* name;
  std::function<void(LoopbackServer&, int)> answer;
  const char16_t* artist;  // the record's, every other text field empty; null: error screen 10
};

const Hostile kHostile[] = {
    {"ClosesMidBody",
     [](LoopbackServer& s, int fd) { s.sendAll(fd, Head(5000) + Reply("<ARTIST>Half</ARTIST><ALBUM>cut o")); },
     u"Half"},
    {"SendsFiveMegabytes", [](LoopbackServer& s, int fd) { s.sendAll(fd, Head(5000000) + FiveMegabytes()); },
     u"Big"},
    {"Answers500", [](LoopbackServer& s, int fd) { s.sendAll(fd, LoopbackServer::Response(500, "Oops", Reply(""))); },
     nullptr},
    {"ClosesWithoutAnswering", [](LoopbackServer&, int) {}, nullptr},
    {"AnswersWithoutHttp", [](LoopbackServer& s, int fd) { s.sendAll(fd, "hello\r\n\r\n"); }, nullptr},
};

class HostileServer : public testing::TestWithParam<Hostile> {};

}  // namespace

TEST_P(HostileServer, EndsOnTheResultsScreenOrErrorScreen10WithNothingLeftOpen) {
  const Hostile& hostile = GetParam();
  LoopbackServer server([&](LoopbackServer& s, int fd, const LoopbackServer::Request&) { hostile.answer(s, fd); });
  RouteEndpointTo(server.port());
  RoadClient client;
  BootToMainMenu(client);
  ChooseIdSong(client);
  RecordUntilAnalyzing(client);
  ScreenId expected = hostile.artist == nullptr ? SCREEN_SEND_ERROR : SCREEN_RESULTS;
  ASSERT_TRUE(RunUntil(client, [&] { return g_nCurrentScreen == expected; })) << g_nCurrentScreen;
  if (hostile.artist != nullptr) {
    TagRecord* record = ((ResultsScreen*)g_screens[SCREEN_RESULTS])->record;
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(std::u16string(record->artist), hostile.artist);
    EXPECT_EQ(std::u16string(record->album), u"");
  }
  EXPECT_TRUE(RunUntil(client, [] { return LiveInternetHandles() == 0; }));
  client.driver.advance(200000);
  EXPECT_EQ(g_nCurrentScreen, expected);
}

INSTANTIATE_TEST_SUITE_P(, HostileServer, testing::ValuesIn(kHostile),
                         [](const testing::TestParamInfo<Hostile>& info) { return std::string(info.param.name); });
