// SHLoadImageResource over the program's compiled resources: a GIF id decodes at its size; a
// missing id, or one of another type, gives null.
#include <gtest/gtest.h>
#include <windows.h>
#include <aygshell.h>

#include "kernel32/module.h"

extern const platform::ResourceModule g_programResources;

namespace {

TEST(SHLoadImageResource, LoadsAGifAndGivesNullForOtherIds) {
  HINSTANCE hInst = platform::RegisterModule(&g_programResources);
  HBITMAP bmp = SHLoadImageResource(hInst, 125);
  ASSERT_NE(bmp, nullptr);
  BITMAP bm{};
  ASSERT_EQ(GetObjectW(bmp, sizeof bm, &bm), static_cast<int>(sizeof bm));
  EXPECT_EQ(bm.bmWidth, 220);
  EXPECT_EQ(bm.bmHeight, 100);
  EXPECT_TRUE(DeleteObject(bmp));
  EXPECT_EQ(SHLoadImageResource(hInst, 999), nullptr);
  EXPECT_EQ(SHLoadImageResource(hInst, 159), nullptr);  // a WAVE resource, not a GIF
}

}  // namespace
