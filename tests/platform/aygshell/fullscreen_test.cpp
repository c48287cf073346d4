// SHFullScreen: recorded in the trace, always TRUE (the emulated shell has no input panel).
#include <gtest/gtest.h>
#include <windows.h>
#include <aygshell.h>

#include "device/Trace.h"

namespace {

TEST(SHFullScreen, RecordsAndSucceeds) {
  device::Trace::enableForTests("aygshell");
  EXPECT_EQ(SHFS_HIDESIPBUTTON, 8);
  EXPECT_TRUE(SHFullScreen(reinterpret_cast<HWND>(static_cast<uintptr_t>(0x10001)), SHFS_HIDESIPBUTTON));
  auto lines = device::Trace::lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_NE(lines.back().find("SHFullScreen"), std::string::npos);
  EXPECT_NE(lines.back().find("state=0x8"), std::string::npos);
}

}  // namespace
