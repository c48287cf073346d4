// The kernel handle table (threads, events, find searches) and CloseHandle.
#include <map>
#include <mutex>

#include "device/Trace.h"
#include "kernel32/kernel32.h"

namespace kernel32 {
namespace {

struct HandleTable {
  std::mutex mutex;
  std::map<uintptr_t, std::shared_ptr<KernelObject>> objects;
  // Handles are multiples of 4 as on Windows and never reused, so a stale handle fails cleanly.
  uintptr_t next = 0x40;
};

HandleTable& table() {
  static HandleTable* t = new HandleTable();  // never destroyed: threads may outlive main
  return *t;
}

}  // namespace

HANDLE InsertHandle(std::shared_ptr<KernelObject> object) {
  HandleTable& t = table();
  std::lock_guard<std::mutex> lk(t.mutex);
  uintptr_t value = t.next;
  t.next += 4;
  t.objects.emplace(value, std::move(object));
  return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle) {
  HandleTable& t = table();
  std::lock_guard<std::mutex> lk(t.mutex);
  auto it = t.objects.find(reinterpret_cast<uintptr_t>(handle));
  return it == t.objects.end() ? nullptr : it->second;
}

bool RemoveHandle(HANDLE handle) {
  std::shared_ptr<KernelObject> last;  // released outside the lock
  HandleTable& t = table();
  std::lock_guard<std::mutex> lk(t.mutex);
  auto it = t.objects.find(reinterpret_cast<uintptr_t>(handle));
  if (it == t.objects.end()) return false;
  last = std::move(it->second);
  t.objects.erase(it);
  return true;
}

}  // namespace kernel32

BOOL CloseHandle(HANDLE hObject) {
  TRACE_CALL("kernel32", "CloseHandle handle=%p", hObject);
  if (!kernel32::RemoveHandle(hObject)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}
