// The single-instance path between two melodex processes on the same device root:
// the first process's window is findable through a per-root socket, and a second process's
// SetForegroundWindow on it brings that window to the front.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>
#include <thread>

#include "device/Device.h"
#include "device/Shell.h"
#include "device/Trace.h"
#include "user32/host.h"

namespace device {
namespace {

// Handles of another process's windows carry this bit; they are in no local window table.
constexpr uintptr_t kRemoteBit = 0x40000000;

// An abstract socket named after the root, so that no file is left behind.
sockaddr_un Address(socklen_t* length) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::string name = "melodex-" + std::to_string(std::hash<std::string>{}(RootDir()));
  std::snprintf(addr.sun_path + 1, sizeof addr.sun_path - 1, "%s", name.c_str());
  *length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
  return addr;
}

std::string Hex(const std::u16string& s) {
  std::string out;
  char unit[5];
  for (char16_t c : s) {
    std::snprintf(unit, sizeof unit, "%04x", static_cast<unsigned>(c));
    out += unit;
  }
  return out;
}

std::u16string Unhex(const std::string& s) {
  std::u16string out;
  for (size_t i = 0; i + 4 <= s.size(); i += 4) out += static_cast<char16_t>(std::stoul(s.substr(i, 4), nullptr, 16));
  return out;
}

std::string ReadLine(int fd) {
  std::string line;
  char c;
  while (line.size() < 4096 && read(fd, &c, 1) == 1 && c != '\n') line += c;
  return line;
}

void WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

std::string Answer(const std::string& request) {
  if (request.rfind("FIND ", 0) == 0) {
    size_t tab = request.find('\t');
    if (tab == std::string::npos) return "NONE";
    std::u16string cls = Unhex(request.substr(5, tab - 5)), title = Unhex(request.substr(tab + 1));
    HWND found = user32::host::FindTopLevelWindow(cls.empty() ? nullptr : cls.c_str(), title.empty() ? nullptr : title.c_str());
    return found ? "HWND " + std::to_string(reinterpret_cast<uintptr_t>(found)) : "NONE";
  }
  if (request.rfind("FOREGROUND ", 0) == 0) {
    auto hwnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(std::stoull(request.substr(11))));
    // The window belongs to the user-interface thread: the request is carried out there.
    user32::host::RunOnUiThread([hwnd] { SetForegroundWindow(hwnd); });
    return "OK";
  }
  return "ERROR";
}

void Serve(int listener) {
  for (;;) {
    int fd = accept(listener, nullptr, nullptr);
    if (fd < 0) continue;
    std::string request = ReadLine(fd);
    std::string reply;
    try {
      reply = Answer(request);
    } catch (const std::exception&) {
      reply = "ERROR";  // a malformed request from another process never ends this one
    }
    WriteAll(fd, reply + "\n");
    close(fd);
  }
}

// One request to the other process; empty when nobody listens.
std::string Ask(const std::string& request) {
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return "";
  socklen_t length;
  sockaddr_un addr = Address(&length);
  std::string reply;
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), length) == 0) {
    WriteAll(fd, request + "\n");
    reply = ReadLine(fd);
  }
  close(fd);
  return reply;
}

}  // namespace

void RegisterWindowForOtherProcesses(HWND) {
  static bool listening = false;
  if (listening) return;
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  socklen_t length;
  sockaddr_un addr = Address(&length);
  // A second process on the same root cannot bind: it is the one that asks, not answers.
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), length) != 0 || listen(fd, 4) != 0) {
    close(fd);
    return;
  }
  listening = true;
  TRACE_CALL("shell", "single instance: listening on the root's socket");
  std::thread(Serve, fd).detach();
}

HWND FindWindowInOtherProcess(const std::u16string& className, const std::u16string& title) {
  std::string reply = Ask("FIND " + Hex(className) + "\t" + Hex(title));
  if (reply.rfind("HWND ", 0) != 0) return nullptr;
  uintptr_t value = std::stoull(reply.substr(5));
  return reinterpret_cast<HWND>(value | kRemoteBit);
}

bool IsOtherProcessWindow(HWND hwnd) { return (reinterpret_cast<uintptr_t>(hwnd) & kRemoteBit) != 0; }

bool BringOtherProcessWindowForward(HWND hwnd) {
  uintptr_t value = reinterpret_cast<uintptr_t>(hwnd) & ~kRemoteBit;
  return Ask("FOREGROUND " + std::to_string(value)) == "OK";
}

}  // namespace device
