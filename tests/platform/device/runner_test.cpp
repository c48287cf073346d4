// The headless runner's script language: commands, and errors that name their line.
#include <gtest/gtest.h>

#include "device/Runner.h"

namespace {

TEST(ParseScript, ReadsEveryCommandWithItsLine) {
  std::vector<device::ScriptCommand> commands;
  std::string error;
  ASSERT_TRUE(device::ParseScript("# comment\nwait 3000\nkey DOWN\n\nsnap out/a.png\nexpect-log Melodex starting up\\r\\n\nquit\n",
                                  "s.txt", &commands, &error))
      << error;
  ASSERT_EQ(commands.size(), 5u);
  EXPECT_EQ(commands[0].line, 2);
  EXPECT_EQ(commands[0].verb, "wait");
  EXPECT_EQ(commands[0].argument, "3000");
  EXPECT_EQ(commands[1].argument, "DOWN");
  EXPECT_EQ(commands[2].argument, "out/a.png");
  EXPECT_EQ(commands[3].argument, "Melodex starting up\r\n");
  EXPECT_EQ(commands[4].line, 7);
}

TEST(ParseScript, ExpectLogWaitsTenSecondsUnlessGivenABound) {
  struct Case {
    const char* line;
    const char* text;
    uint64_t withinMs;
  };
  const Case cases[] = {
      {"expect-log worker done", "worker done", 10000},
      {"expect-log worker done within 250", "worker done", 250},
      {"expect-log done\\r\\n within 0", "done\r\n", 0},
      {"expect-log within 5 minutes", "within 5 minutes", 10000},
  };
  for (const Case& c : cases) {
    std::vector<device::ScriptCommand> commands;
    std::string error;
    ASSERT_TRUE(device::ParseScript(c.line, "s.txt", &commands, &error)) << c.line << ": " << error;
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].argument, c.text) << c.line;
    EXPECT_EQ(commands[0].withinMs, c.withinMs) << c.line;
  }
}

// A script with a mistake is refused with the file, the line and what is wrong there.
TEST(ParseScript, AMistakeNamesItsLine) {
  const struct {
    const char* script;
    const char* error;
  } cases[] = {{"wait 10\njump 3\n", "s:2: unknown command 'jump'"},
               {"wait soon\n", "s:1: wait needs a number of milliseconds"},
               {"key\n\nkey NOPE\n", "s:1: unknown key ''"},
               {"snap\n", "s:1: snap needs a file name"},
               {"quit now\n", "s:1: quit takes no argument"}};
  for (const auto& c : cases) {
    std::vector<device::ScriptCommand> commands;
    std::string error;
    EXPECT_FALSE(device::ParseScript(c.script, "s", &commands, &error)) << c.script;
    EXPECT_EQ(error, c.error);
  }
}

}  // namespace
