// ShellExecuteEx (the program's LaunchURL): the emulated phone's one program is its browser,
// "\Windows\iexplore.exe". The URL is recorded (DIR/browser.log and LaunchedUrls()) and, unless
// the phone is headless or MELODEX_NO_BROWSER is set, opened with xdg-open without waiting
// (the host's browser stands in for the phone's). With device::options().browserFault
// (--browser-fault) the browser cannot be started and nothing is recorded.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <mutex>
#include <thread>

#include "device/Device.h"
#include "device/Trace.h"
#include "kernel32/kernel32.h"
#include "shell32/shell32.h"
#include "windows.h"
#include "shellapi.h"

extern char** environ;

namespace shell32 {
namespace {

struct Launches {
  std::mutex mutex;
  std::vector<std::string> urls;
};

Launches& launches() {
  static Launches* l = new Launches();  // never destroyed: threads may outlive main
  return *l;
}

bool IsBrowser(const WCHAR* file) {
  return file && (_wcsicmp(file, u"\\Windows\\iexplore.exe") == 0 || _wcsicmp(file, u"iexplore.exe") == 0 ||
                  _wcsicmp(file, u"iexplore") == 0);
}

void Record(const std::string& url) {
  Launches& l = launches();
  std::lock_guard<std::mutex> lk(l.mutex);
  l.urls.push_back(url);
  std::ofstream log(device::RootDir() + "/browser.log", std::ios::app | std::ios::binary);
  log << url << '\n';
}

// Starts xdg-open detached; a reaper thread collects it so no zombie is left.
void OpenInHostBrowser(const std::string& url) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::string program = "xdg-open";
  char* argv[] = {program.data(), const_cast<char*>(url.c_str()), nullptr};
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, "xdg-open", &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    TRACE_CALL("shell32", "xdg-open could not be started (error %d)", rc);
    return;
  }
  std::thread([pid] {
    int status = 0;
    waitpid(pid, &status, 0);
  }).detach();
}

}  // namespace

std::vector<std::string> LaunchedUrls() {
  Launches& l = launches();
  std::lock_guard<std::mutex> lk(l.mutex);
  return l.urls;
}

void ClearLaunchedUrlsForTests() {
  Launches& l = launches();
  std::lock_guard<std::mutex> lk(l.mutex);
  l.urls.clear();
}

}  // namespace shell32

BOOL ShellExecuteExW(SHELLEXECUTEINFOW* lpExecInfo) {
  if (!lpExecInfo) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (lpExecInfo->cbSize != sizeof(SHELLEXECUTEINFOW)) {
    // Windows (and Wine/ReactOS) refuse a record of another size this way.
    lpExecInfo->hInstApp = reinterpret_cast<HINSTANCE>(static_cast<ULONG_PTR>(SE_ERR_ACCESSDENIED));
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  std::string file = lpExecInfo->lpFile ? kernel32::Utf16ToUtf8(lpExecInfo->lpFile) : "";
  std::string url = lpExecInfo->lpParameters ? kernel32::Utf16ToUtf8(lpExecInfo->lpParameters) : "";
  TRACE_CALL("shell32", "ShellExecuteEx file=%s params=%s mask=0x%x", file.c_str(), url.c_str(),
             static_cast<unsigned>(lpExecInfo->fMask));
  if (!shell32::IsBrowser(lpExecInfo->lpFile) || device::options().browserFault) {
    lpExecInfo->hInstApp = reinterpret_cast<HINSTANCE>(static_cast<ULONG_PTR>(SE_ERR_FNF));
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  shell32::Record(url);
  const char* noBrowser = getenv("MELODEX_NO_BROWSER");
  if (!device::options().headless && !(noBrowser && *noBrowser)) shell32::OpenInHostBrowser(url);
  lpExecInfo->hInstApp = reinterpret_cast<HINSTANCE>(static_cast<ULONG_PTR>(33));  // > 32: success
  // The browser is not a process of the phone's; with SEE_MASK_NOCLOSEPROCESS there is no
  // handle to give, as when Windows hands a document to a running program.
  if (lpExecInfo->fMask & SEE_MASK_NOCLOSEPROCESS) lpExecInfo->hProcess = nullptr;
  return TRUE;
}
