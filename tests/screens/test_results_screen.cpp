// The results screen with results saved through the store: its link list and keys, the lines'
// sideways scroll under the virtual clock, the album art and its fallback, both layouts.
#include <filesystem>
#include <fstream>

#include "screens/SMSScreen.h"
#include "screens/ScreenTestSupport.h"

using namespace melodex_test;
using namespace screens_test;

namespace {

// The link entries stacked under the heading "get:" at (x, y), as the resource ids shown.
std::vector<int> ShownEntries(const Client& client, int x, int y) {
  std::vector<int> ids;
  if (!Shows(client, 130, x, y)) return ids;
  int d = 22;
  for (bool found = true; found;) {
    found = false;
    for (int id : {133, 134, 128, 129, 137, 138, 131, 132, 135, 136})
      if (!found && Shows(client, id, x, y + d)) {
        ids.push_back(id);
        d += id == 131 || id == 132 ? 21 : id == 135 || id == 136 ? 23 : 22;
        found = true;
      }
  }
  return ids;
}

std::function<void(Client&)> Opened(const char* url) {
  return [url](Client& client) {
    EXPECT_EQ(client.countTrace("ShellExecuteEx"), 1u);
    EXPECT_EQ(client.countTrace(std::string("params=") + url + " "), 1u) << url;
  };
}
std::function<void(Client&)> Lit(std::vector<int> entries) {
  return [entries](Client& client) { EXPECT_EQ(ShownEntries(client, 133, 91), entries); };
}
// Both layouts: where the link list stands and where the text block's labels and values end.
std::function<void(Client&)> Layout(int listX, int listY, int labelRight, int valueRight) {
  return [=](Client& client) {
    RECT rc = client.clientRect();
    EXPECT_TRUE(Shows(client, 144, rc.right / 2 - 160, 0));
    EXPECT_TRUE(Shows(client, 127, 10, 91)) << "the default art: no picture was saved";
    EXPECT_EQ(ShownEntries(client, listX, listY), (std::vector<int>{134, 137, 131, 135}));
    device::Trace::clearForTests();
    client.driver.advance(6000);  // the lines' timers run, but texts that fit never move
    for (const TextCall& label : TextCalls(DT_SINGLELINE | DT_VCENTER | DT_RIGHT)) EXPECT_EQ(label.rect.right, labelRight);
    std::vector<TextCall> values = TextCalls(DT_VCENTER);
    EXPECT_GT(values.size(), 2u);
    for (const TextCall& value : values) EXPECT_EQ(value.rect.left, labelRight + 11);
    for (const TextCall& value : values) EXPECT_EQ(value.rect.right, valueRight);
  };
}

}  // namespace

// Absent links ("null" exactly, or empty) take no entry; Share ID always comes last, and the
// first entry starts highlighted. Up and Down wrap around the entries shown.
TEST(ResultsScreen, TheLinkListHoldsThePresentLinksAndWraps) {
  struct Case {
    Links links;
    std::vector<int> shown, afterUp;
  } cases[] = {{{"", "null", "", "null"}, {136}, {136}},
               {{"http://r", "", "null", "http://rec"}, {134, 131, 135}, {133, 131, 136}},
               {{"", "", "Null", ""}, {138, 135}, {137, 136}},
               {{"", "", " null", ""}, {138, 135}, {137, 136}},
               {{"a", "b", "c", "d"}, {134, 128, 137, 131, 135}, {133, 128, 137, 131, 136}}};
  Client client;
  BootToMainMenu(client);
  for (const Case& c : cases) {
    SaveResult(1, u"Artist", u"Title", c.links);
    auto record = LoadSaved(1);
    ShowResult(client, record.get());
    EXPECT_EQ(ShownEntries(client, 133, 91), c.shown) << c.links.wallpaper;
    client.driver.press(VK_UP);
    EXPECT_EQ(ShownEntries(client, 133, 91), c.afterUp) << c.links.wallpaper;
    client.driver.press(VK_DOWN);
    EXPECT_EQ(ShownEntries(client, 133, 91), c.shown) << c.links.wallpaper;
    SwitchScreen(SCREEN_MAIN_MENU);
  }
}

// A saved result opened from the history: Ringtone, a wallpaper of "Null" and a recommendation
// of " null" (links both, opened as they are), then Share ID.
const Reach kAtSavedResult = {
    {VK_RETURN,
     Do("save a result with three links",
        [](Client&) { SaveResult(3, u"Artist", u"Title", {"http://ring", "", "Null", " null"}); }),
     VK_DOWN, VK_RETURN, VK_RETURN},
    SCREEN_RESULTS};
const Stack kFromHistory = {SCREEN_MAIN_MENU, SCREEN_MANAGE};
const Stack kLeftResults = {SCREEN_MAIN_MENU, SCREEN_MANAGE, SCREEN_RESULTS};

const ScreenRow kResultsRows[] = {
    {"Back returns to the history", {VK_ESCAPE}, SCREEN_MANAGE, Stack{SCREEN_MAIN_MENU}},
    {"Code 1 is a back key", {0x01}, SCREEN_MANAGE, Stack{SCREEN_MAIN_MENU}},
    {"The left arrow is a back key", {VK_LEFT}, SCREEN_MANAGE, Stack{SCREEN_MAIN_MENU}},
    {"The left Windows key is a back key", {VK_LWIN}, SCREEN_MANAGE, Stack{SCREEN_MAIN_MENU}},
    {"The left soft key is a back key", {VK_F1}, SCREEN_MANAGE, Stack{SCREEN_MAIN_MENU}},
    {"Code 2 starts a new identification", {0x02}, SCREEN_LISTENING, kLeftResults},
    {"The right Windows key starts a new identification", {VK_RWIN}, SCREEN_LISTENING, kLeftResults},
    {"The right soft key starts a new identification", {VK_F2}, SCREEN_LISTENING, kLeftResults},
    {"Other keys change nothing", {KeyUpReturns(VK_RIGHT, 0), KeyUpReturns('5', 0)}, SCREEN_RESULTS, kFromHistory,
     Lit({134, 137, 131, 135})},
    {"The action key opens the ringtone", {VK_RETURN}, SCREEN_RESULTS, kFromHistory, Opened("http://ring")},
    {"A Null wallpaper is opened as it is", {VK_DOWN, VK_RETURN}, SCREEN_RESULTS, {}, Opened("Null")},
    {"A blank and null recommendation is opened as it is", {VK_DOWN, VK_DOWN, VK_RETURN}, SCREEN_RESULTS, {},
     Opened(" null")},
    {"Share ID hands the result to the SMS screen", {VK_UP, VK_RETURN}, SCREEN_SMS, kLeftResults,
     [](Client& client) {
       EXPECT_EQ(((SMSScreen*)g_screens[SCREEN_SMS])->record, ((ResultsScreen*)g_screens[SCREEN_RESULTS])->record);
       EXPECT_EQ(client.countTrace("ShellExecuteEx"), 0u);
     }},
    {"A narrow screen has the links beside the art", {}, SCREEN_RESULTS, {}, Layout(133, 91, 47, 240)},
    {"A wide screen has the links at its right edge", {}, SCREEN_RESULTS, {}, Layout(220, 61, 42, 215), "square"},
};
MELODEX_SCREEN_ROWS(ResultsScreenKeys, kAtSavedResult, kResultsRows);

// After new ID! twice, the next result (here no match: the sorry picture, and the action key does
// nothing) pops its own id on the first Back, which changes nothing; the second Back leaves.
TEST(ResultsScreen, AfterNewIdTheSecondBackLeaves) {
  Client client;
  BootToMainMenu(client);
  SaveResult(0, u"A", u"T");
  auto record = LoadSaved(0);
  PushScreen(SCREEN_MAIN_MENU);
  for (TagRecord* shown : {record.get(), record.get()}) {
    ShowResult(client, shown);
    client.driver.press(VK_F2);
  }
  EXPECT_EQ(BackStack(), (Stack{SCREEN_MAIN_MENU, SCREEN_RESULTS}));
  ShowResult(client, nullptr);
  RECT rc = client.clientRect();
  EXPECT_TRUE(Shows(client, 113, rc.right / 2 - 160, 0));
  EXPECT_TRUE(Shows(client, 124, rc.right / 2 - 120, 46 + (rc.bottom - 34 - 46) / 2 - 60));
  for (UINT key : {VK_DOWN, VK_RETURN, VK_ESCAPE}) client.driver.press(key);
  EXPECT_EQ(g_nCurrentScreen, SCREEN_RESULTS);
  EXPECT_EQ(client.countTrace("ShellExecuteEx"), 0u);
  client.driver.press(VK_ESCAPE);
  EXPECT_EQ(g_nCurrentScreen, SCREEN_MAIN_MENU);
}

// The artist, 12 pixels too wide, and the title, exactly 10 too wide (it still shows its last
// pixels before it turns), take the same steps, each on its own timers, clipped to their places:
// values from x = 240 / 5 + 10 = 58 to 240, rows 46 to 65 and 66 to 86.
TEST(ResultsScreen, TooWideLinesScrollBackAndForth) {
  Client client;
  BootToMainMenu(client);
  SaveResult(0, TextOfWidth(182 + 12), TextOfWidth(182 + 10));
  auto record = LoadSaved(0);
  ShowResult(client, record.get());
  for (const ScrollStep& step : kScrollSteps) {
    device::Trace::clearForTests();
    client.driver.advance(step.wait);
    std::vector<TextCall> drawn = TextCalls(DT_VCENTER);
    size_t paints = drawn.size() / 2;  // the lines' timers fall due together: a paint after each
    EXPECT_EQ(paints == 0, step.offset == kNoPaint) << client.driver.now();
    if (paints == 0) continue;
    EXPECT_EQ(drawn[2 * paints - 2].rect.left, 58 - step.offset) << client.driver.now();
    EXPECT_EQ(drawn[2 * paints - 1].rect.left, 58 - step.offset) << client.driver.now();
    EXPECT_EQ(client.countTrace(ClipTo(58, 46, 240, 65)), paints);
    EXPECT_EQ(client.countTrace(ClipTo(58, 66, 240, 86)), paints);
  }
}

// The picture is the result's .jpg, read again on each activation and once only however often
// the screen is painted; a missing, empty or undecodable file gives the default art.
TEST(ResultsScreen, TheAlbumArtFallsBackToTheDefaultPicture) {
  std::vector<uint8_t> jpeg = MakeJpeg(100, 100);
  std::string picture(jpeg.begin(), jpeg.end());
  struct Case {
    const char* name;
    bool file;
    std::string bytes;
  } cases[] = {{"JPEG", true, picture},         {"no file", false, ""},
               {"empty file", true, ""},        {"JPEG again", true, picture},
               {"not a JPEG", true, "GIF89a"}, {"cut JPEG", true, picture.substr(0, 200)}};
  Client client;
  BootToMainMenu(client);
  SaveResult(5, u"A", u"T");
  auto record = LoadSaved(5);
  for (const Case& c : cases) {
    std::filesystem::remove(DataFolder(client) + "5.jpg");
    if (c.file) std::ofstream(DataFolder(client) + "5.jpg", std::ios::binary) << c.bytes;
    device::Trace::clearForTests();
    ShowResult(client, record.get());
    client.driver.advance(3000);
    EXPECT_EQ(client.countTrace("SHLoadImageFile"), c.file ? 1u : 0u) << c.name;
    EXPECT_EQ(Shows(client, 127, 10, 91), c.bytes != picture) << c.name;
    if (c.bytes == picture) {
      EXPECT_EQ(client.clientPixel(20, 100) >> 16, 0xFFu) << "the picture's orange half";
    }
    SwitchScreen(SCREEN_MAIN_MENU);
  }
}
