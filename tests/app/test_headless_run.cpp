// The whole program as a user meets it: the melodex executable run by the headless runner on a
// fresh root, with a script of keys, waits and expectations.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "support/HostServers.h"

using melodex_test::ReadText;
using melodex_test::RunForOutput;
using melodex_test::TempFolder;

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
    TempFolder root("melodex-app-test");
    std::ofstream(root / "script.txt") << e.script;
    int status = -1;
    std::string out = RunForOutput({"sh", "-c", "cd '" + root.path() + "' && exec " + MELODEX_BINARY + " --root . --headless --script script.txt 2> stderr.txt"}, {}, &status);
    EXPECT_EQ(status, e.status) << e.name;
    EXPECT_EQ(out, "Melodex starting up\r\n") << e.name;
    EXPECT_NE(ReadText(root / "stderr.txt").find(e.err), std::string::npos) << e.name;
    EXPECT_EQ(ReadText(root / "Application Data/Melodex/log.txt"), "Melodex starting up\r\n") << e.name;
    if (e.snap) {
      EXPECT_EQ(ReadText(root / "snap.png").substr(0, 24), std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\0\xf0\0\0\x01\x40", 24));
    }
  }
}
