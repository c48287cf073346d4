// The client's fopen/_wfopen reach the device's storage; the platform's own fopen does not.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "device_root.h"
#include "windows.h"

bool ClientWriteLog(const char* text);
bool ClientWriteCounter(unsigned value);
bool ClientOpensMissingFile();

class ClientCrt : public testing_device::DeviceRootTest {};

TEST_F(ClientCrt, test_fopen_writes_under_the_root) {
  ASSERT_TRUE(CreateDirectoryW(u"\\Application Data\\Melodex", nullptr));
  ASSERT_TRUE(ClientWriteLog("Melodex starting up\r\n"));
  std::ifstream in(root_ + "/Application Data/Melodex/log.txt", std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), "Melodex starting up\r\n");
}

TEST_F(ClientCrt, test_wfopen_writes_under_the_root_case_insensitively) {
  ASSERT_TRUE(CreateDirectoryW(u"\\Application Data\\Melodex", nullptr));
  ASSERT_TRUE(ClientWriteCounter(3));
  WIN32_FILE_ATTRIBUTE_DATA data;
  ASSERT_TRUE(GetFileAttributesExW(u"\\Application Data\\Melodex\\nexttag.num", GetFileExInfoStandard, &data));
  EXPECT_EQ(data.nFileSizeLow, 4u);
  EXPECT_FALSE(ClientOpensMissingFile());
}

// The test's own (platform-side) fopen is the host's: a device path is not mapped here.
TEST_F(ClientCrt, test_platform_fopen_is_not_mapped) {
  EXPECT_EQ(fopen("\\Application Data\\nothing", "rb"), nullptr);
}
