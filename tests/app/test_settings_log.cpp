// LoadSettings, WriteLog, LaunchURL, ToWideString, ToNarrowString.
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

// A stored ownerID of up to 127 characters becomes g_szOwnerID unchanged.
TEST(LoadSettings, AnOwnerIDOf127CharactersIsKept) {
  std::string id127;
  for (int i = 0; i < 127; i++) id127 += static_cast<char>('a' + i % 26);
  RootWithRegistry root(RegistryWithOwnerID(id127));
  Client client(MakeConfig("qvga", root.root));
  ASSERT_TRUE(client.boot());
  EXPECT_EQ(OwnerID(), std::u16string(id127.begin(), id127.end()));
}

TEST(LoadSettings, AShortOwnerIDIsKept) {
  RootWithRegistry root(RegistryWithOwnerID("owner-42"));
  Client client(MakeConfig("qvga", root.root));
  ASSERT_TRUE(client.boot());
  EXPECT_EQ(OwnerID(), u"owner-42");
}

// Failure handling: a value larger than 256 bytes gives the default.
TEST(LoadSettings, AnOwnerIDOf128CharactersGivesTheDefault) {
  RootWithRegistry root(RegistryWithOwnerID(std::string(128, 'x')));
  Client client(MakeConfig("qvga", root.root));
  ASSERT_TRUE(client.boot());
  EXPECT_EQ(OwnerID(), u"5183");
}

// No key at all gives "5183".
TEST(LoadSettings, NoKeyGivesTheDefault) {
  RootWithRegistry root("");
  Client client(MakeConfig("qvga", root.root));
  ASSERT_TRUE(client.boot());
  EXPECT_EQ(OwnerID(), u"5183");
}

// A key without ownerID gives "5183"; nothing is logged.
TEST(LoadSettings, AKeyWithoutTheValueGivesTheDefault) {
  RootWithRegistry root(
      "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Melodex]\r\n\"other\"=\"1\"\r\n");
  Client client(MakeConfig("qvga", root.root));
  ASSERT_TRUE(client.boot());
  EXPECT_EQ(OwnerID(), u"5183");
  EXPECT_EQ(client.log(), "Melodex starting up\r\n");
}

TEST(LoadSettings, TheBufferIs256Bytes) {
  RootWithRegistry root("");
  Client client(MakeConfig("qvga", root.root));
  ASSERT_TRUE(client.boot());
  ASSERT_NE(g_szOwnerID, nullptr);
  g_szOwnerID[127] = 0;  // the last unit of a 256-byte buffer is writable (AddressSanitizer checks)
  EXPECT_EQ(OwnerID(), u"5183");
}

// A log text with a percent sign is written unchanged to the log and to stdout.
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
