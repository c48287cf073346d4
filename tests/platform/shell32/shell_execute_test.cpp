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

TEST_F(ShellExecute, TheBrowserIsAskedToOpenTheUrl) {
  shell32::ClearLaunchedUrlsForTests();
  SHELLEXECUTEINFO info = Browser(u"http://example.com/buy?id=7");
  ASSERT_TRUE(ShellExecuteEx(&info));
  EXPECT_GT(reinterpret_cast<ULONG_PTR>(info.hInstApp), 32u);
  ASSERT_EQ(shell32::LaunchedUrls().size(), 1u);
  EXPECT_EQ(shell32::LaunchedUrls()[0], "http://example.com/buy?id=7");
  std::ifstream log(root_ + "/browser.log");
  std::stringstream text;
  text << log.rdbuf();
  EXPECT_EQ(text.str(), "http://example.com/buy?id=7\n");
}

// A record of the wrong size is refused before anything opens; another program than the
// browser is not found.
TEST_F(ShellExecute, RefusesABadRecordAndOtherPrograms) {
  shell32::ClearLaunchedUrlsForTests();
  const struct {
    DWORD cbSize;
    const WCHAR* file;
    DWORD error;
    ULONG_PTR instance;  // 0: not looked at
  } cases[] = {{sizeof(SHELLEXECUTEINFO) - 4, u"\\Windows\\iexplore.exe", ERROR_ACCESS_DENIED, SE_ERR_ACCESSDENIED},
               {sizeof(SHELLEXECUTEINFO), u"\\Windows\\tmail.exe", ERROR_FILE_NOT_FOUND, 0}};
  for (const auto& c : cases) {
    SHELLEXECUTEINFO info = Browser(u"http://example.com/");
    info.cbSize = c.cbSize;
    info.lpFile = c.file;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ShellExecuteEx(&info));
    EXPECT_EQ(GetLastError(), c.error);
    if (c.instance) {
      EXPECT_EQ(reinterpret_cast<ULONG_PTR>(info.hInstApp), c.instance);
    }
  }
  EXPECT_TRUE(shell32::LaunchedUrls().empty());
}
