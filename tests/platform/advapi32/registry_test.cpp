// RegOpenKeyExW / RegQueryValueExW over DIR/registry.reg as written by hand or by regedit. Keys,
// types and buffer sizes are held against Windows by the conformance probe; the owner
// identifier's cases (kept, too long, absent) are tested through the client's LoadSettings.
#include <gtest/gtest.h>

#include <string>

#include "../kernel32/device_root.h"
#include "windows.h"

class Registry : public testing_device::DeviceRootTest {
 protected:
  void WriteRegistry(const std::string& body) {
    WriteHostFile("registry.reg", "Windows Registry Editor Version 5.00\r\n\r\n" + body);
  }
  HKEY OpenMelodex() {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Melodex", 0, 0, &key), ERROR_SUCCESS);
    return key;
  }
};

TEST_F(Registry, AKeyTheFileDoesNotListIsNotFound) {
  HKEY key = reinterpret_cast<HKEY>(0x1);
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Melodex", 0, 0, &key), ERROR_FILE_NOT_FOUND);
  WriteRegistry("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\r\n\"ownerID\"=\"1\"\r\n");
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Melodex", 0, 0, &key), ERROR_FILE_NOT_FOUND);
  // Parents of a listed key exist, as after an import with regedit.
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"software", 0, 0, &key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
}

TEST_F(Registry, ValuesAreReadWithTheirEscapesAndTypes) {
  WriteRegistry(
      "; a comment\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Melodex]\r\n"
      "\"ownerID\"=\"a\\\\b \\\"q\\\" caf\xC3\xA9\"\r\n"
      "\"count\"=dword:0000001f\r\n"
      "@=\"default\"\r\n"
      "\"blob\"=hex:01,02,\\\r\n  03\r\n");
  HKEY key = OpenMelodex();
  WCHAR text[64];
  DWORD size = sizeof text;
  ASSERT_EQ(RegQueryValueExW(key, u"OwnerId", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size), ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(text), u"a\\b \"q\" caf\u00E9");
  DWORD count = 0, type = 0;
  size = sizeof count;
  ASSERT_EQ(RegQueryValueExW(key, u"count", nullptr, &type, reinterpret_cast<BYTE*>(&count), &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(count, 31u);
  size = sizeof text;
  ASSERT_EQ(RegQueryValueExW(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size), ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(text), u"default");
  BYTE blob[8];
  size = sizeof blob;
  ASSERT_EQ(RegQueryValueExW(key, u"blob", nullptr, &type, blob, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(blob[2], 3);
  RegCloseKey(key);
}

// The encodings an editor writes the file in: regedit's UTF-16LE with a byte-order mark, and a
// Windows text editor's code page 1252 (not UTF-8, whose continuation bytes it lacks).
TEST_F(Registry, ReadsTheFileInUtf16AndInCodePage1252) {
  const std::u16string body =
      u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Melodex]\r\n\"ownerID\"=\"caf\u00E9\"\r\n";
  std::string utf16 = "\xFF\xFE", cp1252;
  for (char16_t c : body) {
    utf16.push_back(static_cast<char>(c & 0xFF));
    utf16.push_back(static_cast<char>(c >> 8));
    cp1252.push_back(static_cast<char>(c));
  }
  for (const std::string& bytes : {utf16, cp1252}) {
    WriteHostFile("registry.reg", bytes);
    HKEY key = OpenMelodex();
    WCHAR text[16];
    DWORD size = sizeof text;
    ASSERT_EQ(RegQueryValueExW(key, u"ownerID", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size), ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(text), u"caf\u00E9") << (bytes == utf16 ? "UTF-16LE" : "code page 1252");
    EXPECT_EQ(size, 10u);
    RegCloseKey(key);
  }
}
