// The kernel handle table (threads, events, find searches) and CloseHandle.
#include "device/HandleTable.h"
#include "device/Trace.h"
#include "kernel32/kernel32.h"

namespace kernel32 {
namespace {

// Handles are multiples of 4 as on Windows and never reused, so a stale handle fails cleanly.
device::HandleTable<KernelObject>& table() {
  static auto* t = new device::HandleTable<KernelObject>(0x40);  // never destroyed: threads may outlive main
  return *t;
}

}  // namespace

HANDLE InsertHandle(std::shared_ptr<KernelObject> object) {
  return reinterpret_cast<HANDLE>(table().insert(std::move(object)));
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle) {
  return table().lookup(reinterpret_cast<uintptr_t>(handle));
}

bool RemoveHandle(HANDLE handle) { return table().remove(reinterpret_cast<uintptr_t>(handle)) != nullptr; }

}  // namespace kernel32

BOOL CloseHandle(HANDLE hObject) {
  TRACE_CALL("kernel32", "CloseHandle handle=%p", hObject);
  if (!kernel32::RemoveHandle(hObject)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}
