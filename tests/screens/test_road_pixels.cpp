// The pictures of the listening screen's three phases and of the analyzing screen, on the
// 240- and the 320-pixel-wide profile: every image where the layout puts it, pixel for pixel,
// the strips scrolled by their offset. The pictures are also written, for a person to look
// at, into MELODEX_SNAP_DIR when set, else the test's working folder.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/wininet/LoopbackServer.h"
#include "screens/ListeningScreen.h"
#include "support/ScreenRows.h"

using namespace melodex_test;
using testing_net::LoopbackServer;

namespace {

struct Placed {
  int id, x, y;
};

// Each image at its place, none of them covered by another; then a snap named `what`.
void ExpectImages(Client& client, const std::vector<Placed>& images, const std::string& what) {
  for (const Placed& p : images) EXPECT_TRUE(Shows(client, p.id, p.x, p.y)) << what << ": image " << p.id;
  std::string profile = client.clientRect().right == 240 ? "240x320" : "320x320";
  EXPECT_TRUE(client.snap(profile + "-" + what + ".png"));
}

// The banner, then the title, the strip (twice), the badge and Cancel in three bands below it.
std::vector<Placed> WorkingLayout(const RECT& r, int titleId, int stripId, LONG offset) {
  Picture title = LoadResourcePicture(g_hInst, titleId);
  LONG third = (r.bottom - 46) / 3;
  LONG stripY = 46 + third + (third / 2 - 63 / 2);
  return {{113, r.right / 2 - 160, 0},
          {titleId, r.right / 2 - title.width / 2, 46 + (third / 2 - title.height / 2)},
          {stripId, -offset, stripY},
          {stripId, 320 - offset, stripY},
          {175, r.right - 73, r.bottom - 51},
          {177, 20, r.bottom - 23}};
}

class RoadPictures : public testing::TestWithParam<const char*> {};

}  // namespace

TEST_P(RoadPictures, EveryImageWhereTheLayoutPutsIt) {
  LoopbackServer server(LoopbackServer::Silent());
  RouteEndpointTo(server.port());
  RoadClient client(MakeConfig(GetParam()));
  BootToMainMenu(client);
  RECT r = client.clientRect();
  ChooseIdSong(client);
  ExpectImages(client, {{113, r.right / 2 - 160, 0}, {118, r.right / 2 - 120, 46 + ((r.bottom - 46) / 2 - 75)}},
               "listening-0-waiting");
  StartRecording(client);
  client.driver.advance(200);  // two steps: offset 30
  ExpectImages(client, WorkingLayout(r, 176, 120, 30), "listening-1-recording");
  ((ListeningScreen*)g_screens[SCREEN_LISTENING])->phase = LISTENING_FINISHED;
  RedrawWindow(g_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_INTERNALPAINT);
  client.driver.runPending();
  // Below the banner only white is left.
  EXPECT_EQ(client.clientPixel(r.right / 2, r.bottom / 2), 0xFFFFFFu);
  EXPECT_EQ(client.clientPixel(25, r.bottom - 5), 0xFFFFFFu);
  ExpectImages(client, {{113, r.right / 2 - 160, 0}}, "listening-2-finished");
  client.driver.advance(10800);
  ASSERT_EQ(g_nCurrentScreen, SCREEN_ANALYZING);
  client.driver.advance(300);  // three steps: offset 45
  ExpectImages(client, WorkingLayout(r, 178, 122, 45), "analyzing");
}

INSTANTIATE_TEST_SUITE_P(Profiles, RoadPictures, testing::Values("qvga", "square"));
