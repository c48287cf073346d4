// The whole road of one identification: the client in this process (virtual clock, the file
// microphone playing a clip), the real melodex-idd on a loopback port with the road's catalog of
// three Wesnoth tracks, the real network in between.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "app/AppState.h"
#include "device/Device.h"
#include "screens/ErrorScreen.h"
#include "screens/ResultsScreen.h"
#include "store/TagRecord.h"
#include "support/ScreenRows.h"
#include "tests/e2e/E2ESupport.h"

using melodex_e2e::RoadMaterial;
using melodex_test::BootToMainMenu;
using melodex_test::ChooseIdSong;
using melodex_test::Client;
using melodex_test::RoadClient;
using melodex_test::RecordUntilAnalyzing;
using melodex_test::RouteEndpointTo;
using melodex_test::RunUntil;
using melodex_test::StartRecording;

namespace {

ResultsScreen* Results() { return (ResultsScreen*)g_screens[SCREEN_RESULTS]; }

// Boots with `clip` in the microphone and runs ID song! up to the analyzing screen.
void IdentifyClip(Client& client, const std::string& clip) {
  device::options().mic = clip;
  BootToMainMenu(client);
  ChooseIdSong(client);
  RecordUntilAnalyzing(client);
}

}  // namespace

TEST(Road, ACatalogSongIsSavedAndShownUnderItsArtist) {
  melodex_e2e::IdService service(RoadMaterial().catalog);
  ASSERT_TRUE(service.ready());
  RouteEndpointTo(service.port());
  RoadClient client;
  IdentifyClip(client, RoadMaterial().clips[0]);
  ASSERT_TRUE(RunUntil(client, [] { return g_nCurrentScreen == SCREEN_RESULTS; }, 20000)) << g_nCurrentScreen;
  TagRecord* record = Results()->record;
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(std::u16string(record->artist), u"Aleksi Aubry-Carlson");
  EXPECT_EQ(std::u16string(record->trackTitle), u"Battle Music");
  std::string saved = client.driver.readDeviceFile("\\Application Data\\Melodex\\" + std::to_string(record->number) + ".dat");
  std::u16string artist = u"Aleksi Aubry-Carlson";
  EXPECT_NE(saved.find(std::string(reinterpret_cast<const char*>(artist.c_str()), artist.size() * 2)), std::string::npos);
  // The album art came from the service's /art/ address and is kept beside the record.
  std::string picture = client.driver.readDeviceFile("\\Application Data\\Melodex\\" + std::to_string(record->number) + ".jpg");
  ASSERT_GE(picture.size(), 2u);
  EXPECT_EQ(picture.substr(0, 2), "\xff\xd8");
}

TEST(Road, MusicOutsideTheCatalogIsNoMatch) {
  melodex_e2e::IdService service(RoadMaterial().catalog);
  ASSERT_TRUE(service.ready());
  RouteEndpointTo(service.port());
  RoadClient client;
  IdentifyClip(client, RoadMaterial().clips[1]);
  ASSERT_TRUE(RunUntil(client, [] { return g_nCurrentScreen == SCREEN_RESULTS; }, 20000)) << g_nCurrentScreen;
  EXPECT_EQ(Results()->record, nullptr);
}

TEST(Road, WithTheServiceStoppedTheRecordingCannotBeSent) {
  melodex_e2e::IdService service(RoadMaterial().catalog);
  ASSERT_TRUE(service.ready());
  RouteEndpointTo(service.port());
  service.stop();
  melodex_e2e::HeldPort gone(service.port());
  ASSERT_TRUE(gone.held());
  RoadClient client;
  device::options().mic = RoadMaterial().clips[0];
  BootToMainMenu(client);
  ChooseIdSong(client);
  StartRecording(client);
  // A refused connection fails at once: the error screen may already be up when the recording's
  // end has been handled, so the analyzing screen is not waited for.
  client.driver.advance(11000);
  ASSERT_TRUE(RunUntil(client, [] { return g_nCurrentScreen == SCREEN_SEND_ERROR; }, 20000)) << g_nCurrentScreen;
  ErrorScreen* error = (ErrorScreen*)g_screens[SCREEN_SEND_ERROR];
  ASSERT_NE(error->message, nullptr);
  EXPECT_EQ(std::u16string(error->message), u"Error sending recording to the server!");
}
