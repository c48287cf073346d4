// SMS service conformance (the SMS screen's send): the outbox line, the checks of the address, the
// text and the 688-byte provider block, and the injected fault.
#include <gtest/gtest.h>
#include <windows.h>
#include <sms.h>

#include <fstream>
#include <sstream>
#include <string>

#include "device/Device.h"
#include "device/TestDriver.h"

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

std::string Outbox(const device::TestDriver& driver) {
  std::ifstream in(driver.root() + "/sms-outbox.jsonl", std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(Sms, SendMessageWritesOneOutboxLine) {
  device::TestDriver driver;
  Send send(u"+15551234567", u"Heard \"Caf\u00e9\" \\ by Abc\r\nlisten: http://x/y");
  ASSERT_EQ(send(), S_OK);
  std::string expected =
      "{\"to\": \"+15551234567\", \"class\": 1, \"text\": \"Heard \\\"Caf\xc3\xa9\\\" \\\\ by "
      "Abc\\r\\nlisten: http://x/y\", \"bytes\": 82}\n";
  EXPECT_EQ(Outbox(driver), expected);
  // A second message is a second line; an empty text is still a message.
  Send empty(u"+15551234567", u"");
  ASSERT_EQ(empty(), S_OK);
  EXPECT_EQ(Outbox(driver),
            expected + "{\"to\": \"+15551234567\", \"class\": 1, \"text\": \"\", \"bytes\": 0}\n");
}

TEST(Sms, SendMessageFailsWithTheInjectedCode) {
  device::TestDriver driver;
  device::options().smsFault = static_cast<unsigned>(SMS_E_NETWORK);
  Send send(u"+15551234567", u"hello");
  EXPECT_EQ(send(), SMS_E_NETWORK);
  EXPECT_EQ(Outbox(driver), "");
}

TEST(Sms, SendMessageChecksTheProviderBlockSize) {
  device::TestDriver driver;
  Send send(u"+15551234567", u"hello");
  send.blockSize = sizeof(TEXT_PROVIDER_SPECIFIC_DATA);  // 164: the fields alone, not the 688
  EXPECT_EQ(send(), SMS_E_PROVIDERSPECIFICBUFFERWRONGSIZE);
  send.blockSize = 689;
  EXPECT_EQ(send(), SMS_E_PROVIDERSPECIFICBUFFERWRONGSIZE);
  EXPECT_EQ(Outbox(driver), "");
}

TEST(Sms, SendMessageChecksAddressAndText) {
  device::TestDriver driver;
  Send send(u"+15551234567", std::u16string(161, u'a'));
  EXPECT_EQ(send(322), SMS_E_TOOMUCHDATA);  // more than 160 units
  EXPECT_EQ(send(3), SMS_E_INVALIDDATA);    // half a unit
  EXPECT_EQ(send(320), S_OK);               // the SMS screen's cut: exactly 160 units

  Send national(u"+15551234567", u"x");
  national.to.smsatAddressType = SMSAT_NATIONAL;  // "+" is for international numbers
  EXPECT_EQ(national(), SMS_E_INVALIDADDRESS);
  Send letters(u"+1555abc", u"x");
  EXPECT_EQ(letters(), SMS_E_INVALIDADDRESS);
  Send alpha(u"+15551234567", u"x");
  alpha.to.smsatAddressType = SMSAT_ALPHANUMERIC;
  EXPECT_EQ(alpha(), SMS_E_INVALIDADDRESS);
  Send bare(u"+", u"x");
  EXPECT_EQ(bare(), SMS_E_INVALIDADDRESS);
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
