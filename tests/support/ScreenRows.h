// Screen tests as tables. Each row boots the client, reaches a screen, presses a sequence of
// keys (with waits on the virtual clock between them where it says so) and checks where the
// program stands: the current screen, the back stack, client-area pixels, a log line, and
// anything else in a check of its own. Every row runs as a test of its own, in a process of its
// own, named after the row's sentence ("Back hides the window" -> .../BackHidesTheWindow).
//
//   using namespace melodex_test;
//   const Reach kAtHelp = {{VK_RETURN, VK_DOWN, VK_DOWN, VK_RETURN}, SCREEN_HELP};
//   const ScreenRow kHelpRows[] = {
//       {"Back from the list returns to the main menu", {VK_ESCAPE}, SCREEN_MAIN_MENU, Stack{SCREEN_MAIN_MENU}},
//       {.name = "The recorder starts 3 s after the listening screen",
//        .keys = {VK_RETURN, Wait(3000)},
//        .screen = SCREEN_LISTENING,
//        .pixels = {{0, 0, 0xFFFFFF}},
//        .log = "AudioRecorder::recordAudio: opening device\r\n",
//        .check = [](Client& client) { EXPECT_EQ(client.countTrace("waveInStart"), 1u); }},
//   };
//   MELODEX_SCREEN_ROWS(HelpKeys, kAtHelp, kHelpRows);
//
// Inputs: a virtual-key code is a press (key-down, key-up, then every message due now);
// Wait(ms) advances the virtual clock; WaitForPosted(ms) waits in real time for a message a
// worker thread posts (a reply); KeyDown/KeyUp send one half of a press; KeyUpReturns sends
// WM_KEYUP straight to the window procedure and expects its result; Switch(id) is a
// SwitchScreen from outside (for screens no key reaches, such as the error screens); Do(text, f)
// is anything else.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cctype>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "app/AppState.h"
#include "app/Navigation.h"
#include "support/ClientHarness.h"

namespace melodex_test {

// The name of a key in failure messages.
inline std::string KeyName(UINT vk) {
  switch (vk) {
    case VK_RETURN: return "Return";
    case VK_ESCAPE: return "Back";
    case VK_LEFT: return "Left";
    case VK_UP: return "Up";
    case VK_RIGHT: return "Right";
    case VK_DOWN: return "Down";
    case VK_F1: return "LeftSoft";
    case VK_F2: return "RightSoft";
    default: break;
  }
  if (vk >= '0' && vk <= '9') return std::string(1, static_cast<char>(vk));
  return "vk" + std::to_string(vk);
}

// One step of a row's sequence.
struct Input {
  Input(UINT vk) : text(KeyName(vk)), apply([vk](Client& client) { client.driver.press(vk); }) {}
  Input(std::string what, std::function<void(Client&)> action) : text(std::move(what)), apply(std::move(action)) {}
  std::string text;
  std::function<void(Client&)> apply;
};
using Inputs = std::vector<Input>;

inline Input Wait(uint64_t ms) {
  return Input("wait " + std::to_string(ms) + " ms", [ms](Client& client) { client.driver.advance(ms); });
}
inline Input WaitForPosted(uint64_t realMs = 5000) {
  return Input("wait for a posted message", [realMs](Client& client) {
    EXPECT_TRUE(client.driver.waitForPosted(realMs)) << "nothing was posted within " << realMs << " ms";
  });
}
inline Input KeyDown(UINT vk) {
  return Input(KeyName(vk) + " down", [vk](Client& client) {
    client.driver.keyDown(vk);
    client.driver.runPending();
  });
}
inline Input KeyUp(UINT vk) {
  return Input(KeyName(vk) + " up", [vk](Client& client) {
    client.driver.keyUp(vk);
    client.driver.runPending();
  });
}
inline Input KeyUpReturns(UINT vk, LRESULT expected) {
  return Input(KeyName(vk) + " (returns " + std::to_string(expected) + ")", [vk, expected](Client& client) {
    EXPECT_EQ(SendMessageW(g_hWnd, WM_KEYUP, vk, 0), expected) << "WM_KEYUP " << KeyName(vk);
    client.driver.runPending();
  });
}
inline Input Switch(ScreenId id) {
  return Input("switch to " + std::to_string(id), [id](Client& client) {
    SwitchScreen(id);
    client.driver.runPending();
  });
}
inline Input Do(std::string what, std::function<void(Client&)> action) {
  return Input(std::move(what), [action = std::move(action)](Client& client) {
    action(client);
    client.driver.runPending();
  });
}

// How a table's rows reach their screen from boot, and the screen they must be on by then.
struct Reach {
  Inputs keys;
  ScreenId screen;
};
inline const Reach kAtSplash = {{}, SCREEN_SPLASH};
inline const Reach kAtMainMenu = {{VK_RETURN}, SCREEN_MAIN_MENU};

// A back stack, bottom entry first.
using Stack = std::vector<ScreenId>;

// A client-area pixel (client coordinates), 0x00RRGGBB.
struct Pixel {
  int x;
  int y;
  uint32_t rgb;
};

struct ScreenRow {
  std::string name;                           // the behaviour, as a sentence
  Inputs keys = {};                           // after the table's Reach
  ScreenId screen = SCREEN_NONE;              // the current screen afterwards
  std::optional<Stack> backStack = {};        // the back stack afterwards, when given
  std::vector<Pixel> pixels = {};             // client-area pixels afterwards
  std::string log = {};                       // a text the log file holds afterwards, when given
  std::function<void(Client&)> check = {};    // anything else
  std::string profile = "qvga";               // the screen profile to boot with
};

inline std::string Describe(const Inputs& keys) {
  std::string text;
  for (const Input& input : keys) text += (text.empty() ? "" : ", ") + input.text;
  return text.empty() ? "(no keys)" : text;
}

inline void PrintTo(const ScreenRow& row, std::ostream* out) { *out << '"' << row.name << "\": " << Describe(row.keys); }

// "Back hides the window" -> "BackHidesTheWindow", the row's test name.
inline std::string RowName(const testing::TestParamInfo<ScreenRow>& info) {
  std::string name;
  bool startWord = true;
  for (char c : info.param.name) {
    if (c == '\'') continue;  // "splash's" -> "Splashs"
    if (!std::isalnum(static_cast<unsigned char>(c))) {
      startWord = true;
      continue;
    }
    name += startWord ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
    startWord = false;
  }
  return name;
}

inline Stack BackStack() { return Stack(g_backStack, g_backStack + (g_backStackTop + 1)); }

// Runs the row on a client the caller made (one whose identification threads are counted, say).
inline void RunScreenRowOn(Client& client, const Reach& reach, const ScreenRow& row) {
  ASSERT_TRUE(client.boot());
  for (const Input& input : reach.keys) input.apply(client);
  ASSERT_EQ(g_nCurrentScreen, reach.screen) << "reaching the screen by " << Describe(reach.keys);
  for (const Input& input : row.keys) input.apply(client);
  SCOPED_TRACE(row.name + " after " + Describe(row.keys));
  EXPECT_EQ(g_nCurrentScreen, row.screen);
  if (row.backStack) {
    EXPECT_EQ(BackStack(), *row.backStack) << "back stack, bottom first";
  }
  for (const Pixel& p : row.pixels) {
    EXPECT_EQ(client.clientPixel(p.x, p.y), p.rgb) << "pixel (" << p.x << ", " << p.y << ")";
  }
  if (!row.log.empty()) {
    EXPECT_NE(client.log().find(row.log), std::string::npos) << "log lacks: " << row.log;
  }
  if (row.check) row.check(client);
}

inline void RunScreenRow(const Reach& reach, const ScreenRow& row) {
  Client client(MakeConfig(row.profile));
  RunScreenRowOn(client, reach, row);
}

}  // namespace melodex_test

// Defines the parameterized suite `Suite` whose tests are the rows (an array or vector of
// ScreenRow), each reaching its screen by `reach` first.
#define MELODEX_SCREEN_ROWS(Suite, reach, rows)                                           \
  class Suite : public testing::TestWithParam<melodex_test::ScreenRow> {};              \
  TEST_P(Suite, Keys) { melodex_test::RunScreenRow(reach, GetParam()); }                \
  INSTANTIATE_TEST_SUITE_P(Rows, Suite, testing::ValuesIn(rows), melodex_test::RowName)
