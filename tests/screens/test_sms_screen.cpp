// The SMS screen, reached from a saved result's Share ID: typing the number, its three columns,
// and sending the result's message through the phone's SMS service (its outbox file).
#include "device/Device.h"
#include "screens/SMSScreen.h"
#include "screens/ScreenTestSupport.h"
#include "support/SmsOutbox.h"

using namespace melodex_test;
using namespace screens_test;

namespace {

SMSScreen* Sms() { return (SMSScreen*)g_screens[SCREEN_SMS]; }

// Saves result 0 (no links) with the message, shows it from the main menu, and chooses Share ID.
std::unique_ptr<TagRecord> ShareSavedResult(Client& client, const std::string& message) {
  SaveResult(0, u"Artist", u"Title", {"", "", "", ""}, message.c_str());
  std::unique_ptr<TagRecord> record = LoadSaved(0);
  PushScreen(SCREEN_MAIN_MENU);
  ShowResult(client, record.get());
  client.driver.press(VK_RETURN);
  EXPECT_EQ(g_nCurrentScreen, SCREEN_SMS);
  return record;
}

std::function<void(Client&)> Number(const char16_t* expected) {
  return [expected](Client& client) {
    EXPECT_EQ(std::u16string(Sms()->phoneNumber), expected);
    EXPECT_EQ(client.countTrace("SmsOpen"), 0u);
  };
}

// The typed digits stand in columns of 3, 3 and 4 characters 10 pixels apart, from x = 65 on a
// narrow screen and 35 on a wide one, each cut at its own rectangle; a column appears with its
// first digit. The number box and the logo stand around them.
std::function<void(Client&)> Columns(std::vector<size_t> lengths) {
  return [lengths](Client& client) {
    RECT rc = client.clientRect();
    LONG a = rc.right <= 240 ? 65 : 35;
    device::Trace::clearForTests();
    RequestRepaint(g_hWnd);
    client.driver.runPending();
    std::vector<TextCall> texts = TextCalls(0);
    ASSERT_EQ(texts.size(), 1 + lengths.size()) << "the prompt, then the columns";
    for (size_t k = 0; k < lengths.size(); k++) {
      EXPECT_EQ(texts[1 + k].length, lengths[k]);
      const RECT& column = texts[1 + k].rect;
      EXPECT_EQ(column.left, a + 40 * (LONG)k);
      EXPECT_EQ(column.right - column.left, k < 2 ? 30 : 45);
      EXPECT_EQ(column.top, 146);
      EXPECT_EQ(column.bottom, rc.bottom - 34);
    }
    RECT digits = {a, 146, a + 125, rc.bottom}, bar = {0, rc.bottom - 34, rc.right, rc.bottom};
    EXPECT_TRUE(Shows(client, 143, a - 15, 141, digits));
    EXPECT_TRUE(Shows(client, 142, rc.right - 156, rc.bottom - 34 - (rc.right > 240 ? 63 : 62), bar));
  };
}

}  // namespace

// A saved result without links opened from the history; Share ID, its only entry, leads here.
const Reach kAtSms = {{VK_RETURN, Do("save a result", [](Client&) { SaveResult(0, u"Artist", u"Title"); }), VK_DOWN,
                       VK_RETURN, VK_RETURN, VK_RETURN},
                      SCREEN_SMS};
const Stack kAtSmsStack = {SCREEN_MAIN_MENU, SCREEN_MANAGE, SCREEN_RESULTS};
const Stack kResultStack = {SCREEN_MAIN_MENU, SCREEN_MANAGE};
const Inputs kTenDigits = {'3', '1', '0', '5', '5', '5', '0', '1', '0', '0'};

const ScreenRow kSmsRows[] = {
    {"Back-space clear left and delete each remove the last digit",
     {'1', '2', '3', '4', '5', VK_BACK, VK_CLEAR, VK_LEFT, VK_DELETE}, SCREEN_SMS, kAtSmsStack, Number(u"+11")},
    {"Back-space on the bare prefix returns to the result", {VK_BACK}, SCREEN_RESULTS, kResultStack},
    {"Back returns to the result", {VK_ESCAPE}, SCREEN_RESULTS, kResultStack},
    {"The left soft key returns to the result", {VK_F1}, SCREEN_RESULTS, kResultStack},
    {"Other keys change nothing", {'4', KeyUpReturns(VK_UP, 0), KeyUpReturns(VK_RETURN, 0)}, SCREEN_SMS, kAtSmsStack,
     Number(u"+14")},
    {"ShareID with three digits sends nothing", {'1', '2', '3', VK_F2}, SCREEN_SMS, kAtSmsStack,
     [](Client& client) {
       Number(u"+1123")(client);
       Columns({3})(client);
     }},
    {"Ten digits stand in columns of three three and four", kTenDigits, SCREEN_SMS, {}, Columns({3, 3, 4})},
    {"The columns start further left on a wide screen", kTenDigits, SCREEN_SMS, {}, Columns({3, 3, 4}), "square"},
    {"An eleventh digit is ignored", {'3', '1', '0', '5', '5', '5', '0', '1', '0', '0', '7'}, SCREEN_SMS, {},
     Number(u"+13105550100")},
};
MELODEX_SCREEN_ROWS(SmsScreenKeys, kAtSms, kSmsRows);

// The message goes out as the service wrote it, cut to 160 units, to "+1" and the ten digits.
// Every send returns to the results screen and keeps its id on the back stack, so the first
// Back there changes nothing. The number stays for the next send.
TEST(SmsScreen, SendsTheResultsMessageAndReturns) {
  struct Case {
    std::string message, sent;
    int bytes;
  } cases[] = {{std::string(200, 'x'), std::string(160, 'x'), 320}, {"null", "null", 8}, {"", "", 0}};
  Client client;
  BootToMainMenu(client);
  for (const Case& c : cases) {
    auto record = ShareSavedResult(client, c.message);
    if (c.bytes == 320)
      for (const char* d = "3105550100"; *d; d++) client.driver.press((UINT)*d);
    const size_t before = SentMessages(client.driver.root()).size();
    client.driver.press(VK_F2);
    const std::vector<nlohmann::json> messages = SentMessages(client.driver.root());
    ASSERT_EQ(messages.size(), before + 1);
    const nlohmann::json& sent = messages.back();
    EXPECT_EQ(sent["to"], "+13105550100");
    EXPECT_EQ(sent["class"], 1);
    EXPECT_EQ(sent["text"].get<std::string>(), c.sent);
    EXPECT_EQ(sent["bytes"], c.bytes);
    EXPECT_EQ(g_nCurrentScreen, SCREEN_RESULTS);
    client.driver.press(VK_ESCAPE);
    EXPECT_EQ(g_nCurrentScreen, SCREEN_RESULTS);
    client.driver.press(VK_ESCAPE);
    EXPECT_EQ(g_nCurrentScreen, SCREEN_MAIN_MENU);
  }
}

// A failed send returns to the results screen too. The SMS service's 33 failure codes (its
// protocol, message and radio errors and "no such registration") are logged; others are not.
TEST(SmsScreen, AFailedSendReturnsAndLogsTheServicesErrors) {
  struct Case {
    DWORD code;
    bool logged;
  } cases[] = {{0x82000107, true}, {0x02000003, true}, {0x82000110, false}, {0x80004005, false}};
  Client client;
  BootToMainMenu(client);
  size_t errors = 0;
  for (const Case& c : cases) {
    auto record = ShareSavedResult(client, "m");
    if (c.code == cases[0].code)
      for (const char* d = "3105550100"; *d; d++) client.driver.press((UINT)*d);
    device::options().smsFault = c.code;
    client.driver.press(VK_F2);
    EXPECT_EQ(g_nCurrentScreen, SCREEN_RESULTS);
    errors += c.logged;
    EXPECT_EQ(client.countLog("SMS Error\r\n"), errors) << std::hex << c.code;
    SwitchScreen(SCREEN_MAIN_MENU);
  }
  EXPECT_TRUE(SentMessages(client.driver.root()).empty());
  int logged = SMSScreen::isLoggedSmsError((HRESULT)0x02000003);
  for (DWORD code = 0x82000000; code <= 0x82000300; code++) logged += SMSScreen::isLoggedSmsError((HRESULT)code);
  EXPECT_EQ(logged, 33);
  for (DWORD edge : {0x82000003u, 0x820000FFu, 0x82000110u, 0x820001FFu, 0x8200020Eu, 0x02000002u})
    EXPECT_FALSE(SMSScreen::isLoggedSmsError((HRESULT)edge)) << std::hex << edge;
}
