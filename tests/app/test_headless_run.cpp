// The whole program as a user meets it: the melodex executable run by the headless runner. It
// starts, shows the splash, the main menu after three seconds, opens help and reads the about
// topic, snaps the screen, and ends with exit code 0 on the main menu's exit entry; a failed
// expectation fails the run and names its line.
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
  std::string err;
  std::string snap;     // the first 24 bytes of snap.png in the root, if any
  std::string logFile;  // \Application Data\Melodex\log.txt after the process ended
};

std::string Read(const std::string& path, size_t limit = std::string::npos) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str().substr(0, limit);
}

// Runs melodex --headless --script on a fresh root; standard output is collected.
ScriptRun RunScript(const std::string& script) {
  std::string root = melodex_test::MakeTempRoot();
  std::string scriptPath = root + "/script.txt";
  melodex_test::WriteHostFile(scriptPath, script);
  std::string command = "cd '" + root + "' && " + MELODEX_BINARY + " --root '" + root + "' --headless --script '" +
                        scriptPath + "' > stdout.txt 2> stderr.txt";
  ScriptRun run;
  int status = std::system(command.c_str());
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = Read(root + "/stdout.txt");
  run.err = Read(root + "/stderr.txt");
  run.snap = Read(root + "/snap.png", 24);
  run.logFile = Read(root + "/Application Data/Melodex/log.txt");
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
      "snap snap.png\n"
      "key DOWN\nkey RETURN\n"            // exit
      "wait 1000\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "Melodex starting up\r\n");
  // A PNG signature, then the header chunk of a 240 x 320 picture.
  EXPECT_EQ(run.snap, std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\0\xf0\0\0\x01\x40", 24));
}

TEST(HeadlessRun, AFailedExpectationFailsTheRunAndNamesItsLine) {
  ScriptRun run = RunScript("wait 10\nexpect-log no such line within 0\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("script.txt:2: expect-log"), std::string::npos) << run.err;
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
