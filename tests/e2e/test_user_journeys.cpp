// Journeys through the client as a person takes them, against melodex-idd serving the road's
// catalog on a loopback port: the client in this process under the virtual clock, the network
// real, Battle Music in the microphone. Every row starts a service of its own, boots the phone to
// the main menu and follows its steps.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <windows.h>

#include <filesystem>
#include <set>

#include "device/Device.h"
#include "screens/ErrorScreen.h"
#include "screens/ManageScreen.h"
#include "screens/ResultsScreen.h"
#include "store/TagRecord.h"
#include "support/ScreenRows.h"
#include "support/SmsOutbox.h"
#include "tests/e2e/E2ESupport.h"

using namespace melodex_test;

namespace {

melodex_e2e::IdService* g_service = nullptr;

ResultsScreen* Results() { return (ResultsScreen*)g_screens[SCREEN_RESULTS]; }
ManageScreen* History() { return (ManageScreen*)g_screens[SCREEN_MANAGE]; }

Input At(ScreenId id) {
  return Input("on screen " + std::to_string(id), [id](Client&) { ASSERT_EQ(g_nCurrentScreen, id); });
}

// From the listening screen: the recording, then the service's answer, waited for in real time
// (a quick answer or a refused connection may already have replaced the analyzing screen when
// the recording's end has been handled).
Input RecordUntil(ScreenId id) {
  return Do("record until screen " + std::to_string(id), [id](Client& client) {
    StartRecording(client);
    client.driver.advance(11000);
    ASSERT_TRUE(RunUntil(client, [id] { return g_nCurrentScreen == id; }, 20000)) << g_nCurrentScreen;
  });
}
// ... Battle Music saved as result `number`.
Input Identify(LONG number) {
  return Do("identify, result " + std::to_string(number), [number](Client& client) {
    RecordUntil(SCREEN_RESULTS).apply(client);
    TagRecord* record = Results()->record;
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->number, number);
    EXPECT_EQ(std::u16string(record->trackTitle), u"Battle Music");
  });
}

const Input kRecord = Do("record until analyzing", [](Client& client) { RecordUntilAnalyzing(client); });
const Input kRequestSent = Do("the recording is on its way", [](Client& client) {
  ASSERT_TRUE(WaitForTrace(client, "HttpSendRequestA request="));
});
const Input kRequestsEnded = Do("the abandoned requests end", [](Client&) { ExpectIdentificationsEnded(); });
const Input kServiceHangs = Do("the service hangs", [](Client&) { g_service->freeze(); });
const Input kServiceDown = Do("the service is down", [](Client&) {
  g_service->stop();
  ASSERT_TRUE(melodex_e2e::HoldPort(g_service->port()));
});
void SendError(Client&) {
  ErrorScreen* error = (ErrorScreen*)g_screens[SCREEN_SEND_ERROR];
  ASSERT_TRUE(error != nullptr && error->message != nullptr);
  EXPECT_EQ(std::u16string(error->message), u"Error sending recording to the server!");
}
// The main menu's second entry, then the Options menu's New ID! (Up from its first item).
const Inputs kHistory = {VK_DOWN, VK_RETURN};
const Inputs kHistoryNewId = {VK_F2, VK_UP, VK_RETURN};

// The numbers of the results saved in the phone's data folder, as `extension` files.
std::set<LONG> Saved(const Client& client, const std::string& extension) {
  std::set<LONG> numbers;
  for (const auto& entry : std::filesystem::directory_iterator(client.driver.root() + "/Application Data/Melodex"))
    if (entry.path().extension() == extension) numbers.insert(std::stol(entry.path().stem().string()));
  return numbers;
}

// Exactly these results are kept, each with its record and its album art.
std::function<void(Client&)> Kept(std::set<LONG> numbers) {
  return [numbers](Client& client) {
    EXPECT_EQ(Saved(client, ".dat"), numbers);
    EXPECT_EQ(Saved(client, ".jpg"), numbers);
    EXPECT_EQ(g_screens[SCREEN_SEND_ERROR], nullptr) << "an error screen was shown";
  };
}

// The history lists these results, newest first.
void ExpectListed(const std::vector<LONG>& newestFirst) {
  ASSERT_EQ(History()->entryCount, (LONG)newestFirst.size());
  for (size_t p = 0; p < newestFirst.size() && (LONG)p < History()->visibleRows; p++)
    EXPECT_EQ(History()->entries[History()->rowOrder[p]]->number, newestFirst[p]) << "row " << p;
}
Input Listed(std::vector<LONG> newestFirst) {
  return Input("the history lists " + std::to_string(newestFirst.size()), [newestFirst](Client&) {
    ExpectListed(newestFirst);
  });
}

Inputs Join(std::initializer_list<Inputs> parts) {
  Inputs all;
  for (const Inputs& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// ID song!, then ten times the results screen's new ID!.
Inputs ElevenIdentifications() {
  Inputs steps = {VK_RETURN, Identify(0)};
  for (LONG n = 1; n <= 10; n++) steps.insert(steps.end(), {VK_F2, Identify(n)});
  return steps;
}

const ScreenRow kJourneys[] = {
    {.name = "ID song names the catalog song by its artist and keeps its fetched picture",
     .keys = {VK_RETURN, Identify(0)},
     .screen = SCREEN_RESULTS,
     .check =
         [](Client& client) {
           EXPECT_EQ(std::u16string(Results()->record->artist), u"Aleksi Aubry-Carlson");
           std::string picture = client.driver.readDeviceFile("\\Application Data\\Melodex\\0.jpg");
           EXPECT_EQ(picture.substr(0, 2), "\xff\xd8");
           Kept({0})(client);
         }},
    {.name = "Music outside the catalog is no match",
     .keys = {Do("a clip outside the catalog", [](Client&) { device::options().mic = melodex_e2e::RoadMaterial().clips[1]; }),
              VK_RETURN, RecordUntil(SCREEN_RESULTS)},
     .screen = SCREEN_RESULTS,
     .check = [](Client&) { EXPECT_EQ(Results()->record, nullptr); }},
    {.name = "With the service down the recording cannot be sent",
     .keys = {kServiceDown, VK_RETURN, RecordUntil(SCREEN_SEND_ERROR)},
     .screen = SCREEN_SEND_ERROR,
     .check = SendError},
    {.name = "Back while recording after new ID returns to the result and sends nothing",
     .keys = {VK_RETURN, Identify(0), VK_F2, Do("record 5 s", [](Client& client) { StartRecording(client); }),
              Wait(5000), VK_F1, Wait(20000)},
     .screen = SCREEN_RESULTS,
     .check =
         [](Client& client) {
           EXPECT_EQ(client.countTrace("PlaySoundW #160"), 1u) << "analyzing began again";
           Kept({0})(client);
         }},
    {.name = "Back while analyzing after the history's New ID returns to the history",
     .keys = Join({{VK_RETURN, Identify(0), VK_ESCAPE}, kHistory, {kServiceHangs}, kHistoryNewId,
                   {kRecord, kRequestSent, VK_ESCAPE, kRequestsEnded, Wait(200000)}}),
     .screen = SCREEN_MANAGE,
     .check = Kept({0})},
    {.name = "New ID in the history's Options saves the next result and Back lists both",
     .keys = Join({{VK_RETURN, Identify(0), VK_ESCAPE}, kHistory, kHistoryNewId, {Identify(1), VK_ESCAPE}}),
     .screen = SCREEN_MANAGE,
     .check =
         [](Client& client) {
           ExpectListed({1, 0});
           Kept({0, 1})(client);
         }},
    {.name = "Share ID sends the songs message to the typed number",
     .keys = {VK_RETURN, Identify(0), VK_UP, VK_RETURN, At(SCREEN_SMS), '3', '1', '0', '5', '5', '5', '0', '1', '0', '0',
              VK_F2},
     .screen = SCREEN_RESULTS,
     .check =
         [](Client& client) {
           std::vector<nlohmann::json> sent = SentMessages(client.driver.root());
           ASSERT_EQ(sent.size(), 1u);
           EXPECT_EQ(sent[0]["to"], "+13105550100");
           EXPECT_EQ(sent[0]["class"], 1);
           EXPECT_EQ(sent[0]["text"], std::string(Results()->record->smsMessage));
           EXPECT_NE(sent[0]["text"].get<std::string>().find("\"Battle Music\""), std::string::npos);
         }},
    {.name = "The history lists the result opens it and deletes it",
     .keys = Join({{VK_RETURN, Identify(0), VK_ESCAPE}, kHistory,
                   {Listed({0}), VK_RETURN, At(SCREEN_RESULTS),
                    Do("the saved result", [](Client&) {
                      EXPECT_EQ(std::u16string(Results()->record->artist), u"Aleksi Aubry-Carlson");
                    }),
                    VK_ESCAPE, At(SCREEN_MANAGE), VK_F2, VK_DOWN, VK_RETURN}}),
     .screen = SCREEN_MANAGE,
     .check =
         [](Client& client) {
           ExpectListed({});
           Kept({})(client);
         }},
    {.name = "Eleven identifications keep the last ten numbered in order",
     .keys = Join({ElevenIdentifications(), {VK_ESCAPE, VK_ESCAPE}, kHistory}),
     .screen = SCREEN_MANAGE,
     .check =
         [](Client& client) {
           ExpectListed({10, 9, 8, 7, 6, 5, 4, 3, 2, 1});
           Kept({1, 2, 3, 4, 5, 6, 7, 8, 9, 10})(client);
         }},
};

class Journeys : public testing::TestWithParam<ScreenRow> {};

TEST_P(Journeys, Steps) {
  melodex_e2e::IdService service(melodex_e2e::RoadMaterial().catalog);
  ASSERT_TRUE(service.ready());
  g_service = &service;
  RouteEndpointTo(service.port());
  device::options().mic = melodex_e2e::RoadMaterial().clips[0];
  RoadClient client;
  RunScreenRowOn(client, kAtMainMenu, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Rows, Journeys, testing::ValuesIn(kJourneys), RowName);

}  // namespace
