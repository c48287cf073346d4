// The whole program as a user meets it: the melodex executable run by the headless runner. It
// starts, shows the splash, the main menu after three seconds, opens help and reads the about
// topic, and ends with exit code 0 on the main menu's exit entry.
#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "support/ClientHarness.h"

namespace {

struct ScriptRun {
  int status = -1;
  std::string out;
  std::string logFile;  // \Application Data\Melodex\log.txt after the process ended
};

std::string ReadHostFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs melodex --headless --script on a fresh root; standard output is collected.
ScriptRun RunScript(const std::string& script) {
  std::string root = melodex_test::MakeTempRoot();
  std::string scriptPath = root + "/script.txt";
  std::string outPath = root + "/stdout.txt";
  melodex_test::WriteHostFile(scriptPath, script);
  std::string command = std::string(MELODEX_BINARY) + " --root '" + root + "' --headless --script '" + scriptPath +
                        "' > '" + outPath + "' 2>/dev/null";
  ScriptRun run;
  int status = std::system(command.c_str());
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = ReadHostFile(outPath);
  run.logFile = ReadHostFile(root + "/Application Data/Melodex/log.txt");
  std::error_code ignored;
  std::filesystem::remove_all(root, ignored);
  return run;
}

}  // namespace

TEST(HeadlessRun, ExitOnTheMainMenuEndsTheProgramWithCodeZero) {
  ScriptRun run = RunScript(
      "expect-log Melodex starting up\n"
      "wait 3000\n"
      "key DOWN\nkey DOWN\nkey RETURN\n"  // help me out
      "key UP\nkey RETURN\n"              // About Melodex
      "key F1\nkey F1\n"                  // back to the list, back to the main menu
      "key DOWN\nkey RETURN\n"            // exit
      "wait 1000\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "Melodex starting up\r\n");
}

TEST(HeadlessRun, AFailedExpectationIsReported) {
  ScriptRun run = RunScript("expect-log no such line within 0\n");
  EXPECT_EQ(run.status, 1);
}

// The program never flushes or closes its log; however the runner ends the phone, the process
// ends as a Windows process does and the C run-time's buffered log reaches the file.
TEST(HeadlessRun, EveryEndingOfTheRunFlushesTheProgramsLog) {
  struct Ending {
    const char* name;
    const char* script;
    int status;
  };
  const Ending endings[] = {
      {"quit", "wait 3000\nquit\n", 0},
      {"the end of the script", "wait 3000\n", 0},
      {"a failed expectation", "wait 3000\nexpect-log no such line within 0\n", 1},
  };
  for (const Ending& e : endings) {
    ScriptRun run = RunScript(e.script);
    EXPECT_EQ(run.status, e.status) << e.name;
    EXPECT_EQ(run.logFile, "Melodex starting up\r\n") << e.name;
  }
}
