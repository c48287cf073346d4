// The owner identifier from the registry, the log, the browser launch and the text conversions.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/AppState.h"
#include "app/Log.h"
#include "app/Settings.h"
#include "app/Utilities.h"
#include "device/Device.h"
#include "support/ClientHarness.h"
#include "support/HostServers.h"

using namespace melodex_test;

namespace {

const char kRegistryKey[] = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Melodex]\r\n";
std::string RegistryWithOwnerID(const std::string& ownerID) {
  return kRegistryKey + ("\"ownerID\"=\"" + ownerID + "\"\r\n");
}
std::string Id127() {
  std::string id;
  for (int i = 0; i < 127; i++) id += static_cast<char>('a' + i % 26);
  return id;
}

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
  TempFolder root("melodex-app-test");
  if (!GetParam().registry.empty()) std::ofstream(root / "registry.reg", std::ios::binary) << GetParam().registry;
  Client client(MakeConfig("qvga", root.path()));
  ASSERT_TRUE(client.boot());
  ASSERT_NE(g_szOwnerID, nullptr);
  EXPECT_EQ(std::u16string(g_szOwnerID), std::u16string(GetParam().ownerID.begin(), GetParam().ownerID.end()));
  EXPECT_EQ(client.log(), "Melodex starting up\r\n");
  g_szOwnerID[127] = 0;
}

INSTANTIATE_TEST_SUITE_P(
    LoadSettings, OwnerIDFromRegistry,
    testing::Values(OwnerIDCase{"Of127Characters", RegistryWithOwnerID(Id127()), Id127()},
                    OwnerIDCase{"Of128Characters", RegistryWithOwnerID(std::string(128, 'x')), "5183"},
                    OwnerIDCase{"NoKey", "", "5183"},
                    OwnerIDCase{"KeyWithoutTheValue", kRegistryKey + std::string("\"other\"=\"1\"\r\n"), "5183"}),
    [](const testing::TestParamInfo<OwnerIDCase>& info) { return std::string(info.param.name); });

// Each text goes unchanged, percent signs and all, to standard output and to the log, which
// starts afresh on every run; without a log file only standard output gets it.
TEST(WriteLog, TextsGoUnchangedToTheLogAndStandardOutput) {
  TempFolder root("melodex-app-test");
  std::filesystem::create_directories(root / "Application Data/Melodex");
  std::ofstream(root / "Application Data/Melodex/log.txt") << "old run line\r\n";
  Client client(MakeConfig("qvga", root.path()));
  ASSERT_TRUE(client.boot());
  testing::internal::CaptureStdout();
  WriteLog("a");
  WriteLog("");
  WriteLog("100% done %s %d %n\r\n");
  FILE* saved = g_logFile;
  g_logFile = nullptr;
  WriteLog("only stdout\r\n");
  g_logFile = saved;
  fflush(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "a100% done %s %d %n\r\nonly stdout\r\n");
  EXPECT_EQ(client.log(), "Melodex starting up\r\na100% done %s %d %n\r\n");
}

// The phone's browser is asked to open the URL, its only parameter (mask 0x440), and the outcome is
// logged; a null URL does nothing.
TEST(LaunchURL, TheBrowserGetsTheURLAndTheOutcomeIsLogged) {
  const struct {
    const char* url;
    bool fails;
    const char* line;
  } cases[] = {{nullptr, false, ""},
               {"http://example.com/ringtone?id=7&x=%20", false, "LaunchURL: successfully called ShellExecuteEx\r\n"},
               {"http://example.com/ringtone", true, "LaunchURL: ShellExecuteEx failed\r\n"}};
  Client client;
  ASSERT_TRUE(client.boot());
  for (const auto& c : cases) {
    std::string before = client.log();
    device::options().browserFault = c.fails;
    LaunchURL(c.url);
    EXPECT_EQ(client.log(), before + c.line);
    std::string call = std::string("shell32: ShellExecuteEx file=\\Windows\\iexplore.exe params=") +
                       (c.url ? c.url : "") + " mask=0x440";
    EXPECT_EQ(client.countTrace(call), c.url != nullptr ? 1u : 0u) << call;
  }
}

// Windows-1252, one byte per unit, both ways; empty texts give allocated empty texts, null null.
TEST(Conversions, Windows1252BothWays) {
  const struct {
    const char* narrow;
    std::u16string wide;
  } cases[] = {{"Beyonc\xE9 \x80 100%", u"Beyonc\u00E9 \u20AC 100%"}, {"", u""}};
  for (const auto& c : cases) {
    WCHAR* wide = ToWideString(c.narrow);
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(std::u16string(wide), c.wide);
    char* narrow = ToNarrowString(wide);
    ASSERT_NE(narrow, nullptr);
    EXPECT_STREQ(narrow, c.narrow);
    free(wide);
    free(narrow);
  }
  EXPECT_EQ(ToWideString(nullptr), nullptr);
  EXPECT_EQ(ToNarrowString(nullptr), nullptr);
}
