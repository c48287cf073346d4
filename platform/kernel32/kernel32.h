// kernel32's private header: the handle table shared by every kernel object, text conversions
// between the phone's encodings and the host's, and the device file system's path mapping.
// Other platform libraries (winmm, cellcore, sms …) may use it for handles of their own.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "windows.h"

namespace kernel32 {

// A kernel object behind a HANDLE (thread, event, find search …). Handles are values in a
// table of reference-counted objects, as Wine's, so a handle closed on one thread never frees
// an object another thread is still using.
class KernelObject {
 public:
  virtual ~KernelObject() = default;
  // Waitable objects (threads, events) override wait: block until signalled (true) or until
  // the device clock reaches deadlineMs (false); no deadline waits forever.
  virtual bool waitable() const { return false; }
  virtual bool wait(std::optional<uint64_t> deadlineMs) { return false; }
};

HANDLE InsertHandle(std::shared_ptr<KernelObject> object);
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);
template <typename T>
std::shared_ptr<T> LookupHandleAs(HANDLE handle) {
  return std::dynamic_pointer_cast<T>(LookupHandle(handle));
}
// Drops the table's reference; false when the handle is not in the table.
bool RemoveHandle(HANDLE handle);

// Text: UTF-16 <-> UTF-8 for host names (unpaired surrogates become U+FFFD), Windows-1252.
std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);
std::u16string Cp1252ToUtf16(std::string_view text);
bool IsValidUtf8(std::string_view text);
// Case-insensitive equality of two UTF-16 names, folding as _wcsicmp does.
bool NamesEqualNoCase(std::u16string_view a, std::u16string_view b);

// The device file system: device paths under the storage root.
std::string HostPathOf(std::u16string_view devicePath);
// The entry of host folder `dir` whose name equals `name` case-insensitively, or "".
std::string FindNoCaseEntry(const std::string& dir, std::u16string_view name);
// Win32 error for a failed host call: ENOENT becomes ERROR_PATH_NOT_FOUND when the parent
// folder of hostPath is missing too, ERROR_FILE_NOT_FOUND otherwise.
DWORD Win32ErrorFromErrno(int error, const std::string& hostPath);
// The standard attribute record of a host file or folder; false (errno set) when missing.
bool StatFile(const std::string& hostPath, WIN32_FILE_ATTRIBUTE_DATA* data);
// FILETIME from a host time (seconds and nanoseconds since 1970, UTC).
FILETIME FileTimeFromUnix(int64_t seconds, uint32_t nanoseconds);

}  // namespace kernel32
