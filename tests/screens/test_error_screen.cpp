// The error screens 10 and 11: keys, picture and message.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "app/SoftKeyBar.h"
#include "screens/ErrorScreen.h"
#include "support/ScreenRows.h"

using namespace melodex_test;

namespace {

ErrorScreen* Error(ScreenId id) { return (ErrorScreen*)g_screens[id]; }

const WCHAR kSendError[] = TEXT("Error sending recording to the server!");
// A word wider than the screen: centred, it reaches past both margins unless cut there.
const WCHAR kLongMessage[] =
    TEXT("Error sending recording to http://identify.melodex.example/servlet/ZorbelId?id=1003&ownerIdentifier=x");

Input SetMessage(ScreenId id, const WCHAR* text) {
  return Do("setMessage", [id, text](Client&) { Error(id)->setMessage(text); });
}

// Pixels with ink (not white) between rows top and bottom, columns left to right.
long Ink(const Client& client, int left, int top, int right, int bottom) {
  long ink = 0;
  for (int y = top; y < bottom; y++)
    for (int x = left; x < right; x++) ink += client.clientPixel(x, y) != 0xFFFFFF;
  return ink;
}

// The banner centred at the top, the error picture centred, the bar at the bottom; the area
// between the picture and the bar holds the message, 10 pixels in from each side. Writes a
// snap for a person to look at (into MELODEX_SNAP_DIR when set).
void CheckPicture(Client& client, bool withMessage) {
  RECT rc = client.clientRect();
  int pictureTop = rc.bottom / 2 - 50;  // the error picture is 220 x 100
  EXPECT_TRUE(Shows(client, 113, rc.right / 2 - 160, 0));
  EXPECT_TRUE(Shows(client, 125, rc.right / 2 - 110, pictureTop));
  EXPECT_EQ(client.clientPixel(rc.right - 1, rc.bottom - 1), 0x0077C0u) << "the bar's blue";
  int below = pictureTop + 100;
  int bar = rc.bottom - SOFT_KEY_BAR_HEIGHT;
  EXPECT_EQ(Ink(client, 10, below, rc.right - 10, bar) > 0, withMessage) << "the message below the picture";
  EXPECT_EQ(Ink(client, 0, below, 10, bar), 0) << "left margin";
  EXPECT_EQ(Ink(client, rc.right - 10, below, rc.right, bar), 0) << "right margin";
  EXPECT_TRUE(client.snap(std::to_string(rc.right) + "-error-" + std::to_string(g_nCurrentScreen) + ".png"));
}

const Reach kAtSendError = {{VK_RETURN, Switch(SCREEN_SEND_ERROR)}, SCREEN_SEND_ERROR};

const ScreenRow kErrorRows[] = {
    {.name = "The error screen labels the left soft key OK and has no right label",
     .screen = SCREEN_SEND_ERROR,
     .check = [](Client&) {
       EXPECT_NE(g_softKeyBar->leftImage, nullptr);
       EXPECT_EQ(g_softKeyBar->rightImage, nullptr);
       EXPECT_EQ(Error(SCREEN_SEND_ERROR)->message, nullptr);
     }},
    {"Back, action, right soft key and arrows do nothing",
     {KeyUpReturns(VK_ESCAPE, 0), KeyUpReturns(VK_RETURN, 0), KeyUpReturns(VK_F2, 0), VK_LEFT, VK_UP},
     SCREEN_SEND_ERROR},
    {"The left soft key returns to the main menu", {KeyUpReturns(VK_F1, 0)}, SCREEN_MAIN_MENU, Stack{}},
    {.name = "Screens 10 and 11 look the same and keep their own messages",
     .keys = {Switch(SCREEN_RECORD_ERROR)},
     .screen = SCREEN_RECORD_ERROR,
     .check = [](Client& client) {
       std::vector<uint32_t> eleven = client.driver.screen().pixels;
       SwitchScreen(SCREEN_SEND_ERROR);
       client.driver.runPending();
       EXPECT_EQ(client.driver.screen().pixels, eleven);
       Error(SCREEN_SEND_ERROR)->setMessage(kSendError);
       EXPECT_EQ(Error(SCREEN_RECORD_ERROR)->message, nullptr);
       Error(SCREEN_RECORD_ERROR)->setMessage(TEXT("eleven"));
       EXPECT_EQ(std::u16string(Error(SCREEN_SEND_ERROR)->message), std::u16string(kSendError));
     }},
    {.name = "A second failure replaces the first message with a copy of its own",
     .keys = {SetMessage(SCREEN_SEND_ERROR, TEXT("first failure")), Switch(SCREEN_SEND_ERROR),
              SetMessage(SCREEN_SEND_ERROR, kSendError)},
     .screen = SCREEN_SEND_ERROR,
     .check = [](Client&) {
       EXPECT_NE(Error(SCREEN_SEND_ERROR)->message, kSendError);
       EXPECT_EQ(std::u16string(Error(SCREEN_SEND_ERROR)->message), std::u16string(kSendError));
     }},
    {.name = "A longer message is cut to 1023 characters",
     .keys = {Do("3000 x", [](Client&) {
       std::u16string text(3000, u'x');
       Error(SCREEN_SEND_ERROR)->setMessage((LPCWSTR)text.c_str());
     })},
     .screen = SCREEN_SEND_ERROR,
     .check = [](Client&) {
       EXPECT_EQ(std::u16string(Error(SCREEN_SEND_ERROR)->message), std::u16string(1023, u'x'));
     }},
    {.name = "Screen 11 shows the banner and the centred picture without a message",
     .keys = {Switch(SCREEN_RECORD_ERROR)},
     .screen = SCREEN_RECORD_ERROR,
     .check = [](Client& client) { CheckPicture(client, false); }},
    {.name = "A long message is drawn below the picture inside the margins on the square screen",
     .keys = {SetMessage(SCREEN_SEND_ERROR, kLongMessage)},
     .screen = SCREEN_SEND_ERROR,
     .check = [](Client& client) { CheckPicture(client, true); },
     .profile = "square"},
};
MELODEX_SCREEN_ROWS(ErrorKeys, kAtSendError, kErrorRows);

}  // namespace
