// The SMS screen, reached from a saved result's Share ID: typing the number, its three columns,
// sending the result's message through the phone's SMS service (its outbox file), and failures.
#include <fstream>
#include <iterator>

#include "device/Device.h"
#include "screens/SMSScreen.h"
#include "screens/ScreenTestSupport.h"

using melodex_test::MakeConfig;
using namespace screens_test;

namespace {

SMSScreen* Sms() { return (SMSScreen*)g_screens[SCREEN_SMS]; }

// Saves result 0 with the message and no links, opens it from the main menu and chooses Share ID.
std::unique_ptr<TagRecord> ShareSavedResult(Client& client, const char* message) {
  SaveResult(0, u"Artist", u"Title", {"", "", "", ""}, message);
  std::unique_ptr<TagRecord> record = LoadSaved(0);
  PushScreen(SCREEN_MAIN_MENU);
  ShowResult(client, record.get());
  client.driver.press(VK_RETURN);
  EXPECT_EQ(g_nCurrentScreen, SCREEN_SMS);
  return record;
}

void Type(Client& client, const char* digits) {
  for (const char* d = digits; *d; d++) client.driver.press((UINT)*d);
}

std::string Outbox(const Client& client) {
  std::ifstream in(client.driver.root() + "/sms-outbox.jsonl", std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

// The digits after "+1" stand in three columns of 3, 3 and 4, 10 pixels apart, each cut at its
// own rectangle; a column appears once its first digit is typed. An eleventh digit is ignored.
class SmsScreenColumns : public testing::TestWithParam<const char*> {};

TEST_P(SmsScreenColumns, TenDigitsStandInColumnsOfThreeThreeAndFour) {
  Client client(MakeConfig(GetParam()));
  BootToMainMenu(client);
  auto record = ShareSavedResult(client, "m");
  RECT rc = client.clientRect();
  LONG a = rc.right <= 240 ? 65 : 35;
  struct Case {
    const char* typed;
    std::vector<size_t> lengths;
  } cases[] = {{"555", {3}}, {"1234567", {3, 3, 4}}, {"8", {3, 3, 4}}};
  for (const Case& c : cases) {
    Type(client, c.typed);
    device::Trace::clearForTests();
    RequestRepaint(g_hWnd);
    client.driver.runPending();
    std::vector<TextCall> texts = TextCalls(0);
    ASSERT_EQ(texts.size(), 1 + c.lengths.size()) << "the prompt and the columns, after " << c.typed;
    for (size_t k = 0; k < c.lengths.size(); k++) {
      const TextCall& column = texts[1 + k];
      EXPECT_EQ(column.length, c.lengths[k]);
      EXPECT_EQ(column.rect.left, a + 40 * (LONG)k);
      EXPECT_EQ(column.rect.right, a + 40 * (LONG)k + (k < 2 ? 30 : 45));
      EXPECT_EQ(column.rect.top, 46 + 100);
      EXPECT_EQ(column.rect.bottom, rc.bottom - 34);
    }
  }
  EXPECT_EQ(std::u16string(Sms()->phoneNumber), u"+15551234567");
  RECT digits = {a, 146, a + 125, rc.bottom};
  EXPECT_EQ(melodex_test::CountDifferences(client, melodex_test::LoadResourcePicture(g_hInst, 143), a - 15, 141, digits), 0)
      << "the box behind the number";
  // On a narrow screen the logo's last row lies under the soft-key bar, drawn after it.
  RECT bar = {0, rc.bottom - 34, rc.right, rc.bottom};
  EXPECT_EQ(melodex_test::CountDifferences(client, melodex_test::LoadResourcePicture(g_hInst, 142), rc.right - 156,
                                           rc.bottom - 34 - (rc.right > 240 ? 63 : 62), bar),
            0);
}

INSTANTIATE_TEST_SUITE_P(Profiles, SmsScreenColumns, testing::Values("qvga", "square"));

// Every delete key removes the last digit; on the bare prefix it leaves for the results screen.
TEST(SmsScreen, DeleteKeysRemoveDigitsAndLeaveOnThePrefix) {
  Client client;
  BootToMainMenu(client);
  auto record = ShareSavedResult(client, "m");
  for (UINT key : {(UINT)VK_BACK, (UINT)VK_CLEAR, (UINT)VK_LEFT, (UINT)VK_DELETE}) {
    Type(client, "12");
    client.driver.press(key);
    EXPECT_EQ(std::u16string(Sms()->phoneNumber), u"+11") << key;
    client.driver.press(key);
    client.driver.press(key);
    EXPECT_EQ(g_nCurrentScreen, SCREEN_RESULTS) << key;
    client.driver.press(VK_RETURN);
    ASSERT_EQ(g_nCurrentScreen, SCREEN_SMS);
    EXPECT_EQ(std::u16string(Sms()->phoneNumber), u"+1");
  }
}

// The message goes out as the service wrote it, cut to 160 units, to "+1" and the ten digits.
// Every send returns to the results screen, keeping its id on the back stack: its first Back
// changes nothing. The number stays for the next send.
TEST(SmsScreen, SendsTheResultsMessageAndReturns) {
  Client client;
  BootToMainMenu(client);
  struct Case {
    std::string message, sent;
    int bytes;
  } cases[] = {{std::string(200, 'x'), std::string(160, 'x'), 320}, {"null", "null", 8}, {"", "", 0}};
  auto record = ShareSavedResult(client, "first");
  Type(client, "3");
  client.driver.press(VK_F2);
  EXPECT_EQ(g_nCurrentScreen, SCREEN_SMS) << "an incomplete number sends nothing";
  EXPECT_EQ(client.countTrace("SmsOpen"), 0u);
  Type(client, "105550100");
  for (const Case& c : cases) {
    auto shown = ShareSavedResult(client, c.message.c_str());
    std::string before = Outbox(client);
    client.driver.press(VK_F2);
    EXPECT_EQ(Outbox(client).substr(before.size()), "{\"to\": \"+13105550100\", \"class\": 1, \"text\": \"" + c.sent +
                                                         "\", \"bytes\": " + std::to_string(c.bytes) + "}\n");
    EXPECT_EQ(g_nCurrentScreen, SCREEN_RESULTS);
    client.driver.press(VK_ESCAPE);
    EXPECT_EQ(g_nCurrentScreen, SCREEN_RESULTS);
    client.driver.press(VK_ESCAPE);
    EXPECT_EQ(g_nCurrentScreen, SCREEN_MAIN_MENU);
  }
}

// A failed send returns to the results screen too; the service's own failure codes are logged.
TEST(SmsScreen, AFailedSendReturnsAndLogsTheServicesErrors) {
  struct Case {
    unsigned int fault;
    bool logged;
  } cases[] = {{0x82000107, true}, {0x02000003, true}, {0x82000110, false}, {0x80004005, false}};
  Client client;
  BootToMainMenu(client);
  size_t errors = 0;
  for (const Case& c : cases) {
    auto record = ShareSavedResult(client, "m");
    if (c.fault == cases[0].fault) Type(client, "3105550100");
    device::options().smsFault = c.fault;
    client.driver.press(VK_F2);
    EXPECT_EQ(g_nCurrentScreen, SCREEN_RESULTS) << std::hex << c.fault;
    std::string log = client.log();
    size_t count = 0;
    for (size_t at = log.find("SMS Error\r\n"); at != std::string::npos; at = log.find("SMS Error\r\n", at + 1)) count++;
    errors += c.logged ? 1 : 0;
    EXPECT_EQ(count, errors) << std::hex << c.fault;
    SwitchScreen(SCREEN_MAIN_MENU);
  }
  EXPECT_EQ(Outbox(client), "");
}

// The 33 logged codes are the service's protocol, message and radio errors and "no such
// registration"; their neighbours are not.
TEST(SmsScreen, LoggedErrorCodesAreExactlyTheServicesFailures) {
  struct Case {
    DWORD code;
    bool logged;
  } cases[] = {{0x82000001, true},  {0x82000002, true},  {0x82000003, false}, {0x820000FF, false},
               {0x82000100, true},  {0x8200010F, true},  {0x82000110, false}, {0x820001FF, false},
               {0x82000200, true},  {0x8200020D, true},  {0x8200020E, false}, {0x02000003, true},
               {0x02000002, false}, {0x82000000, false}, {0, false}};
  int logged = 0;
  for (DWORD code = 0x82000000; code <= 0x82000300; code++) logged += SMSScreen::isLoggedSmsError((HRESULT)code);
  EXPECT_EQ(logged + SMSScreen::isLoggedSmsError((HRESULT)0x02000003), 33);
  for (const Case& c : cases) EXPECT_EQ(SMSScreen::isLoggedSmsError((HRESULT)c.code), c.logged) << std::hex << c.code;
}
