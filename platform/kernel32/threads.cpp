// Threads, events, waits, Sleep and the per-thread last error. Every time-out runs on the
// device clock, so a virtual clock governs waits and Sleep.
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "device/Clock.h"
#include "device/Trace.h"
#include "kernel32/kernel32.h"

namespace kernel32 {
namespace {

thread_local DWORD tLastError = ERROR_SUCCESS;
thread_local DWORD tThreadId = 0;
std::atomic<DWORD> gNextThreadId{0x1000};

DWORD NewThreadId() { return gNextThreadId.fetch_add(4); }

// Blocks on cv until pred holds or the device clock reaches the deadline.
bool WaitOn(std::unique_lock<std::mutex>& lk, std::condition_variable& cv,
            std::optional<uint64_t> deadlineMs, const std::function<bool()>& pred) {
  if (!deadlineMs) {
    cv.wait(lk, pred);
    return true;
  }
  // A deadline already reached only polls: under the virtual clock nothing else would end it.
  if (*deadlineMs <= device::Clock::now()) return pred();
  return device::Clock::waitUntil(lk, cv, *deadlineMs, pred);
}

class ThreadObject : public KernelObject {
 public:
  ThreadObject(LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD id, bool suspended)
      : start_(start), parameter_(parameter), id_(id), released_(!suspended) {}

  bool waitable() const override { return true; }
  bool wait(std::optional<uint64_t> deadlineMs) override {
    std::unique_lock<std::mutex> lk(mutex_);
    return WaitOn(lk, cv_, deadlineMs, [this] { return done_; });
  }

  // The thread's body: waits for ResumeThread when created suspended, runs, signals.
  void run() {
    tThreadId = id_;
    {
      std::unique_lock<std::mutex> lk(mutex_);
      cv_.wait(lk, [this] { return released_; });
    }
    DWORD code = start_(parameter_);
    std::lock_guard<std::mutex> lk(mutex_);
    exitCode_ = code;
    done_ = true;
    cv_.notify_all();
  }

  // Returns the previous suspend count (1 when it was suspended, 0 otherwise), as Win32.
  DWORD resume() {
    std::lock_guard<std::mutex> lk(mutex_);
    DWORD previous = released_ ? 0 : 1;
    released_ = true;
    cv_.notify_all();
    return previous;
  }

  DWORD exitCode() {
    std::lock_guard<std::mutex> lk(mutex_);
    return done_ ? exitCode_ : STILL_ACTIVE;
  }

 private:
  LPTHREAD_START_ROUTINE start_;
  LPVOID parameter_;
  DWORD id_;
  std::mutex mutex_;
  std::condition_variable cv_;
  bool released_;
  bool done_ = false;
  DWORD exitCode_ = STILL_ACTIVE;
};

class EventObject : public KernelObject {
 public:
  EventObject(bool manualReset, bool signalled) : manualReset_(manualReset), signalled_(signalled) {}

  bool waitable() const override { return true; }
  bool wait(std::optional<uint64_t> deadlineMs) override {
    std::unique_lock<std::mutex> lk(mutex_);
    bool ok = WaitOn(lk, cv_, deadlineMs, [this] { return signalled_; });
    if (ok && !manualReset_) signalled_ = false;  // an auto-reset event releases one waiter
    return ok;
  }
  void set(bool signalled) {
    std::lock_guard<std::mutex> lk(mutex_);
    signalled_ = signalled;
    if (signalled) cv_.notify_all();
  }

 private:
  bool manualReset_;
  std::mutex mutex_;
  std::condition_variable cv_;
  bool signalled_;
};

}  // namespace
}  // namespace kernel32

using kernel32::EventObject;
using kernel32::ThreadObject;

DWORD GetLastError(void) { return kernel32::tLastError; }

void SetLastError(DWORD error) { kernel32::tLastError = error; }

DWORD GetCurrentThreadId(void) {
  if (kernel32::tThreadId == 0) kernel32::tThreadId = kernel32::NewThreadId();
  return kernel32::tThreadId;
}

DWORD GetCurrentProcessId(void) { return static_cast<DWORD>(getpid()); }

HANDLE CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes, SIZE_T dwStackSize,
                    LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                    DWORD dwCreationFlags, LPDWORD lpThreadId) {
  if (!lpStartAddress) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  DWORD id = kernel32::NewThreadId();
  auto object = std::make_shared<ThreadObject>(lpStartAddress, lpParameter, id,
                                               (dwCreationFlags & CREATE_SUSPENDED) != 0);
  HANDLE handle = kernel32::InsertHandle(object);
  if (lpThreadId) *lpThreadId = id;
  TRACE_CALL("kernel32", "CreateThread handle=%p id=%u", handle, static_cast<unsigned>(id));
  // The thread keeps its object alive, so closing the handle early is harmless (Win32).
  std::thread([object] { object->run(); }).detach();
  return handle;
}

DWORD ResumeThread(HANDLE hThread) {
  auto thread = kernel32::LookupHandleAs<ThreadObject>(hThread);
  if (!thread) {
    SetLastError(ERROR_INVALID_HANDLE);
    return static_cast<DWORD>(-1);
  }
  return thread->resume();
}

BOOL GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
  auto thread = kernel32::LookupHandleAs<ThreadObject>(hThread);
  if (!thread || !lpExitCode) {
    SetLastError(thread ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  *lpExitCode = thread->exitCode();
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  auto object = kernel32::LookupHandle(hHandle);
  if (!object || !object->waitable()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  std::optional<uint64_t> deadline;
  if (dwMilliseconds != INFINITE) deadline = device::Clock::now() + dwMilliseconds;
  return object->wait(deadline) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset, BOOL bInitialState,
                    LPCWSTR lpName) {
  // Named events are not shared between processes on the emulated phone; the name is ignored.
  return kernel32::InsertHandle(std::make_shared<EventObject>(bManualReset, bInitialState));
}

BOOL SetEvent(HANDLE hEvent) {
  auto event = kernel32::LookupHandleAs<EventObject>(hEvent);
  if (!event) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  event->set(true);
  return TRUE;
}

BOOL ResetEvent(HANDLE hEvent) {
  auto event = kernel32::LookupHandleAs<EventObject>(hEvent);
  if (!event) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  event->set(false);
  return TRUE;
}

void Sleep(DWORD dwMilliseconds) {
  if (dwMilliseconds == 0) {
    std::this_thread::yield();  // Win32: gives up the rest of the time slice
    return;
  }
  std::mutex mutex;
  std::condition_variable cv;
  std::unique_lock<std::mutex> lk(mutex);
  if (dwMilliseconds == INFINITE) {
    cv.wait(lk, [] { return false; });  // Sleep(INFINITE) never returns
    return;
  }
  device::Clock::waitUntil(lk, cv, device::Clock::now() + dwMilliseconds, [] { return false; });
}
