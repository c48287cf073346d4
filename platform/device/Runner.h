// The headless runner: executes a script against the running program under the virtual clock.
// Commands, one per line ('#' starts a comment):
//   wait MS            advance the clock by MS milliseconds, running what falls due
//   key NAME           press and release a key (names: device/Input.h)
//   keydown NAME / keyup NAME
//   snap FILE.png      write the screen as a PNG
//   expect-log TEXT [within MS]
//                      wait until the program's log output contains TEXT: the program keeps
//                      running its messages (what worker threads post is dispatched) while
//                      the runner waits in real time, up to MS milliseconds (10000 when not
//                      given); the virtual clock stands still meanwhile, so no timer fires
//   quit               end the program
// A script error names its line; the process then exits with status 2 (bad script) or 1 (a
// failed expectation).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace device {

// How long expect-log waits in real time when the script gives no bound.
constexpr uint64_t kDefaultExpectWithinMs = 10000;

struct ScriptCommand {
  int line;
  std::string verb;
  std::string argument;
  uint64_t withinMs = 0;  // expect-log's real-time bound
};

// Parses a script; false with *error naming the line on a malformed one.
bool ParseScript(const std::string& text, const std::string& name, std::vector<ScriptCommand>* out,
                 std::string* error);

// Loads the script and installs it as the idle hook of the message loop; also starts capturing
// standard output for expect-log. Exits with status 2 when the file cannot be read or parsed.
void StartRunner(const std::string& scriptPath);

}  // namespace device
