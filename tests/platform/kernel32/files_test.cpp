// Conformance tests of the device file system (the data folder, the history files).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <set>
#include <string>

#include "device_root.h"
#include "windows.h"

using testing_device::DeviceRootTest;

namespace {

bool HostExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

std::string Narrow(const WCHAR* s) {
  std::string out;
  for (; *s; ++s) out.push_back(static_cast<char>(*s));
  return out;
}

}  // namespace

class Files : public DeviceRootTest {};

TEST_F(Files, TheRootIsLaidOutAsAPhone) {
  EXPECT_EQ(device::RootDir(), root_);
  for (const char* folder : {"Windows", "Application Data", "My Documents", "Temp"})
    EXPECT_TRUE(HostExists(root_ + "/" + folder)) << folder;
}

TEST_F(Files, HostPathTurnsBackslashesAndFindsNamesInAnyCase) {
  EXPECT_EQ(device::HostPath("\\Application Data\\Melodex\\7.dat"), root_ + "/Application Data/Melodex/7.dat");
  EXPECT_EQ(device::HostPath(u"\\Application Data\\Melodex\\7.dat"), root_ + "/Application Data/Melodex/7.dat");
  ASSERT_TRUE(CreateDirectoryW(u"\\Application Data\\Melodex", nullptr));
  // Existing components are found whatever their case; missing ones keep the given spelling.
  EXPECT_EQ(device::HostPath("\\application data\\MELODEX\\New.dat"), root_ + "/Application Data/Melodex/New.dat");
  EXPECT_EQ(device::HostPath("\\"), root_);
  EXPECT_EQ(device::HostPath("\\Temp\\..\\..\\Windows"), root_ + "/Windows");  // never above the root
  EXPECT_EQ(device::HostPath("\\caf\xE9.txt"), root_ + "/caf\xC3\xA9.txt");    // CP1252 to UTF-8
}

// Each failing call sets the error Windows gives for it; names are found whatever their case.
// The probe holds the other failures of these calls against Windows.
TEST_F(Files, FailedCallsSetWindowsError) {
  ASSERT_TRUE(CreateDirectoryW(u"\\Application Data\\Melodex", nullptr));
  EXPECT_TRUE(HostExists(root_ + "/Application Data/Melodex"));
  WriteHostFile("Temp/gone.jpg", "x");
  EXPECT_TRUE(DeleteFileW(u"\\TEMP\\Gone.JPG"));
  EXPECT_FALSE(HostExists(root_ + "/Temp/gone.jpg"));
  static WIN32_FIND_DATAW find;
  static WIN32_FILE_ATTRIBUTE_DATA attributes;
  const struct {
    const char* call;
    BOOL (*failing)();
    DWORD error;
  } cases[] = {
      {"FindFirstFileW empty folder",
       [] { return BOOL(FindFirstFileW(u"\\Application Data\\Melodex\\*.dat", &find) != INVALID_HANDLE_VALUE); },
       ERROR_FILE_NOT_FOUND},
      {"GetFileAttributesExW missing file",
       [] { return GetFileAttributesExW(u"\\Temp\\missing.dat", GetFileExInfoStandard, &attributes); }, ERROR_FILE_NOT_FOUND},
      {"GetFileAttributesExW missing folder",
       [] { return GetFileAttributesExW(u"\\Nowhere\\missing.dat", GetFileExInfoStandard, &attributes); },
       ERROR_PATH_NOT_FOUND},
      {"DeleteFileW missing folder", [] { return DeleteFileW(u"\\No Such\\gone.jpg"); }, ERROR_PATH_NOT_FOUND},
      {"DeleteFileW on a folder", [] { return DeleteFileW(u"\\Temp"); }, ERROR_ACCESS_DENIED},
  };
  for (const auto& c : cases) {
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(c.failing()) << c.call;
    EXPECT_EQ(GetLastError(), c.error) << c.call;
  }
}

// Which names of one folder each pattern finds, in any case.
TEST_F(Files, FindFirstFileWMatchesPatternsCaseInsensitively) {
  ASSERT_TRUE(CreateDirectoryW(u"\\Application Data\\Melodex", nullptr));
  for (const char* name : {"7.dat", "12.DAT", "notes.dat", "7.jpg", "nexttag.num", "log.txt", "log", "x.data"})
    WriteHostFile(std::string("Application Data/Melodex/") + name, "abc");
  ASSERT_TRUE(CreateDirectoryW(u"\\Application Data\\Melodex\\sub", nullptr));
  const std::set<std::string> all = {"7.dat", "12.DAT", "notes.dat", "7.jpg", "nexttag.num", "log.txt", "log", "x.data", "sub"};
  const struct {
    const char16_t* pattern;
    std::set<std::string> names;
  } cases[] = {
      {u"*.DAT", {"7.dat", "12.DAT", "notes.dat"}},
      {u"?.*", {"7.dat", "7.jpg", "x.data"}},
      {u"log*", {"log", "log.txt"}},  // a trailing '*' also matches nothing
      {u"*g*", {"7.jpg", "nexttag.num", "log.txt", "log"}},
      {u"N*T*.num", {"nexttag.num"}},
      {u"*", all},    // folders too, never "." or ".."
      {u"*.*", all},  // also the names without a dot, as on Windows
  };
  for (const auto& c : cases) {
    std::u16string path = std::u16string(u"\\APPLICATION DATA\\Melodex\\") + c.pattern;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(path.c_str(), &data);
    std::set<std::string> names;
    if (find != INVALID_HANDLE_VALUE) {
      do names.insert(Narrow(data.cFileName));
      while (FindNextFileW(find, &data));
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
      EXPECT_TRUE(FindClose(find));
    }
    EXPECT_EQ(names, c.names) << Narrow((const WCHAR*)c.pattern);
  }
}

TEST_F(Files, FindFirstFileWGivesSizeAndAttributesAndAClosedHandleIsInvalid) {
  ASSERT_TRUE(CreateDirectoryW(u"\\Temp\\t", nullptr));
  WriteHostFile("Temp/t/a.dat", "abc");
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(u"\\Temp\\t\\*", &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.nFileSizeLow, 3u);
  EXPECT_EQ(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_TRUE(FindClose(find));
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(FindClose(find));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(Files, GetFileAttributesExWGivesSizeAttributesAndCreationTime) {
  ASSERT_TRUE(CreateDirectoryW(u"\\Temp\\t", nullptr));
  SYSTEMTIME before;
  GetSystemTime(&before);
  FILETIME beforeFt;
  ASSERT_TRUE(SystemTimeToFileTime(&before, &beforeFt));
  WriteHostFile("Temp/t/a.dat", "12345");
  WIN32_FILE_ATTRIBUTE_DATA data;
  ASSERT_TRUE(GetFileAttributesExW(u"\\temp\\T\\A.DAT", GetFileExInfoStandard, &data));
  EXPECT_EQ(data.nFileSizeLow, 5u);
  EXPECT_EQ(data.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
  uint64_t created = (static_cast<uint64_t>(data.ftCreationTime.dwHighDateTime) << 32) | data.ftCreationTime.dwLowDateTime;
  uint64_t start = (static_cast<uint64_t>(beforeFt.dwHighDateTime) << 32) | beforeFt.dwLowDateTime;
  // Birth time (or mtime) of a file made just now: within a few seconds of the clock.
  EXPECT_GE(created + 20000000ULL, start);
  EXPECT_LE(created, start + 50000000ULL);
  ASSERT_TRUE(GetFileAttributesExW(u"\\Temp\\t", GetFileExInfoStandard, &data));
  EXPECT_EQ(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
}
