// The history screen over results saved through the store: the rows' order and dates, scrolling
// the list and the highlighted row, the Options menu, deleting, and broken history files.
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "screens/ManageScreen.h"
#include "screens/ScreenTestSupport.h"

using namespace melodex_test;
using namespace screens_test;

namespace {

ManageScreen* History() { return (ManageScreen*)g_screens[SCREEN_MANAGE]; }
LONG RowHeight() { return History()->textMetrics.tmHeight + 1; }

// Result n is saved with an artist of n letters, so a row's text length (n + 4, "a... - t")
// tells which result it shows.
void SaveNumbered(LONG n) { SaveResult(n, std::u16string(n, u'a'), u"t"); }

// One paint of the list: the results its rows show, top to bottom, the highlighted row's top,
// the menu's labels and its highlighted items' fills.
struct Paint {
  std::vector<LONG> numbers, tops;
  LONG highlightedTop = -1;
  size_t menuLabels = 0;
  std::vector<RECT> menuFills;
};

Paint Repaint(Client& client) {
  device::Trace::clearForTests();
  RequestRepaint(g_hWnd);
  client.driver.runPending();
  Paint paint;
  for (const TextCall& row : TextCalls(DT_VCENTER)) {
    paint.numbers.push_back((LONG)row.length - 4);
    paint.tops.push_back(row.rect.top - 1);
  }
  for (const TextCall& label : TextCalls(DT_CENTER | DT_VCENTER)) paint.menuLabels += label.rect.left > 40;
  char prefix[64];
  snprintf(prefix, sizeof prefix, "gdi32: FillRect hdc=%p (", (void*)g_hdcBack);
  for (const std::string& line : device::Trace::lines()) {
    int l, t, r, b;
    if (line.rfind(prefix, 0) != 0 || line.find("color=00fcff") == std::string::npos) continue;
    sscanf(line.c_str() + strlen(prefix), "%d,%d)-(%d,%d)", &l, &t, &r, &b);
    if (l == 0) paint.highlightedTop = t;
    else paint.menuFills.push_back(RECT{l, t, r, b});
  }
  return paint;
}

// The rows shown (by result number), the highlighted row, the menu's labels and its
// highlighted item (-1: none).
std::function<void(Client&)> Listed(std::vector<LONG> rows, LONG highlightedRow, size_t labels, LONG litItem) {
  return [=](Client& client) {
    Paint paint = Repaint(client);
    EXPECT_EQ(paint.numbers, rows);
    if (!rows.empty()) {
      EXPECT_EQ(paint.highlightedTop, 46 + highlightedRow * RowHeight());
    }
    EXPECT_EQ(paint.menuLabels, labels);
    if (litItem < 0) return;
    ASSERT_EQ(paint.menuFills.size(), 1u);
    LONG itemHeight = History()->textMetrics.tmHeight + 4;
    EXPECT_EQ(paint.menuFills[0].top, client.clientRect().bottom - 34 - ((LONG)labels - litItem) * itemHeight);
  };
}

// Up on the first row highlights the last result and shows the last rows that fit; with fewer
// results than fit, the list stays drawn from its top. Down then returns to the first row.
std::function<void(Client&)> WrappedTo(LONG saved) {
  return [saved](Client& client) {
    LONG fit = (client.clientRect().bottom - 34 - 46) / RowHeight();
    LONG shown = saved < fit ? saved : fit;
    std::vector<LONG> oldest;
    for (LONG n = shown - 1; n >= 0; n--) oldest.push_back(n);
    Listed(oldest, shown - 1, 0, -1)(client);
    client.driver.press(VK_DOWN);
    EXPECT_EQ(Repaint(client).numbers.front(), saved - 1);
  };
}
Input SaveAndOpen(LONG count) {
  return Do("save " + std::to_string(count) + " results and open the history", [count](Client& client) {
    for (LONG n = 0; n < count; n++) SaveNumbered(n);
    client.driver.press(VK_DOWN);
    client.driver.press(VK_RETURN);
  });
}

}  // namespace

// Two saved results, 2 over 1, reached from the main menu.
const Reach kAtHistory = {{VK_RETURN,
                           Do("save results 1 and 2",
                              [](Client&) {
                                SaveNumbered(1);
                                SaveNumbered(2);
                              }),
                           VK_DOWN, VK_RETURN},
                          SCREEN_MANAGE};

const ScreenRow kHistoryRows[] = {
    {"Back returns to the main menu", {VK_ESCAPE}, SCREEN_MAIN_MENU, Stack{}},
    {"Escape does nothing while the menu is open", {VK_F2, VK_ESCAPE}, SCREEN_MANAGE, Stack{SCREEN_MAIN_MENU},
     Listed({2, 1}, 0, 3, 0)},
    {"The left arrow closes the menu", {VK_F2, VK_LEFT}, SCREEN_MANAGE, {}, Listed({2, 1}, 0, 0, -1)},
    {"The left soft key closes the menu", {VK_F2, VK_F1}, SCREEN_MANAGE, {}, Listed({2, 1}, 0, 0, -1)},
    {"The right soft key closes the menu", {VK_F2, VK_F2}, SCREEN_MANAGE, {}, Listed({2, 1}, 0, 0, -1)},
    {"The menu reopens on its last item", {VK_DOWN, VK_F2, VK_UP, VK_LEFT, VK_F2}, SCREEN_MANAGE, {},
     Listed({2, 1}, 1, 3, 2)},
    {"New ID starts a new identification", {VK_F2, VK_UP, VK_RETURN}, SCREEN_LISTENING,
     Stack{SCREEN_MAIN_MENU, SCREEN_MANAGE}},
    {"ID Info opens the highlighted result", {VK_DOWN, VK_F2, VK_RETURN}, SCREEN_RESULTS,
     Stack{SCREEN_MAIN_MENU, SCREEN_MANAGE},
     [](Client&) { EXPECT_EQ(((ResultsScreen*)g_screens[SCREEN_RESULTS])->record->number, 1); }},
    {"Back from an opened result keeps its row", {VK_DOWN, VK_RETURN, VK_ESCAPE}, SCREEN_MANAGE,
     Stack{SCREEN_MAIN_MENU}, Listed({2, 1}, 1, 0, -1)},
    {"Deleting the highlighted oldest moves the highlight up", {VK_DOWN, VK_F2, VK_DOWN, VK_RETURN}, SCREEN_MANAGE,
     {},
     [](Client& client) {
       Listed({2}, 0, 0, -1)(client);
       EXPECT_FALSE(std::filesystem::exists(DataFolder(client) + "1.dat"));
       EXPECT_FALSE(std::filesystem::exists(DataFolder(client) + "1.jpg"));
     }},
    {"Deleting the only result leaves New ID alone", {VK_F2, VK_DOWN, VK_RETURN, VK_F2, VK_RETURN, VK_F2},
     SCREEN_MANAGE, {}, Listed({}, 0, 1, 0)},
    {"New ID alone starts a new identification", {VK_F2, VK_DOWN, VK_RETURN, VK_F2, VK_RETURN, VK_F2, VK_RETURN},
     SCREEN_LISTENING, Stack{SCREEN_MAIN_MENU, SCREEN_MANAGE}},
};
MELODEX_SCREEN_ROWS(HistoryScreenKeys, kAtHistory, kHistoryRows);

const ScreenRow kWrapRows[] = {
    {"Up with more results than fit shows the last rows", {SaveAndOpen(10), VK_UP}, SCREEN_MANAGE, {}, WrappedTo(10),
     "qvga-square"},
    {"Up with fewer results than fit keeps the list at its top", {SaveAndOpen(3), VK_UP}, SCREEN_MANAGE, {},
     WrappedTo(3)},
    {.name = "Moving below the last row that fits scrolls the list and Up scrolls it back",
     .keys = {SaveAndOpen(10)},
     .screen = SCREEN_MANAGE,
     .check =
         [](Client& client) {
           LONG fit = (client.clientRect().bottom - 34 - 46) / RowHeight();
           for (LONG k = 0; k < fit; k++) client.driver.press(VK_DOWN);
           Paint paint = Repaint(client);
           EXPECT_EQ(paint.numbers.front(), 8);
           EXPECT_EQ(paint.highlightedTop, paint.tops.back());
           for (LONG k = 0; k < fit; k++) client.driver.press(VK_UP);
           EXPECT_EQ(Repaint(client).numbers.front(), 9);
           EXPECT_EQ(Repaint(client).highlightedTop, 46);
         },
     .profile = "qvga-square"},
    {"The action key on the place of an unnumbered file opens nothing",
     {SaveAndOpen(2), Do("copy 1.dat to notes.dat and reopen", [](Client& client) {
        std::filesystem::copy_file(DataFolder(client) + "1.dat", DataFolder(client) + "notes.dat");
        SwitchScreen(SCREEN_MAIN_MENU);
        SwitchScreen(SCREEN_MANAGE);
      }),
      VK_DOWN, VK_DOWN, VK_RETURN},
     SCREEN_MANAGE},
};
MELODEX_SCREEN_ROWS(HistoryScreenWrap, kAtMainMenu, kWrapRows);

// Rows are ordered by number, newest first, whatever order the folder lists the files in. A
// .dat named without a number counts but is not shown; no more than ten names are looked at.
TEST(HistoryScreen, RowsAreNewestFirst) {
  struct Case {
    std::vector<LONG> saved;
    const char* copied;  // a copy of 3.dat under this name, listed after the numbered ones
    std::vector<LONG> shown;
    LONG count;
  } cases[] = {{{4, 9, 7}, nullptr, {9, 7, 4}, 3},
               {{2, 10, 9}, nullptr, {10, 9, 2}, 3},
               {{3, 1}, "notes.dat", {3, 1}, 3},
               {{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, "x.dat", {9, 8, 7, 6, 5, 4, 3, 2, 1, 0}, 10}};
  Client client;
  BootToMainMenu(client);
  for (const Case& c : cases) {
    for (const auto& entry : std::filesystem::directory_iterator(DataFolder(client)))
      if (entry.path().extension() == ".dat") std::filesystem::remove(entry.path());
    for (LONG n : c.saved) SaveNumbered(n);
    if (c.copied) std::filesystem::copy_file(DataFolder(client) + "3.dat", DataFolder(client) + c.copied);
    SwitchScreen(SCREEN_MAIN_MENU);
    SwitchScreen(SCREEN_MANAGE);
    EXPECT_EQ(Repaint(client).numbers, c.shown);
    EXPECT_EQ(History()->entryCount, c.count);
  }
}

// A row's date is the local month and day the .dat file was made: 23:30 UTC on 31 December is
// already 1/1 where the clock is an hour or more ahead.
TEST(HistoryScreen, TheDateIsTheLocalDayTheResultWasSaved) {
  struct Case {
    const char* tz;
    size_t length;  // "12/31" or "1/1"
  } cases[] = {{"UTC0", 5}, {"UTC-1", 3}, {"UTC+1", 5}, {"UTC-3", 3}};
  Client client;
  BootToMainMenu(client);
  SaveNumbered(1);
  SwitchScreen(SCREEN_MANAGE);
  SYSTEMTIME evening = {2023, 12, 0, 31, 23, 30, 0, 0};
  for (const Case& c : cases) {
    setenv("TZ", c.tz, 1);
    tzset();
    ASSERT_TRUE(SystemTimeToFileTime(&evening, &History()->entries[0]->fileTime));
    Repaint(client);
    std::vector<TextCall> dates = TextCalls(DT_CENTER | DT_VCENTER);
    ASSERT_EQ(dates.size(), 1u);
    EXPECT_EQ(dates[0].length, c.length) << c.tz;
  }
}

// The highlighted row's text, 12 pixels wider than its column, scrolls back and forth inside it.
TEST(HistoryScreen, TheHighlightedRowScrollsBackAndForth) {
  Client client;
  BootToMainMenu(client);
  RECT rc = client.clientRect();
  SaveResult(1, TextOfWidth(rc.right - 41 + 12, u" - t"), u"t");
  SwitchScreen(SCREEN_MANAGE);
  client.driver.runPending();
  for (const ScrollStep& step : kScrollSteps) {
    device::Trace::clearForTests();
    client.driver.advance(step.wait);
    std::vector<TextCall> drawn = TextCalls(DT_VCENTER);
    EXPECT_EQ(drawn.size(), step.offset == kNoPaint ? 0u : 1u) << client.driver.now();
    if (drawn.empty()) continue;
    EXPECT_EQ(drawn[0].rect.left, 41 - step.offset) << client.driver.now();
    EXPECT_EQ(client.countTrace(ClipTo(41, 47, rc.right, 46 + RowHeight() - 1)), 1u);
  }
}

// Broken history files are listed with what can be read, never read beyond their bytes
// (AddressSanitizer watches), and open with the default picture. A row text beyond its
// 512-unit buffer is cut to 511 units.
TEST(HistoryScreen, BrokenFilesFallBack) {
  Client client;
  BootToMainMenu(client);
  SaveResult(5, std::u16string(300, u'x'), std::u16string(300, u'y'));
  SaveNumbered(4);
  std::ofstream(DataFolder(client) + "4.jpg", std::ios::binary) << "not a JPEG";
  SaveNumbered(3);
  std::filesystem::resize_file(DataFolder(client) + "3.dat", 5);
  SaveResult(2, std::u16string(3000, u'a'), u"t");  // 6000 bytes and more: beyond what is read
  std::ofstream(DataFolder(client) + "1.dat", std::ios::binary) << std::string(50, 'a');  // no terminator
  SwitchScreen(SCREEN_MANAGE);
  Paint paint = Repaint(client);
  ASSERT_EQ(paint.numbers.size(), 5u);
  EXPECT_EQ(paint.numbers[0] + 4, 511) << "the long row, cut";
  EXPECT_EQ(paint.numbers[1], 4);
  for (int row = 0; row < 5; row++) {
    client.driver.press(VK_RETURN);
    ASSERT_EQ(g_nCurrentScreen, SCREEN_RESULTS);
    EXPECT_TRUE(Shows(client, 127, 10, 91)) << "row " << row;
    client.driver.press(VK_ESCAPE);
    client.driver.press(VK_DOWN);
  }
}
