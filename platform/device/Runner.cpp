#include "device/Runner.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>

#include "device/Boot.h"
#include "device/Clock.h"
#include "device/Display.h"
#include "device/Input.h"
#include "device/Screen.h"
#include "user32/host.h"

namespace device {
namespace {

struct RunnerState {
  std::string name;
  std::vector<ScriptCommand> commands;
  size_t next = 0;
  bool waiting = false;  // a `wait` in progress
  uint64_t waitUntil = 0;
  const ScriptCommand* expecting = nullptr;  // an `expect-log` still waiting for its text
  std::chrono::steady_clock::time_point expectUntil;
  std::mutex logMutex;
  std::string log;  // everything the program wrote to standard output
  int realStdout = -1;
};

RunnerState& runner() {
  static RunnerState* r = new RunnerState();
  return *r;
}

[[noreturn]] void End(int status) { EndProcess(status); }

[[noreturn]] void Fail(const ScriptCommand& c, const std::string& message, int status) {
  fprintf(stderr, "%s:%d: %s: %s\n", runner().name.c_str(), c.line, c.verb.c_str(), message.c_str());
  End(status);
}

// Standard output goes through a cookie stream that both writes to the real standard output
// and keeps the text for expect-log, synchronously (no pipe, no reader thread to race).
ssize_t TeeWrite(void*, const char* data, size_t size) {
  RunnerState& r = runner();
  {
    std::lock_guard<std::mutex> lk(r.logMutex);
    r.log.append(data, size);
  }
  size_t done = 0;
  while (done < size) {
    ssize_t n = write(r.realStdout, data + done, size - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(size);
}

void CaptureStdout() {
  RunnerState& r = runner();
  fflush(stdout);
  r.realStdout = dup(STDOUT_FILENO);
  cookie_io_functions_t io{nullptr, TeeWrite, nullptr, nullptr};
  FILE* tee = fopencookie(nullptr, "w", io);
  if (!tee) return;
  setvbuf(tee, nullptr, _IONBF, 0);
  stdout = tee;
}

// Advances the clock towards the wait's end, stopping at the first timer or clock event on the
// way so that the program handles it at its own time.
void StepWait() {
  RunnerState& r = runner();
  std::optional<uint64_t> next = user32::host::NextWakeAt();
  uint64_t now = Clock::now();
  if (next && *next <= r.waitUntil) {
    Clock::advanceTo(std::max(*next, now));
    return;
  }
  Clock::advanceTo(r.waitUntil);
  r.waiting = false;
}

bool LogContains(const std::string& text) {
  fflush(stdout);
  std::lock_guard<std::mutex> lk(runner().logMutex);
  return runner().log.find(text) != std::string::npos;
}

// One look at the log for the expected text. While it is missing and the bound has not passed,
// the runner sleeps until something is posted (or a short while, for text a worker writes
// without posting) and hands control back, so that the message loop dispatches what came.
void StepExpect() {
  RunnerState& r = runner();
  const ScriptCommand& c = *r.expecting;
  if (LogContains(c.argument)) {
    r.expecting = nullptr;
    return;
  }
  const auto now = std::chrono::steady_clock::now();
  if (now >= r.expectUntil) Fail(c, "\"" + c.argument + "\" not in the log", 1);
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(r.expectUntil - now).count();
  user32::host::WaitForPosted(std::min<uint64_t>(static_cast<uint64_t>(left) + 1, 10));
}

void Execute(const ScriptCommand& c) {
  if (c.verb == "wait") {
    runner().waiting = true;
    runner().waitUntil = Clock::now() + std::strtoull(c.argument.c_str(), nullptr, 10);
    StepWait();
  } else if (c.verb == "key" || c.verb == "keydown" || c.verb == "keyup") {
    UINT vk = VirtualKeyFromName(c.argument);
    if (c.verb != "keyup") DeliverKey(true, vk);
    if (c.verb != "keydown") DeliverKey(false, vk);
  } else if (c.verb == "snap") {
    if (!WritePng(screen(), c.argument)) Fail(c, "cannot write " + c.argument, 1);
  } else if (c.verb == "expect-log") {
    runner().expecting = &c;
    runner().expectUntil = std::chrono::steady_clock::now() + std::chrono::milliseconds(c.withinMs);
    StepExpect();
  } else if (c.verb == "quit") {
    End(0);
  }
}

// The idle hook: one step of the script each time the program has nothing to do.
void Step() {
  RunnerState& r = runner();
  if (r.waiting) {
    StepWait();
    return;
  }
  if (r.expecting) {
    StepExpect();
    return;
  }
  if (r.next >= r.commands.size()) End(0);  // the end of the script ends the program
  Execute(r.commands[r.next++]);
}

std::string Unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      char n = s[++i];
      out += n == 'r' ? '\r' : n == 'n' ? '\n' : n == 't' ? '\t' : n;
    } else {
      out += s[i];
    }
  }
  return out;
}

}  // namespace

bool ParseScript(const std::string& text, const std::string& name, std::vector<ScriptCommand>* out,
                 std::string* error) {
  std::istringstream in(text);
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#') continue;
    size_t space = line.find_first_of(" \t", start);
    ScriptCommand c{number, line.substr(start, space == std::string::npos ? std::string::npos : space - start), ""};
    if (space != std::string::npos) {
      size_t arg = line.find_first_not_of(" \t", space);
      if (arg != std::string::npos) c.argument = line.substr(arg);
    }
    auto bad = [&](const std::string& why) {
      *error = name + ":" + std::to_string(number) + ": " + why;
      return false;
    };
    if (c.verb == "wait") {
      if (c.argument.empty() || c.argument.find_first_not_of("0123456789") != std::string::npos)
        return bad("wait needs a number of milliseconds");
    } else if (c.verb == "key" || c.verb == "keydown" || c.verb == "keyup") {
      if (VirtualKeyFromName(c.argument) == 0) return bad("unknown key '" + c.argument + "'");
    } else if (c.verb == "snap") {
      if (c.argument.empty()) return bad("snap needs a file name");
    } else if (c.verb == "expect-log") {
      // "TEXT within MS": the last " within " followed by digits only sets the bound.
      c.withinMs = kDefaultExpectWithinMs;
      const size_t within = c.argument.rfind(" within ");
      const std::string digits = within == std::string::npos ? "" : c.argument.substr(within + 8);
      if (!digits.empty() && digits.find_first_not_of("0123456789") == std::string::npos) {
        c.withinMs = std::strtoull(digits.c_str(), nullptr, 10);
        c.argument.erase(within);
      }
      if (c.argument.empty()) return bad("expect-log needs a text");
      c.argument = Unescape(c.argument);
    } else if (c.verb == "quit") {
      if (!c.argument.empty()) return bad("quit takes no argument");
    } else {
      return bad("unknown command '" + c.verb + "'");
    }
    out->push_back(c);
  }
  return true;
}

void StartRunner(const std::string& scriptPath) {
  std::ifstream file(scriptPath);
  if (!file) {
    fprintf(stderr, "%s: cannot read the script\n", scriptPath.c_str());
    End(2);
  }
  std::stringstream text;
  text << file.rdbuf();
  std::string error;
  RunnerState& r = runner();
  r.name = scriptPath;
  if (!ParseScript(text.str(), scriptPath, &r.commands, &error)) {
    fprintf(stderr, "%s\n", error.c_str());
    End(2);
  }
  CaptureStdout();
  SetIdleHook(Step);
}

}  // namespace device
