// The history screen over results saved through the store: the rows' order and dates, scrolling
// the list and the highlighted row, the Options menu, deleting, and broken history files.
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "screens/ManageScreen.h"
#include "screens/ScreenTestSupport.h"

using melodex_test::MakeConfig;
using namespace screens_test;

namespace {

ManageScreen* History() { return (ManageScreen*)g_screens[SCREEN_MANAGE]; }

// Result n is saved with an artist of n letters, so a row's text length (n + 4, "a... - t")
// tells which result it shows.
void SaveNumbered(LONG n) { SaveResult(n, std::u16string(n, u'a'), u"t"); }

void OpenHistory(Client& client) {
  SwitchScreen(SCREEN_MAIN_MENU);
  PushScreen(SCREEN_MAIN_MENU);
  SwitchScreen(SCREEN_MANAGE);
  client.driver.runPending();
}

// The rows one paint draws, top to bottom: the result each shows, its top, and whether it is
// the highlighted one (on the yellow fill).
struct Paint {
  std::vector<LONG> numbers;
  std::vector<LONG> tops;
  LONG highlightedTop = -1;
  size_t menuLabels = 0;
  std::vector<RECT> menuFills;  // yellow fills inside the menu
};

Paint Repaint(Client& client) {
  device::Trace::clearForTests();
  RequestRepaint(g_hWnd);
  client.driver.runPending();
  Paint paint;
  RECT rc = client.clientRect();
  for (const TextCall& call : TextCalls(DT_VCENTER)) {
    paint.numbers.push_back((LONG)call.length - 4);
    paint.tops.push_back(call.rect.top - 1);
  }
  for (const TextCall& call : TextCalls(DT_CENTER | DT_VCENTER))
    if (call.rect.left == rc.right - MENU_WIDTH) paint.menuLabels++;
  char prefix[64];
  snprintf(prefix, sizeof prefix, "gdi32: FillRect hdc=%p ", (void*)g_hdcBack);
  for (const std::string& line : device::Trace::lines()) {
    RECT r;
    if (line.rfind(prefix, 0) != 0 || line.find("color=00fcff") == std::string::npos) continue;
    sscanf(line.c_str() + strlen(prefix), "(%d,%d)-(%d,%d)", (int*)&r.left, (int*)&r.top, (int*)&r.right, (int*)&r.bottom);
    if (r.left == 0) paint.highlightedTop = r.top;
    else paint.menuFills.push_back(r);
  }
  return paint;
}

void RemoveHistory(const Client& client) {
  for (const auto& entry : std::filesystem::directory_iterator(DataFolder(client)))
    if (entry.path().extension() != ".txt") std::filesystem::remove(entry.path());
}

}  // namespace

// Rows are ordered by number, newest first, whatever order the folder lists the files in. A
// .dat named without a number counts but is not shown; no more than ten names are looked at.
TEST(HistoryScreen, RowsAreNewestFirst) {
  struct Case {
    std::vector<LONG> saved;
    const char* copied;  // a copy of 3.dat under this name, listed after the numbered names
    std::vector<LONG> shown;
    LONG count;
  } cases[] = {{{4, 9, 7}, nullptr, {9, 7, 4}, 3},
               {{2, 10, 9}, nullptr, {10, 9, 2}, 3},
               {{3, 1}, "notes.dat", {3, 1}, 3},
               {{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, "x.dat", {9, 8, 7, 6, 5, 4, 3, 2, 1, 0}, 10}};
  Client client;
  BootToMainMenu(client);
  for (const Case& c : cases) {
    RemoveHistory(client);
    for (LONG n : c.saved) SaveNumbered(n);
    if (c.copied) std::filesystem::copy_file(DataFolder(client) + "3.dat", DataFolder(client) + c.copied);
    OpenHistory(client);
    Paint paint = Repaint(client);
    EXPECT_EQ(paint.numbers, c.shown);
    EXPECT_EQ(History()->entryCount, c.count);
    EXPECT_EQ(paint.highlightedTop, paint.tops[0]);
  }
}

// Up on the first row highlights the last result and shows the last visibleRows rows; with
// fewer results than that the list stays drawn from its top. Down on the last row goes back.
struct Wrap {
  const char* profile;
  int saved;
};
class HistoryScreenWrap : public testing::TestWithParam<Wrap> {};

TEST_P(HistoryScreenWrap, UpOnTheFirstRowHighlightsTheLast) {
  Client client(MakeConfig(GetParam().profile));
  BootToMainMenu(client);
  int saved = GetParam().saved;
  for (LONG n = 0; n < saved; n++) SaveNumbered(n);
  OpenHistory(client);
  LONG visible = History()->visibleRows;
  ASSERT_EQ(saved > visible, std::string(GetParam().profile) == "qvga-square") << "visible rows " << visible;
  client.driver.press(VK_UP);
  Paint paint = Repaint(client);
  LONG shown = saved < visible ? saved : visible;
  ASSERT_EQ((LONG)paint.numbers.size(), shown);
  EXPECT_EQ(paint.numbers.front(), shown - 1) << "the oldest rows, from the top";
  EXPECT_EQ(paint.numbers.back(), 0);
  EXPECT_EQ(paint.tops.front(), 46);
  EXPECT_EQ(paint.highlightedTop, paint.tops.back());
  client.driver.press(VK_DOWN);
  paint = Repaint(client);
  EXPECT_EQ(paint.numbers.front(), saved - 1);
  EXPECT_EQ(paint.highlightedTop, 46);
}

INSTANTIATE_TEST_SUITE_P(Profiles, HistoryScreenWrap, testing::Values(Wrap{"qvga-square", 10}, Wrap{"qvga", 3}),
                         [](const testing::TestParamInfo<Wrap>& info) {
                           return std::string(info.param.profile == std::string("qvga") ? "Fewer" : "More");
                         });

// Deleting the highlighted oldest result moves the highlight up; deleting the only one leaves
// an empty list whose menu offers New ID! alone, which starts listening.
TEST(HistoryScreen, DeletingResultsDownToNone) {
  Client client;
  BootToMainMenu(client);
  SaveNumbered(1);
  SaveNumbered(2);
  OpenHistory(client);
  client.driver.press(VK_DOWN);
  for (UINT key : {(UINT)VK_F2, (UINT)VK_DOWN, (UINT)VK_RETURN}) client.driver.press(key);
  EXPECT_FALSE(std::filesystem::exists(DataFolder(client) + "1.dat"));
  EXPECT_FALSE(std::filesystem::exists(DataFolder(client) + "1.jpg"));
  Paint paint = Repaint(client);
  EXPECT_EQ(paint.numbers, std::vector<LONG>{2});
  EXPECT_EQ(paint.highlightedTop, 46);
  EXPECT_EQ(paint.menuLabels, 0u) << "the action closed the menu";
  for (UINT key : {(UINT)VK_F2, (UINT)VK_RETURN}) client.driver.press(key);
  client.driver.press(VK_F2);
  paint = Repaint(client);
  EXPECT_TRUE(paint.numbers.empty());
  EXPECT_EQ(paint.menuLabels, 1u);
  ASSERT_EQ(paint.menuFills.size(), 1u);
  EXPECT_EQ(paint.menuFills[0].bottom - paint.menuFills[0].top, History()->textMetrics.tmHeight + 4);
  client.driver.press(VK_RETURN);
  EXPECT_EQ(g_nCurrentScreen, SCREEN_LISTENING);
  EXPECT_EQ(g_backStack[g_backStackTop], SCREEN_MANAGE);
}

// While the menu is open Escape does nothing; the left arrow and either soft key close it, and
// it reopens on the item last highlighted.
TEST(HistoryScreen, TheMenuIgnoresEscapeAndReopensOnItsLastItem) {
  Client client;
  BootToMainMenu(client);
  SaveNumbered(1);
  OpenHistory(client);
  LONG itemHeight = History()->textMetrics.tmHeight + 4;
  for (UINT close : {(UINT)VK_LEFT, (UINT)VK_F1, (UINT)VK_F2}) {
    client.driver.press(VK_F2);
    client.driver.press(VK_ESCAPE);
    EXPECT_EQ(g_nCurrentScreen, SCREEN_MANAGE);
    client.driver.press(VK_UP);
    Paint paint = Repaint(client);
    EXPECT_EQ(paint.menuLabels, 3u) << close;
    ASSERT_EQ(paint.menuFills.size(), 1u);
    RECT rc = client.clientRect();
    EXPECT_EQ(paint.menuFills[0].top, rc.bottom - 34 - itemHeight) << "New ID!, the last item";
    client.driver.press(close);
    EXPECT_EQ(Repaint(client).menuLabels, 0u) << close;
    client.driver.press(VK_F2);
    EXPECT_EQ(Repaint(client).menuFills[0].top, rc.bottom - 34 - itemHeight) << close;
    client.driver.press(VK_DOWN);  // back to ID Info for the next round
    client.driver.press(VK_LEFT);
  }
}

// The date is the local month and day of the .dat file's creation: 23:30 UTC on 31 December is
// already 1 January where the clock is an hour ahead.
TEST(HistoryScreen, TheDateIsTheLocalDayTheResultWasSaved) {
  struct Case {
    const char* tz;
    const char16_t* date;
  } cases[] = {{"UTC0", u"12/31"}, {"UTC-1", u"1/1"}, {"UTC+1", u"12/31"}, {"UTC-3", u"1/1"}};
  Client client;
  BootToMainMenu(client);
  SaveNumbered(1);
  OpenHistory(client);
  SYSTEMTIME evening = {2023, 12, 0, 31, 23, 30, 0, 0};
  LONG h = History()->textMetrics.tmHeight;
  for (const Case& c : cases) {
    setenv("TZ", c.tz, 1);
    tzset();
    ASSERT_TRUE(SystemTimeToFileTime(&evening, &History()->entries[0]->fileTime));
    Repaint(client);
    // The expected picture: the date drawn the same way on the highlighted row's yellow.
    HDC dc = CreateCompatibleDC(NULL);
    HBITMAP bitmap = CreateCompatibleBitmap(g_hdcBack, 40, h);
    HFONT font = CreateScreenFont(0);
    SelectObject(dc, bitmap);
    SelectObject(dc, font);
    RECT all = {0, 0, 40, h}, column = {0, 1, 40, h};
    FillWithColour(dc, &all, COLOUR_HIGHLIGHT);
    SetBkColor(dc, COLOUR_HIGHLIGHT);
    DrawTextW(dc, (const WCHAR*)c.date, -1, &column, DT_CENTER | DT_VCENTER);
    long differences = 0;
    for (int y = 0; y < h; y++)
      for (int x = 0; x < 40; x++)
        differences += client.clientPixel(x, 46 + y) != melodex_test::ColorrefToRgb(GetPixel(dc, x, y));
    EXPECT_EQ(differences, 0) << c.tz;
    DeleteDC(dc);
    DeleteObject(bitmap);
    DeleteObject(font);
  }
}

// The highlighted row's text, 12 pixels wider than its column, is drawn at offsets 0, 5, 10, 15,
// rests 2 seconds, comes back to -5, rests, and starts again, clipped to its column.
TEST(HistoryScreen, TheHighlightedRowScrollsBackAndForth) {
  Client client;
  BootToMainMenu(client);
  RECT rc = client.clientRect();
  SaveResult(1, TextOfWidth(rc.right - 41 + 12, u" - t"), u"t");
  OpenHistory(client);
  LONG offsets[] = {0, 5, 10, 15, 15, 10, 5, 0, -5, -5, 0, 5};
  uint64_t waits[] = {2000, 300, 300, 300, 2000, 300, 300, 300, 300, 2000, 300, 300};
  for (size_t k = 0; k < sizeof offsets / sizeof offsets[0]; k++) {
    device::Trace::clearForTests();
    client.driver.advance(waits[k]);
    std::vector<TextCall> drawn = TextCalls(DT_VCENTER);
    ASSERT_EQ(drawn.size(), 1u) << k;
    EXPECT_EQ(drawn[0].rect.left, 41 - offsets[k]) << "step " << k;
    char clip[96];
    snprintf(clip, sizeof clip, "SelectClipRgn hdc=%p (41,47)-(%d,%d)", (void*)g_hdcBack, (int)rc.right,
             46 + (int)History()->textMetrics.tmHeight);
    EXPECT_EQ(TraceCount(clip), 1u) << k;
  }
}

// Opening a result hands the results screen that record; its Back returns to the same row.
TEST(HistoryScreen, OpeningAResultAndBackKeepsTheRow) {
  Client client;
  BootToMainMenu(client);
  for (LONG n = 0; n < 3; n++) SaveNumbered(n);
  OpenHistory(client);
  client.driver.press(VK_DOWN);
  LONG secondRow = Repaint(client).highlightedTop;
  client.driver.press(VK_RETURN);
  ASSERT_EQ(g_nCurrentScreen, SCREEN_RESULTS);
  EXPECT_EQ(((ResultsScreen*)g_screens[SCREEN_RESULTS])->record->number, 1);
  client.driver.press(VK_ESCAPE);
  ASSERT_EQ(g_nCurrentScreen, SCREEN_MANAGE);
  EXPECT_EQ(Repaint(client).highlightedTop, secondRow);
}

// Broken history files are listed with what can be read, never read beyond their bytes
// (AddressSanitizer watches), and open with the default picture. A row text beyond the 512-unit
// buffer is cut to 511 units.
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
  OpenHistory(client);
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
