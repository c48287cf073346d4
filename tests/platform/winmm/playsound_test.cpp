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

TEST(PlaySoundW, PlaysTheStartSoundsFromResources) {
  device::TestDriver driver;
  HINSTANCE hInst = platform::RegisterModule(&g_programResources);
  ASSERT_NE(hInst, nullptr);
  EXPECT_TRUE(PlaySoundW(TEXT("#159"), hInst, SND_RESOURCE | SND_ASYNC));
  EXPECT_TRUE(Traced(driver, "winmm: PlaySoundW #159"));
  EXPECT_TRUE(PlaySoundW(TEXT("#160"), hInst, SND_RESOURCE | SND_ASYNC));
  EXPECT_TRUE(PlaySoundW(MAKEINTRESOURCEW(160), hInst, SND_RESOURCE | SND_SYNC | SND_NODEFAULT));
  EXPECT_TRUE(Traced(driver, "winmm: PlaySoundW #160"));
}

TEST(PlaySoundW, MissingResourceIsFalse) {
  device::TestDriver driver;
  HINSTANCE hInst = platform::RegisterModule(&g_programResources);
  EXPECT_FALSE(PlaySoundW(TEXT("#999"), hInst, SND_RESOURCE | SND_ASYNC));
  EXPECT_FALSE(PlaySoundW(TEXT("#999"), hInst, SND_RESOURCE | SND_ASYNC | SND_NODEFAULT));
  // A GIF resource is not a WAVE resource.
  EXPECT_FALSE(PlaySoundW(TEXT("#139"), hInst, SND_RESOURCE | SND_ASYNC));
}

TEST(PlaySoundW, NullNameStops) {
  device::TestDriver driver;
  EXPECT_TRUE(PlaySoundW(nullptr, nullptr, 0));
  EXPECT_TRUE(Traced(driver, "winmm: PlaySoundW stop"));
}

TEST(PlaySoundW, MemoryImage) {
  device::TestDriver driver;
  HINSTANCE hInst = platform::RegisterModule(&g_programResources);
  HRSRC res = FindResourceW(hInst, TEXT("#159"), TEXT("WAVE"));
  ASSERT_NE(res, nullptr);
  const void* bytes = LockResource(LoadResource(hInst, res));
  EXPECT_TRUE(PlaySoundW(static_cast<LPCWSTR>(bytes), nullptr, SND_MEMORY | SND_ASYNC));
  const char16_t junk[] = u"not a sound";
  EXPECT_FALSE(PlaySoundW(junk, nullptr, SND_MEMORY | SND_ASYNC));
}

}  // namespace
