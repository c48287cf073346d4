// The owner identifier from the registry, the log, the browser launch and the text conversions.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "app/AppState.h"
#include "app/Log.h"
#include "app/Settings.h"
#include "app/Utilities.h"
#include "device/Device.h"
#include "support/ClientHarness.h"

using melodex_test::Client;
using melodex_test::MakeConfig;
using melodex_test::MakeTempRoot;
using melodex_test::RegistryWithOwnerID;
using melodex_test::WriteHostFile;

namespace {

std::u16string OwnerID() { return g_szOwnerID == nullptr ? u"(null)" : std::u16string(g_szOwnerID); }

// Boots on a root whose registry.reg holds the given text (none when empty).
struct RootWithRegistry {
  explicit RootWithRegistry(const std::string& registry) : root(MakeTempRoot()) {
    if (!registry.empty()) WriteHostFile(root + "/registry.reg", registry);
  }
  ~RootWithRegistry() {
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
  }
  std::string root;
};

}  // namespace

// The registry's ownerID of up to 127 characters is kept; a longer one (more than 256 bytes), a
// key without the value and no key at all give "5183", and nothing is logged. The buffer is
// 256 bytes whatever was read (AddressSanitizer checks its last unit). One row per process.
struct OwnerIDCase {
  const char* name;
  std::string registry;
  std::string ownerID;
};

class OwnerIDFromRegistry : public testing::TestWithParam<OwnerIDCase> {};

TEST_P(OwnerIDFromRegistry, IsKeptOrIsTheDefault) {
  RootWithRegistry root(GetParam().registry);
  Client client(MakeConfig("qvga", root.root));
  ASSERT_TRUE(client.boot());
  EXPECT_EQ(OwnerID(), std::u16string(GetParam().ownerID.begin(), GetParam().ownerID.end()));
  EXPECT_EQ(client.log(), "Melodex starting up\r\n");
  g_szOwnerID[127] = 0;
}

std::string Id127() {
  std::string id;
  for (int i = 0; i < 127; i++) id += static_cast<char>('a' + i % 26);
  return id;
}

INSTANTIATE_TEST_SUITE_P(
    LoadSettings, OwnerIDFromRegistry,
    testing::Values(
        OwnerIDCase{"Of127Characters", RegistryWithOwnerID(Id127()), Id127()},
        OwnerIDCase{"Short", RegistryWithOwnerID("owner-42"), "owner-42"},
        OwnerIDCase{"Of128Characters", RegistryWithOwnerID(std::string(128, 'x')), "5183"},
        OwnerIDCase{"NoKey", "", "5183"},
        OwnerIDCase{"KeyWithoutTheValue",
                    "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Melodex]\r\n"
                    "\"other\"=\"1\"\r\n",
                    "5183"}),
    [](const testing::TestParamInfo<OwnerIDCase>& info) { return std::string(info.param.name); });

// Edge case: a log text with a percent sign is written unchanged to the log and to stdout.
TEST(WriteLog, APercentSignIsWrittenUnchanged) {
  Client client;
  ASSERT_TRUE(client.boot());
  testing::internal::CaptureStdout();
  WriteLog("Test: 100% done %s %d %n\r\n");
  fflush(stdout);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "Test: 100% done %s %d %n\r\n");
  EXPECT_EQ(client.log(), "Melodex starting up\r\nTest: 100% done %s %d %n\r\n");
}

TEST(WriteLog, NothingIsAdded) {
  Client client;
  ASSERT_TRUE(client.boot());
  WriteLog("a");
  WriteLog("");
  WriteLog("b\r\n");
  EXPECT_EQ(client.log(), "Melodex starting up\r\nab\r\n");
}

// The log of the previous run is gone after a restart.
TEST(WriteLog, ThePreviousRunsLogIsGoneAfterARestart) {
  RootWithRegistry root("");
  std::filesystem::create_directories(root.root + "/Application Data/Melodex");
  WriteHostFile(root.root + "/Application Data/Melodex/log.txt", "Melodex starting up\r\nold run line\r\n");
  Client client(MakeConfig("qvga", root.root));
  ASSERT_TRUE(client.boot());
  EXPECT_EQ(client.log(), "Melodex starting up\r\n");
}

// A log that cannot be opened still lets WriteLog write to standard output.
TEST(WriteLog, WithoutALogFileOnlyStandardOutput) {
  Client client;
  ASSERT_TRUE(client.boot());
  FILE* saved = g_logFile;
  g_logFile = nullptr;
  testing::internal::CaptureStdout();
  WriteLog("only stdout\r\n");
  fflush(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "only stdout\r\n");
  g_logFile = saved;
  EXPECT_EQ(client.log(), "Melodex starting up\r\n");
}

// LaunchURL with a null URL does nothing and logs nothing.
TEST(LaunchURL, ANullURLDoesNothing) {
  Client client;
  ASSERT_TRUE(client.boot());
  size_t calls = client.countTrace("ShellExecuteEx");
  LaunchURL(nullptr);
  EXPECT_EQ(client.countTrace("ShellExecuteEx"), calls);
  EXPECT_EQ(client.log(), "Melodex starting up\r\n");
}

// The emulated phone's browser records the URL (headless: it is not opened).
TEST(LaunchURL, AURLGoesToTheBrowser) {
  Client client;
  ASSERT_TRUE(client.boot());
  LaunchURL("http://example.com/ringtone?id=7&x=%20");
  EXPECT_EQ(client.log(), "Melodex starting up\r\nLaunchURL: successfully called ShellExecuteEx\r\n");
  // The browser, the URL as its only parameter, mask 0x440.
  EXPECT_EQ(client.countTrace(
                "shell32: ShellExecuteEx file=\\Windows\\iexplore.exe params=http://example.com/ringtone?id=7&x=%20 "
                "mask=0x440"),
            1u);
}

// A browser that cannot be started is logged; nothing else happens.
TEST(LaunchURL, AFailedLaunchIsLogged) {
  Client client;
  ASSERT_TRUE(client.boot());
  device::options().browserFault = true;
  LaunchURL("http://example.com/ringtone");
  EXPECT_EQ(client.log(), "Melodex starting up\r\nLaunchURL: ShellExecuteEx failed\r\n");
}

// Converting empty texts gives allocated empty texts; null gives null.
TEST(Conversions, EmptyTextsGiveAllocatedEmptyTexts) {
  WCHAR* wide = ToWideString("");
  ASSERT_NE(wide, nullptr);
  EXPECT_EQ(wide[0], 0);
  free(wide);
  const WCHAR empty[1] = {0};
  char* narrow = ToNarrowString(empty);
  ASSERT_NE(narrow, nullptr);
  EXPECT_EQ(narrow[0], 0);
  free(narrow);
  EXPECT_EQ(ToWideString(nullptr), nullptr);
  EXPECT_EQ(ToNarrowString(nullptr), nullptr);
}

// Windows-1252, one byte per unit, both ways.
TEST(Conversions, Windows1252RoundTrip) {
  const char text[] = "Beyonc\xE9 \x80 100%";
  WCHAR* wide = ToWideString(text);
  ASSERT_NE(wide, nullptr);
  EXPECT_EQ(std::u16string(wide), u"Beyonc\u00E9 \u20AC 100%");
  char* narrow = ToNarrowString(wide);
  ASSERT_NE(narrow, nullptr);
  EXPECT_STREQ(narrow, text);
  free(wide);
  free(narrow);
}
