// The whole program as a user meets it: the melodex executable run by the headless runner on a
// fresh root, with a script of keys, waits and expectations.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "support/ClientHarness.h"

namespace {

std::string Read(const std::string& path, size_t limit = std::string::npos) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str().substr(0, limit);
}

}  // namespace

// The run ends with exit code 0 on the main menu's exit entry, on quit and at the end of the
// script, and with 1 on a failed expectation, which names its line. However it ends, the
// process ends as a Windows process does: the program never flushes its log, yet the C
// run-time's buffered log reaches the file.
TEST(HeadlessRun, EveryEndingGivesItsExitCodeAndFlushesTheLog) {
  const struct {
    const char* name;
    const char* script;
    int status;
    const char* err;  // a text standard error holds
    bool snap;        // a 240 x 320 PNG snapped
  } endings[] = {
      {"exit", "expect-log Melodex starting up\nwait 3000\nkey DOWN\nkey DOWN\nkey RETURN\nkey UP\nkey RETURN\n"
               "key F1\nkey F1\nsnap snap.png\nkey DOWN\nkey RETURN\nwait 1000\n", 0, "", true},
      {"quit", "wait 3000\nquit\n", 0, "", false},
      {"the end of the script", "wait 3000\n", 0, "", false},
      {"a failed expectation", "wait 3000\nexpect-log no such line within 0\n", 1, "script.txt:2: expect-log", false},
  };
  for (const auto& e : endings) {
    std::string root = melodex_test::MakeTempRoot();
    melodex_test::WriteHostFile(root + "/script.txt", e.script);
    std::string command = "cd '" + root + "' && " + MELODEX_BINARY + " --root '" + root + "' --headless --script '" +
                          root + "/script.txt' > stdout.txt 2> stderr.txt";
    int status = std::system(command.c_str());
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, e.status) << e.name;
    EXPECT_EQ(Read(root + "/stdout.txt"), "Melodex starting up\r\n") << e.name;
    EXPECT_NE(Read(root + "/stderr.txt").find(e.err), std::string::npos) << e.name;
    EXPECT_EQ(Read(root + "/Application Data/Melodex/log.txt"), "Melodex starting up\r\n") << e.name;
    if (e.snap) {
      EXPECT_EQ(Read(root + "/snap.png", 24), std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\0\xf0\0\0\x01\x40", 24));
    }
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
  }
}
