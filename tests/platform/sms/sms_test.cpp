// SMS service conformance: the outbox line, the checks of the address, the text and the
// 688-byte provider block, and the injected fault.
#include <gtest/gtest.h>
#include <windows.h>
#include <sms.h>

#include <nlohmann/json.hpp>

#include <cmath>
#include <ctime>
#include <string>
#include <vector>

#include "device/Device.h"
#include "device/TestDriver.h"
#include "support/SmsOutbox.h"

namespace {

struct Send {
  SMS_ADDRESS to;
  BYTE block[688];
  std::u16string text;
  DWORD blockSize = sizeof block;

  explicit Send(const char16_t* number, std::u16string message) : text(std::move(message)) {
    memset(&to, 0, sizeof to);
    to.smsatAddressType = SMSAT_INTERNATIONAL;
    std::u16string n(number);
    memcpy(to.ptsAddress, n.c_str(), (n.size() + 1) * sizeof(char16_t));
    // The text provider's fields at the start, the rest of the 688 bytes 0.
    memset(block, 0, sizeof block);
    TEXT_PROVIDER_SPECIFIC_DATA fields;
    memset(&fields, 0, sizeof fields);
    fields.psMessageClass = PS_MESSAGE_CLASS1;
    memcpy(block, &fields, sizeof fields);
  }

  HRESULT operator()(DWORD dataSize) {
    SMS_HANDLE handle = 0;
    HANDLE event = nullptr;
    EXPECT_EQ(SmsOpen(SMS_MSGTYPE_TEXT, SMS_MODE_SEND, &handle, &event), S_OK);
    HRESULT hr = SmsSendMessage(handle, nullptr, &to, nullptr,
                                reinterpret_cast<const BYTE*>(text.data()), dataSize, block,
                                blockSize, SMSDE_OPTIMAL, SMS_OPTION_DELIVERY_NONE, nullptr);
    EXPECT_EQ(SmsClose(handle), S_OK);
    return hr;
  }
  HRESULT operator()() { return (*this)(static_cast<DWORD>(text.size() * 2)); }
};

// Seconds between the host's local time now and a "YYYY-MM-DDTHH:MM:SS" phone time.
double SecondsFromNow(const std::string& phoneTime) {
  std::tm t{};
  if (!strptime(phoneTime.c_str(), "%Y-%m-%dT%H:%M:%S", &t)) return 1e9;
  t.tm_isdst = -1;
  return std::difftime(std::time(nullptr), std::mktime(&t));
}

// Each message is one line: the destination and its type, the class, the text in UTF-8, the
// text's size as the phone sent it (UTF-16 bytes) and the time on the phone's clock.
TEST(Sms, SendMessageWritesOneOutboxLine) {
  struct Message {
    const char16_t* text;
    const char* utf8;
    unsigned bytes;
  };
  const Message messages[] = {
      {u"Heard \"Caf\u00e9\" \\ by Abc\r\nlisten: http://x/y", "Heard \"Caf\xC3\xA9\" \\ by Abc\r\nlisten: http://x/y", 82},
      {u"\U0001F3B5 na\u00efve \u266B", "\xF0\x9F\x8E\xB5 na\xC3\xAFve \xE2\x99\xAB", 20},
      {u"lone \xD83C end", "lone \xEF\xBF\xBD end", 20},  // an unpaired surrogate
      {u"", "", 0},
  };
  device::TestDriver driver;
  for (const Message& m : messages) ASSERT_EQ(Send(u"+15551234567", m.text)(), S_OK);
  // A national number, and a message of no particular class.
  Send national(u"5551234567", u"x");
  national.to.smsatAddressType = SMSAT_NATIONAL;
  ASSERT_EQ(national(), S_OK);
  Send unspecified(u"+15551234567", u"y");
  TEXT_PROVIDER_SPECIFIC_DATA fields;
  memcpy(&fields, unspecified.block, sizeof fields);
  fields.psMessageClass = PS_MESSAGE_CLASSUNSPECIFIED;
  memcpy(unspecified.block, &fields, sizeof fields);
  ASSERT_EQ(unspecified(), S_OK);
  const std::vector<nlohmann::json> lines = melodex_test::SentMessages(driver.root());
  ASSERT_EQ(lines.size(), std::size(messages) + 2);
  EXPECT_EQ(lines[4]["to"], "5551234567");
  EXPECT_EQ(lines[4]["addressType"], "national");
  EXPECT_TRUE(lines[5]["class"].is_null());
  for (size_t i = 0; i < std::size(messages); ++i) {
    const nlohmann::json& line = lines[i];
    EXPECT_EQ(line["to"], "+15551234567");
    EXPECT_EQ(line["addressType"], "international");
    EXPECT_EQ(line["class"], 1);
    EXPECT_EQ(line["text"].get<std::string>(), messages[i].utf8) << i;
    EXPECT_EQ(line["bytes"], messages[i].bytes) << i;
    EXPECT_LT(std::abs(SecondsFromNow(line["time"].get<std::string>())), 60) << line["time"];
  }
}

// A send the service cannot carry is refused with its code and writes nothing: the injected
// fault, a provider block that is not the 688 bytes (the fields alone are 164), more than 160
// units or half a unit of text, and an address that is no number of its type ("+" is for
// international numbers). Exactly 160 units, the SMS screen's cut, go out.
TEST(Sms, SendMessageRefusesWhatItCannotCarry) {
  const struct {
    const char* what;
    const char16_t* number;
    SMS_ADDRESS_TYPE type;
    DWORD dataSize, blockSize;
    unsigned fault;
    HRESULT result;
  } cases[] = {
      {"the injected fault", u"+15551234567", SMSAT_INTERNATIONAL, 10, 688, static_cast<unsigned>(SMS_E_NETWORK),
       SMS_E_NETWORK},
      {"the provider's fields alone", u"+15551234567", SMSAT_INTERNATIONAL, 10, sizeof(TEXT_PROVIDER_SPECIFIC_DATA), 0,
       SMS_E_PROVIDERSPECIFICBUFFERWRONGSIZE},
      {"a block of 689 bytes", u"+15551234567", SMSAT_INTERNATIONAL, 10, 689, 0, SMS_E_PROVIDERSPECIFICBUFFERWRONGSIZE},
      {"161 units", u"+15551234567", SMSAT_INTERNATIONAL, 322, 688, 0, SMS_E_TOOMUCHDATA},
      {"half a unit", u"+15551234567", SMSAT_INTERNATIONAL, 3, 688, 0, SMS_E_INVALIDDATA},
      {"exactly 160 units", u"+15551234567", SMSAT_INTERNATIONAL, 320, 688, 0, S_OK},
      {"a national number with +", u"+15551234567", SMSAT_NATIONAL, 2, 688, 0, SMS_E_INVALIDADDRESS},
      {"letters", u"+1555abc", SMSAT_INTERNATIONAL, 2, 688, 0, SMS_E_INVALIDADDRESS},
      {"an alphanumeric address", u"+15551234567", SMSAT_ALPHANUMERIC, 2, 688, 0, SMS_E_INVALIDADDRESS},
      {"a bare +", u"+", SMSAT_INTERNATIONAL, 2, 688, 0, SMS_E_INVALIDADDRESS},
  };
  device::TestDriver driver;
  for (const auto& c : cases) {
    device::options().smsFault = c.fault;
    Send send(c.number, std::u16string(161, u'a'));
    send.to.smsatAddressType = c.type;
    send.blockSize = c.blockSize;
    EXPECT_EQ(send(c.dataSize), c.result) << c.what;
  }
  EXPECT_EQ(melodex_test::SentMessages(driver.root()).size(), 1u) << "only the 160 units";
}

TEST(Sms, OpenAndClose) {
  device::TestDriver driver;
  SMS_HANDLE handle = 0;
  HANDLE event = nullptr;
  EXPECT_EQ(SmsOpen(TEXT("Some Other Protocol"), SMS_MODE_SEND, &handle, &event),
            SMS_E_INVALIDPROTOCOL);
  EXPECT_EQ(SmsOpen(SMS_MSGTYPE_TEXT, 0, &handle, &event), E_INVALIDARG);
  ASSERT_EQ(SmsOpen(SMS_MSGTYPE_TEXT, SMS_MODE_SEND, &handle, &event), S_OK);
  EXPECT_NE(event, nullptr);
  EXPECT_EQ(SmsClose(handle), S_OK);
  EXPECT_EQ(SmsClose(handle), E_INVALIDARG);
  // A receive-only handle cannot send.
  ASSERT_EQ(SmsOpen(SMS_MSGTYPE_TEXT, SMS_MODE_RECEIVE, &handle, nullptr), S_OK);
  Send send(u"+15551234567", u"x");
  EXPECT_EQ(SmsSendMessage(handle, nullptr, &send.to, nullptr,
                           reinterpret_cast<const BYTE*>(send.text.data()), 2, send.block, 688,
                           SMSDE_OPTIMAL, 0, nullptr),
            E_ACCESSDENIED);
  EXPECT_EQ(SmsClose(handle), S_OK);
}

}  // namespace
