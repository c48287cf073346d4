// The key map as the runner's scripts name the keys.
#include <gtest/gtest.h>

#include "device/Input.h"

namespace {

TEST(VirtualKeyFromName, NamesThePhonesKeys) {
  EXPECT_EQ(device::VirtualKeyFromName("RETURN"), static_cast<UINT>(VK_RETURN));
  EXPECT_EQ(device::VirtualKeyFromName("ESCAPE"), static_cast<UINT>(VK_ESCAPE));
  EXPECT_EQ(device::VirtualKeyFromName("VK_LEFT"), static_cast<UINT>(VK_LEFT));
  EXPECT_EQ(device::VirtualKeyFromName("F1"), static_cast<UINT>(VK_F1));
  EXPECT_EQ(device::VirtualKeyFromName("F2"), static_cast<UINT>(VK_F2));
  EXPECT_EQ(device::VirtualKeyFromName("TALK"), static_cast<UINT>(VK_F3));
  EXPECT_EQ(device::VirtualKeyFromName("VOLUME_UP"), 0xAFu);
  EXPECT_EQ(device::VirtualKeyFromName("VOLUME_DOWN"), 0xAEu);
  EXPECT_EQ(device::VirtualKeyFromName("BACK"), static_cast<UINT>(VK_BACK));
  EXPECT_EQ(device::VirtualKeyFromName("7"), static_cast<UINT>('7'));
  EXPECT_EQ(device::VirtualKeyFromName("0x26"), static_cast<UINT>(VK_UP));
  EXPECT_EQ(device::VirtualKeyFromName("NOPE"), 0u);
}

}  // namespace
