// PlaySoundW with the program's own WAVE resources ("#159" and "#160" with SND_RESOURCE |
// SND_ASYNC), headless: nothing is heard, the call answers and is traced.
#include <gtest/gtest.h>
#include <mmsystem.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "device/TestDriver.h"
#include "kernel32/module.h"

// res/melodex.rc as llvm-rc compiled it (library melodex_resources).
extern const platform::ResourceModule g_programResources;

namespace {

bool Traced(const device::TestDriver& driver, const std::string& line) {
  std::vector<std::string> lines = driver.trace();
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// Each call's answer and, for the ones that play or stop, its trace line: the start sounds by
// name and by id, a missing id and a GIF id (not WAVE resources), stopping, and a memory image.
TEST(PlaySoundW, AnswersAndTracesEachCall) {
  device::TestDriver driver;
  HINSTANCE hInst = platform::RegisterModule(&g_programResources);
  ASSERT_NE(hInst, nullptr);
  HRSRC res = FindResourceW(hInst, TEXT("#159"), TEXT("WAVE"));
  ASSERT_NE(res, nullptr);
  const auto* image = static_cast<LPCWSTR>(LockResource(LoadResource(hInst, res)));
  const struct {
    LPCWSTR sound;
    HMODULE module;
    DWORD flags;
    bool played;
    const char* traced;  // null: not looked for
  } cases[] = {
      {TEXT("#159"), hInst, SND_RESOURCE | SND_ASYNC, true, "winmm: PlaySoundW #159"},
      {MAKEINTRESOURCEW(160), hInst, SND_RESOURCE | SND_SYNC | SND_NODEFAULT, true, "winmm: PlaySoundW #160"},
      {TEXT("#999"), hInst, SND_RESOURCE | SND_ASYNC, false, nullptr},
      {TEXT("#999"), hInst, SND_RESOURCE | SND_ASYNC | SND_NODEFAULT, false, nullptr},
      {TEXT("#139"), hInst, SND_RESOURCE | SND_ASYNC, false, nullptr},
      {nullptr, nullptr, 0, true, "winmm: PlaySoundW stop"},
      {image, nullptr, SND_MEMORY | SND_ASYNC, true, nullptr},
      {u"not a sound", nullptr, SND_MEMORY | SND_ASYNC, false, nullptr},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PlaySoundW(c.sound, c.module, c.flags) != FALSE, c.played) << (&c - cases);
    if (c.traced) {
      EXPECT_TRUE(Traced(driver, c.traced)) << c.traced;
    }
  }
}

}  // namespace
