// Conformance tests of ShellExecuteEx as LaunchURL calls it.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "../kernel32/device_root.h"
#include "shell32/shell32.h"
#include "shellapi.h"
#include "windows.h"

class ShellExecute : public testing_device::DeviceRootTest {
 protected:
  SHELLEXECUTEINFO Browser(const WCHAR* url) {
    SHELLEXECUTEINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOCLOSEPROCESS;
    info.lpFile = u"\\Windows\\iexplore.exe";
    info.lpParameters = url;
    info.nShow = 1;  // SW_SHOWNORMAL
    return info;
  }
};

TEST_F(ShellExecute, test_ShellExecuteEx_records_the_url) {
  shell32::ClearLaunchedUrlsForTests();
  SHELLEXECUTEINFO info = Browser(u"http://example.com/buy?id=7");
  EXPECT_EQ(info.fMask, 0x440u);
  ASSERT_TRUE(ShellExecuteEx(&info));
  EXPECT_GT(reinterpret_cast<ULONG_PTR>(info.hInstApp), 32u);
  ASSERT_EQ(shell32::LaunchedUrls().size(), 1u);
  EXPECT_EQ(shell32::LaunchedUrls()[0], "http://example.com/buy?id=7");
  std::ifstream log(root_ + "/browser.log");
  std::stringstream text;
  text << log.rdbuf();
  EXPECT_EQ(text.str(), "http://example.com/buy?id=7\n");
}

TEST_F(ShellExecute, test_ShellExecuteEx_refuses_bad_cbSize) {
  shell32::ClearLaunchedUrlsForTests();
  SHELLEXECUTEINFO info = Browser(u"http://example.com/");
  info.cbSize = 60 - 4;
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(ShellExecuteEx(&info));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(reinterpret_cast<ULONG_PTR>(info.hInstApp), static_cast<ULONG_PTR>(SE_ERR_ACCESSDENIED));
  EXPECT_TRUE(shell32::LaunchedUrls().empty());
}

TEST_F(ShellExecute, test_ShellExecuteEx_other_program_not_found) {
  SHELLEXECUTEINFO info = Browser(u"x");
  info.lpFile = u"\\Windows\\tmail.exe";
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(ShellExecuteEx(&info));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}
