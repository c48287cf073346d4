// The SMS service (sms.dll): SmsOpen, SmsSendMessage, SmsClose for the text provider. The
// emulated phone's radio is a file: every message sent is appended as one JSON line to
// DIR/sms-outbox.jsonl, DIR being the device root, e.g.
//   {"to":"+15551234567","addressType":"international","class":1,"text":"Heard \"Song\"",
//    "bytes":24,"time":"2024-05-01T12:34:56"}
// with the text in UTF-8, its size in bytes as the phone sent it (UTF-16) and the time on the
// phone's clock; the emulator's window shows a one-line notice as the message leaves. A test can
// make the send fail with a chosen code (device::options().smsFault).
#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "device/Device.h"
#include "device/Display.h"
#include "device/Trace.h"
#include "kernel32/kernel32.h"
#include "sms.h"
#include "windows.h"

namespace {

// The program's provider-specific block is 688 bytes, the text provider's fields at its start
// on the 32-bit phone; the service takes exactly that size.
constexpr DWORD kProviderBlockSize = 688;
// One message carries at most 160 UTF-16 units, one SMS.
constexpr DWORD kMaxTextBytes = 320;

struct Session {
  DWORD modes = 0;
  HANDLE event = nullptr;  // the message-available event SmsOpen hands out
};

struct SmsState {
  std::mutex mutex;
  std::map<SMS_HANDLE, Session> sessions;
  SMS_HANDLE next = 1;
  SMS_MESSAGE_ID nextMessageId = 1;
};

SmsState& state() {
  static SmsState* s = new SmsState();  // never destroyed: threads may outlive main
  return *s;
}

const char* AddressTypeName(SMS_ADDRESS_TYPE type) {
  switch (type) {
    case SMSAT_INTERNATIONAL: return "international";
    case SMSAT_NATIONAL: return "national";
    default: return "unknown";  // the only other type ValidAddress lets through
  }
}

// The phone's local time as its clock shows it, e.g. "2024-05-01T12:34:56".
std::string PhoneTime() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  char text[48];  // room for any WORD values, so that the format can never be cut
  snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour,
           t.wMinute, t.wSecond);
  return text;
}

// One outbox line: what the message looks like to whoever reads the outbox.
std::string OutboxLine(const SMS_ADDRESS& to, int messageClass, const std::u16string& text) {
  nlohmann::ordered_json line;
  line["to"] = kernel32::Utf16ToUtf8(std::u16string_view(to.ptsAddress));
  line["addressType"] = AddressTypeName(to.smsatAddressType);
  if (messageClass == PS_MESSAGE_CLASSUNSPECIFIED) line["class"] = nullptr;
  else line["class"] = messageClass;
  line["text"] = kernel32::Utf16ToUtf8(text);
  line["bytes"] = text.size() * sizeof(char16_t);
  line["time"] = PhoneTime();
  // Utf16ToUtf8 makes valid UTF-8 of any text (a lone surrogate becomes U+FFFD); replace keeps
  // the dump from ever throwing.
  return line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

// An address of the given type: international is "+" and digits, national and unknown are
// digits only; the phone's text provider sends to no other kind.
bool ValidAddress(const SMS_ADDRESS* address) {
  if (!address) return false;
  size_t length = 0;
  while (length < SMS_MAX_ADDRESS_LENGTH && address->ptsAddress[length]) ++length;
  if (length == 0 || length == SMS_MAX_ADDRESS_LENGTH) return false;  // empty or unterminated
  size_t first = 0;
  switch (address->smsatAddressType) {
    case SMSAT_INTERNATIONAL:
      if (address->ptsAddress[0] != u'+') return false;
      first = 1;
      break;
    case SMSAT_NATIONAL:
    case SMSAT_UNKNOWN:
      break;
    default:
      return false;
  }
  if (first == length) return false;
  for (size_t i = first; i < length; ++i)
    if (address->ptsAddress[i] < u'0' || address->ptsAddress[i] > u'9') return false;
  return true;
}

}  // namespace

HRESULT SmsOpen(LPCWSTR ptsMessageProtocol, DWORD dwMessageModes, SMS_HANDLE* psmshHandle,
                HANDLE* phMessageAvailableEvent) {
  std::string protocol = ptsMessageProtocol
                             ? kernel32::Utf16ToUtf8(std::u16string_view(ptsMessageProtocol))
                             : "(null)";
  TRACE_CALL("sms", "SmsOpen protocol=\"%s\" modes=%u", protocol.c_str(), dwMessageModes);
  if (!ptsMessageProtocol || !psmshHandle) return E_INVALIDARG;
  if (dwMessageModes == 0 || (dwMessageModes & ~(SMS_MODE_RECEIVE | SMS_MODE_SEND)))
    return E_INVALIDARG;
  // Only the text provider is on the phone.
  if (std::u16string_view(ptsMessageProtocol) != std::u16string_view(SMS_MSGTYPE_TEXT))
    return SMS_E_INVALIDPROTOCOL;
  Session session;
  session.modes = dwMessageModes;
  // Nothing ever arrives, so the event is never set; it is closed by SmsClose.
  session.event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SmsState& s = state();
  std::lock_guard<std::mutex> lk(s.mutex);
  SMS_HANDLE handle = s.next++;
  s.sessions.emplace(handle, session);
  *psmshHandle = handle;
  if (phMessageAvailableEvent) *phMessageAvailableEvent = session.event;
  return S_OK;
}

HRESULT SmsSendMessage(SMS_HANDLE smshHandle, const SMS_ADDRESS* psmsaSMSCAddress,
                       const SMS_ADDRESS* psmsaDestinationAddress,
                       const SYSTEMTIME* pstValidityPeriod, const BYTE* pbData, DWORD dwDataSize,
                       const BYTE* pbProviderSpecificData, DWORD dwProviderSpecificDataSize,
                       SMS_DATA_ENCODING smsdeDataEncoding, DWORD dwOptions,
                       SMS_MESSAGE_ID* psmsmidMessageID) {
  TRACE_CALL("sms", "SmsSendMessage handle=%u bytes=%u provider=%u encoding=%d options=%u",
             smshHandle, dwDataSize, dwProviderSpecificDataSize,
             static_cast<int>(smsdeDataEncoding), dwOptions);
  SmsState& s = state();
  {
    std::lock_guard<std::mutex> lk(s.mutex);
    auto it = s.sessions.find(smshHandle);
    if (it == s.sessions.end()) return E_INVALIDARG;
    if (!(it->second.modes & SMS_MODE_SEND)) return E_ACCESSDENIED;
  }
  if (psmsaSMSCAddress && !ValidAddress(psmsaSMSCAddress)) return SMS_E_UNKNOWNSCADDRESS;
  if (!ValidAddress(psmsaDestinationAddress)) return SMS_E_INVALIDADDRESS;
  // The text is UTF-16: a whole number of units, present when it has a length.
  if ((dwDataSize && !pbData) || dwDataSize % 2 != 0) return SMS_E_INVALIDDATA;
  if (dwDataSize > kMaxTextBytes) return SMS_E_TOOMUCHDATA;
  if (!pbProviderSpecificData || dwProviderSpecificDataSize != kProviderBlockSize)
    return SMS_E_PROVIDERSPECIFICBUFFERWRONGSIZE;
  if (smsdeDataEncoding != SMSDE_OPTIMAL && smsdeDataEncoding != SMSDE_GSM &&
      smsdeDataEncoding != SMSDE_UCS2)
    return E_INVALIDARG;
  if (dwOptions & ~SMS_OPTION_DELIVERY_NO_RETRY) return E_INVALIDARG;
  TEXT_PROVIDER_SPECIFIC_DATA fields;
  memcpy(&fields, pbProviderSpecificData, sizeof fields);
  int messageClass = static_cast<int>(fields.psMessageClass);
  if (messageClass < PS_MESSAGE_CLASS0 || messageClass > PS_MESSAGE_CLASSUNSPECIFIED)
    return SMS_E_INVALIDDATA;

  // The radio's answer: a fault injected for tests, after the arguments passed the checks.
  if (unsigned int fault = device::options().smsFault) {
    TRACE_CALL("sms", "SmsSendMessage -> 0x%08x (injected)", fault);
    return static_cast<HRESULT>(fault);
  }

  std::u16string text(dwDataSize / 2, u'\0');
  if (dwDataSize) memcpy(text.data(), pbData, dwDataSize);
  std::string to = kernel32::Utf16ToUtf8(std::u16string_view(psmsaDestinationAddress->ptsAddress));
  std::string line = OutboxLine(*psmsaDestinationAddress, messageClass, text);
  std::string path = device::RootDir() + "/sms-outbox.jsonl";
  {
    std::lock_guard<std::mutex> lk(s.mutex);  // one writer at a time: lines never interleave
    FILE* outbox = fopen(path.c_str(), "ab");
    if (!outbox) return SMS_E_STORAGE;
    bool written = fwrite(line.data(), 1, line.size(), outbox) == line.size();
    written = fclose(outbox) == 0 && written;
    if (!written) return SMS_E_STORAGE;
    if (psmsmidMessageID) *psmsmidMessageID = s.nextMessageId++;
  }
  TRACE_CALL("sms", "SmsSendMessage -> 0 to=%s bytes=%u", to.c_str(), dwDataSize);
  device::ShowNotice("SMS sent to " + to + ": " + kernel32::Utf16ToUtf8(text));
  return S_OK;
}

HRESULT SmsClose(SMS_HANDLE smshHandle) {
  TRACE_CALL("sms", "SmsClose handle=%u", smshHandle);
  HANDLE event = nullptr;
  {
    SmsState& s = state();
    std::lock_guard<std::mutex> lk(s.mutex);
    auto it = s.sessions.find(smshHandle);
    if (it == s.sessions.end()) return E_INVALIDARG;
    event = it->second.event;
    s.sessions.erase(it);
  }
  if (event) CloseHandle(event);
  return S_OK;
}
