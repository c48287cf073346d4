// RegOpenKeyExW / RegQueryValueExW / RegCloseKey over DIR/registry.reg (the program reads
// HKEY_LOCAL_MACHINE\SOFTWARE\Melodex, value ownerID). Key and value names are
// case-insensitive; sizes are checked as Win32 does. samDesired is ignored, as on Windows CE:
// every key opens for reading. The file is read at each call, so a test may rewrite it between
// calls.
#include <cstring>
#include <mutex>

#include "advapi32/registry.h"
#include "device/Trace.h"
#include "kernel32/kernel32.h"

namespace advapi32 {
namespace {

struct KeyTable {
  std::mutex mutex;
  std::map<uintptr_t, std::u16string> open;  // handle value -> folded full path
  uintptr_t next = 0x1000;
};

KeyTable& keys() {
  static KeyTable* t = new KeyTable();  // never destroyed: threads may outlive main
  return *t;
}

// The folded full path behind a predefined key or an open handle.
std::optional<std::u16string> PathOf(HKEY key) {
  if (key == HKEY_LOCAL_MACHINE) return u"hkey_local_machine";
  if (key == HKEY_CURRENT_USER) return u"hkey_current_user";
  if (key == HKEY_CLASSES_ROOT) return u"hkey_classes_root";
  if (key == HKEY_USERS) return u"hkey_users";
  KeyTable& t = keys();
  std::lock_guard<std::mutex> lk(t.mutex);
  auto it = t.open.find(reinterpret_cast<uintptr_t>(key));
  if (it == t.open.end()) return std::nullopt;
  return it->second;
}

}  // namespace
}  // namespace advapi32

LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult) {
  using namespace advapi32;
  TRACE_CALL("advapi32", "RegOpenKeyExW key=%p sub=%s", static_cast<void*>(hKey),
             lpSubKey ? kernel32::Utf16ToUtf8(lpSubKey).c_str() : "(null)");
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  auto base = PathOf(hKey);
  if (!base) return ERROR_INVALID_HANDLE;
  std::u16string path = *base;
  if (lpSubKey) {
    // A subkey is relative: a leading backslash is a bad path. Empty components (a doubled or
    // a trailing backslash) are skipped.
    if (lpSubKey[0] == u'\\') return ERROR_BAD_PATHNAME;
    std::u16string sub = FoldCase(lpSubKey);
    for (size_t start = 0; start < sub.size();) {
      size_t end = sub.find(u'\\', start);
      if (end == std::u16string::npos) end = sub.size();
      if (end > start) path += u"\\" + sub.substr(start, end - start);
      start = end + 1;
    }
  }
  RegistryImage image = LoadRegistry();
  if (image.find(path) == image.end() && path != *base) return ERROR_FILE_NOT_FOUND;
  KeyTable& t = keys();
  std::lock_guard<std::mutex> lk(t.mutex);
  uintptr_t value = t.next;
  t.next += 4;
  t.open[value] = path;
  *phkResult = reinterpret_cast<HKEY>(value);
  return ERROR_SUCCESS;
}

LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                      LPBYTE lpData, LPDWORD lpcbData) {
  using namespace advapi32;
  TRACE_CALL("advapi32", "RegQueryValueExW key=%p name=%s size=%u", static_cast<void*>(hKey),
             lpValueName ? kernel32::Utf16ToUtf8(lpValueName).c_str() : "(default)",
             lpcbData ? static_cast<unsigned>(*lpcbData) : 0u);
  if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
  auto path = PathOf(hKey);
  if (!path) return ERROR_INVALID_HANDLE;
  RegistryImage image = LoadRegistry();
  auto key = image.find(*path);
  if (key == image.end()) return ERROR_FILE_NOT_FOUND;
  auto value = key->second.values.find(FoldCase(lpValueName ? lpValueName : u""));
  if (value == key->second.values.end()) return ERROR_FILE_NOT_FOUND;
  const RegValue& v = value->second;
  DWORD needed = static_cast<DWORD>(v.data.size());
  if (lpType) *lpType = v.type;
  if (lpData) {
    if (*lpcbData < needed) {
      *lpcbData = needed;  // Win32: the size needed, terminator included, and nothing copied
      return ERROR_MORE_DATA;
    }
    if (needed) std::memcpy(lpData, v.data.data(), needed);
  }
  if (lpcbData) *lpcbData = needed;
  return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY hKey) {
  using namespace advapi32;
  if (hKey == HKEY_LOCAL_MACHINE || hKey == HKEY_CURRENT_USER || hKey == HKEY_CLASSES_ROOT ||
      hKey == HKEY_USERS) {
    return ERROR_SUCCESS;
  }
  KeyTable& t = keys();
  std::lock_guard<std::mutex> lk(t.mutex);
  return t.open.erase(reinterpret_cast<uintptr_t>(hKey)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
