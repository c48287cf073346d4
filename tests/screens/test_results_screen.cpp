// The results screen with results saved through the store: its link list and keys, the
// scrolling artist line under the virtual clock, the album art and its fallback, both layouts.
#include <filesystem>
#include <fstream>

#include "screens/ScreenTestSupport.h"

using melodex_test::MakeConfig;
using namespace screens_test;

namespace {

// The link entries stacked under the heading at (x, y), as the resource ids on the screen.
std::vector<int> ShownEntries(const Client& client, int x, int y) {
  static const int kEntryIds[] = {133, 134, 128, 129, 137, 138, 131, 132, 135, 136};
  std::vector<int> ids;
  int d = 22;  // the heading's height
  for (bool found = true; found;) {
    found = false;
    for (int id : kEntryIds) {
      if (!Shows(client, id, x, y + d)) continue;
      ids.push_back(id);
      d += id == 131 || id == 132 ? 21 : id >= 135 && id <= 136 ? 23 : 22;
      found = true;
      break;
    }
  }
  return ids;
}

void WriteJpg(const Client& client, LONG number, const std::string& bytes) {
  std::ofstream(DataFolder(client) + std::to_string(number) + ".jpg", std::ios::binary) << bytes;
}

}  // namespace

// Absent links ("null" exactly, or empty) take no entry; Share ID always comes last, and the
// first entry starts highlighted. Up and Down wrap around the entries shown.
TEST(ResultsScreen, TheLinkListHoldsThePresentLinksAndWraps) {
  struct Case {
    Links links;
    std::vector<int> shown, afterUp;
  } cases[] = {
      {{"", "null", "", "null"}, {136}, {136}},
      {{"http://r", "", "null", "http://rec"}, {134, 131, 135}, {133, 131, 136}},
      {{"", "", "Null", ""}, {138, 135}, {137, 136}},
      {{"", "", " null", ""}, {138, 135}, {137, 136}},
      {{"a", "b", "c", "d"}, {134, 128, 137, 131, 135}, {133, 128, 137, 131, 136}},
  };
  Client client;
  BootToMainMenu(client);
  for (const Case& c : cases) {
    SaveResult(1, u"Artist", u"Title", c.links);
    auto record = LoadSaved(1);
    ShowResult(client, record.get());
    ASSERT_TRUE(Shows(client, 130, 133, 91)) << "the heading get:";
    EXPECT_EQ(ShownEntries(client, 133, 91), c.shown) << c.links.wallpaper;
    client.driver.press(VK_UP);
    EXPECT_EQ(ShownEntries(client, 133, 91), c.afterUp) << c.links.wallpaper;
    client.driver.press(VK_DOWN);
    EXPECT_EQ(ShownEntries(client, 133, 91), c.shown) << c.links.wallpaper;
    SwitchScreen(SCREEN_MAIN_MENU);
  }
}

// A link opens in the browser unchanged and the screen stays; Share ID goes to the SMS screen
// with the record, pushing this screen for its Back.
TEST(ResultsScreen, TheActionKeyOpensTheSelectedLinkOrSharesTheResult) {
  Client client;
  BootToMainMenu(client);
  SaveResult(3, u"Artist", u"Title", {"http://ring", "", "Null", " null"});
  auto record = LoadSaved(3);
  const char* opened[] = {"params=http://ring ", "params=Null ", "params= null "};
  for (int entry = 0; entry < 4; entry++) {
    ShowResult(client, record.get());
    for (int k = 0; k < entry; k++) client.driver.press(VK_DOWN);
    device::Trace::clearForTests();
    client.driver.press(VK_RETURN);
    if (entry < 3) {
      EXPECT_EQ(TraceCount("ShellExecuteEx"), 1u) << entry;
      EXPECT_EQ(TraceCount(opened[entry]), 1u) << entry;
      EXPECT_EQ(g_nCurrentScreen, SCREEN_RESULTS);
    } else {
      EXPECT_EQ(TraceCount("ShellExecuteEx"), 0u);
      EXPECT_EQ(g_nCurrentScreen, SCREEN_SMS);
      EXPECT_EQ(g_backStack[g_backStackTop], SCREEN_RESULTS);
    }
    SwitchScreen(SCREEN_MAIN_MENU);
  }
}

// Every back code pops (here to the history, which pushed 8); every new-ID code starts
// listening and pushes 6; other keys change nothing. Every key asks for a repaint.
TEST(ResultsScreen, BackAndNewIdKeys) {
  struct Case {
    WPARAM key;
    ScreenId to;
    ScreenId top;
  } cases[] = {{0x01, SCREEN_MANAGE, SCREEN_MAIN_MENU}, {VK_ESCAPE, SCREEN_MANAGE, SCREEN_MAIN_MENU},
               {VK_LEFT, SCREEN_MANAGE, SCREEN_MAIN_MENU}, {0x5B, SCREEN_MANAGE, SCREEN_MAIN_MENU},
               {VK_F1, SCREEN_MANAGE, SCREEN_MAIN_MENU},   {0x02, SCREEN_LISTENING, SCREEN_RESULTS},
               {0x5C, SCREEN_LISTENING, SCREEN_RESULTS},   {VK_F2, SCREEN_LISTENING, SCREEN_RESULTS},
               {VK_RIGHT, SCREEN_RESULTS, SCREEN_MANAGE},  {'5', SCREEN_RESULTS, SCREEN_MANAGE}};
  Client client;
  BootToMainMenu(client);
  SaveResult(0, u"A", u"T");
  auto record = LoadSaved(0);
  for (const Case& c : cases) {
    g_backStackTop = -1;
    PushScreen(SCREEN_MAIN_MENU);
    PushScreen(SCREEN_MANAGE);
    ShowResult(client, record.get());
    EXPECT_EQ(SendMessageW(g_hWnd, WM_KEYUP, c.key, 0), 0);
    EXPECT_TRUE(GetUpdateRect(g_hWnd, nullptr, FALSE)) << c.key;
    EXPECT_EQ(g_nCurrentScreen, c.to) << c.key;
    EXPECT_EQ(g_backStack[g_backStackTop], c.top) << c.key;
    SwitchScreen(SCREEN_MAIN_MENU);
  }
}

// After new ID! twice in a row, the second result's first Back pops 6 and changes nothing; the
// second returns to the main menu the identifications started from.
TEST(ResultsScreen, AfterNewIdTheSecondBackLeaves) {
  Client client;
  BootToMainMenu(client);
  SaveResult(0, u"A", u"T");
  auto record = LoadSaved(0);
  PushScreen(SCREEN_MAIN_MENU);
  for (int identification = 0; identification < 2; identification++) {
    ShowResult(client, record.get());
    client.driver.press(VK_F2);
    ASSERT_EQ(g_nCurrentScreen, SCREEN_LISTENING);
  }
  EXPECT_EQ(g_backStackTop, 1);
  ShowResult(client, record.get());
  client.driver.press(VK_ESCAPE);
  EXPECT_EQ(g_nCurrentScreen, SCREEN_RESULTS);
  client.driver.press(VK_ESCAPE);
  EXPECT_EQ(g_nCurrentScreen, SCREEN_MAIN_MENU);
}

// An artist 12 pixels too wide for its place moves left 5 pixels every 300 ms after a 2-second
// pause, rests 2 seconds past its end, comes back to 5 pixels right of its start, rests, and
// starts again, clipped to its place. A title exactly 10 pixels too wide still shows its
// last 10 pixels before it turns: both lines take the same steps, each on its own timers.
TEST(ResultsScreen, TooWideLinesScrollBackAndForth) {
  Client client;
  BootToMainMenu(client);
  // Narrow layout: values from x = 240 / 5 + 10 = 58 to 240, artist row 46 to 65.
  SaveResult(0, TextOfWidth(182 + 12), TextOfWidth(182 + 10));
  auto record = LoadSaved(0);
  ShowResult(client, record.get());
  struct Step {
    uint64_t ms;
    LONG offset;
  } steps[] = {{1999, 0}, {1, 0},   {300, 5},   {300, 10},  {300, 15}, {1999, 15}, {1, 15},
               {300, 10}, {300, 5}, {300, 0},   {300, -5},  {2000, -5}, {300, 0},  {300, 5}};
  uint64_t elapsed = 0;
  LONG previous = 0;
  for (const Step& step : steps) {
    device::Trace::clearForTests();
    client.driver.advance(step.ms);
    elapsed += step.ms;
    client.driver.runPending();
    SCOPED_TRACE(elapsed);
    std::vector<TextCall> drawn = TextCalls(DT_VCENTER);
    if (drawn.empty()) {
      EXPECT_EQ(step.offset, previous) << "no timer, no repaint, while the line rests";
      continue;
    }
    previous = step.offset;
    // The two lines' timers fall due together: one paint after each, artist then title.
    size_t paints = drawn.size() / 2;
    ASSERT_EQ(drawn.size(), 2 * paints);
    const TextCall& artist = drawn[drawn.size() - 2];
    const TextCall& title = drawn.back();
    EXPECT_EQ(artist.rect.left, 58 - step.offset);
    EXPECT_EQ(artist.rect.top, 46);
    EXPECT_EQ(title.rect.left, 58 - step.offset);
    EXPECT_EQ(title.rect.top, 66);
    char clip[96];
    snprintf(clip, sizeof clip, "SelectClipRgn hdc=%p (58,46)-(240,65)", (void*)g_hdcBack);
    EXPECT_EQ(TraceCount(clip), paints) << "each line is clipped to its place";
    snprintf(clip, sizeof clip, "SelectClipRgn hdc=%p (58,66)-(240,86)", (void*)g_hdcBack);
    EXPECT_EQ(TraceCount(clip), paints);
  }
}

// The picture is the result's .jpg; a missing, empty or undecodable file gives the default art.
// It is read again on each activation, and once only however often the screen is painted.
TEST(ResultsScreen, TheAlbumArtFallsBackToTheDefaultPicture) {
  std::vector<uint8_t> jpeg = melodex_test::MakeJpeg(100, 100);
  struct Case {
    const char* name;
    bool file;
    std::string bytes;
    bool isDefault;
  } cases[] = {{"JPEG", true, std::string(jpeg.begin(), jpeg.end()), false},
               {"no file", false, "", true},
               {"empty file", true, "", true},
               {"JPEG again", true, std::string(jpeg.begin(), jpeg.end()), false},
               {"not a JPEG", true, "GIF89a not a picture at all", true},
               {"cut JPEG", true, std::string(jpeg.begin(), jpeg.begin() + 200), true}};
  Client client;
  BootToMainMenu(client);
  SaveResult(5, u"A", u"T");
  auto record = LoadSaved(5);
  for (const Case& c : cases) {
    std::filesystem::remove(DataFolder(client) + "5.jpg");
    if (c.file) WriteJpg(client, 5, c.bytes);
    device::Trace::clearForTests();
    ShowResult(client, record.get());
    client.driver.advance(3000);
    EXPECT_EQ(Shows(client, 127, 10, 91), c.isDefault) << c.name;
    EXPECT_EQ(TraceCount("SHLoadImageFile"), c.file ? 1u : 0u) << c.name;
    if (!c.isDefault) {
      EXPECT_EQ(client.clientPixel(20, 100) >> 16, 0xFFu) << "the picture's orange half";
    }
    SwitchScreen(SCREEN_MAIN_MENU);
  }
}

// Narrow windows put the link list beside the art under a full-width text block; wide ones put
// it at the right edge, 15 pixels under the header, beside a text block 105 pixels short.
struct Layout {
  const char* profile;
  int listX, listY, labelRight, valueRight;
};
class ResultsScreenLayout : public testing::TestWithParam<Layout> {};

TEST_P(ResultsScreenLayout, PlacesTheTextArtAndLinks) {
  const Layout& c = GetParam();
  Client client(MakeConfig(c.profile));
  BootToMainMenu(client);
  SaveResult(0, u"A", u"T", {"r", "", "", ""});
  auto record = LoadSaved(0);
  device::Trace::clearForTests();
  ShowResult(client, record.get());
  RECT rc = client.clientRect();
  EXPECT_TRUE(Shows(client, 144, rc.right / 2 - 160, 0));
  EXPECT_TRUE(Shows(client, 127, 10, 91));
  EXPECT_TRUE(Shows(client, 130, c.listX, c.listY));
  EXPECT_EQ(ShownEntries(client, c.listX, c.listY), (std::vector<int>{134, 135}));
  std::vector<TextCall> labels = TextCalls(DT_SINGLELINE | DT_VCENTER | DT_RIGHT);
  ASSERT_EQ(labels.size(), 2u);
  EXPECT_EQ(labels[0].rect.right, c.labelRight);
  EXPECT_EQ(labels[1].rect.top, 66);
  client.driver.advance(6000);  // the lines' timers run, but a text that fits never moves
  std::vector<TextCall> values = TextCalls(DT_VCENTER);
  ASSERT_GT(values.size(), 2u);
  for (const TextCall& value : values) {
    EXPECT_EQ(value.rect.left, c.labelRight + 11);
    EXPECT_EQ(value.rect.right, c.valueRight);
  }
  if (HasFailure()) client.driver.snap(std::string("results-") + c.profile + ".png");
}

INSTANTIATE_TEST_SUITE_P(Profiles, ResultsScreenLayout,
                         testing::Values(Layout{"qvga", 133, 91, 47, 240}, Layout{"square", 220, 61, 42, 215}),
                         [](const testing::TestParamInfo<Layout>& info) { return std::string(info.param.profile); });

// Without a record the header has no success words and the no-match picture is centred between
// the header and the soft-key bar; the action key does nothing.
TEST(ResultsScreen, NoMatchShowsTheSorryPicture) {
  Client client;
  BootToMainMenu(client);
  ShowResult(client, nullptr);
  RECT rc = client.clientRect();
  EXPECT_TRUE(Shows(client, 113, rc.right / 2 - 160, 0));
  EXPECT_TRUE(Shows(client, 124, rc.right / 2 - 120, 46 + (rc.bottom - 34 - 46) / 2 - 60));
  client.driver.press(VK_DOWN);
  client.driver.press(VK_RETURN);
  EXPECT_EQ(g_nCurrentScreen, SCREEN_RESULTS);
  EXPECT_EQ(client.countTrace("ShellExecuteEx"), 0u);
}
