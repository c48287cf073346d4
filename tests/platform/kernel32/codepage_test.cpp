// Conformance tests of the 8-bit code page (Windows-1252). Empty texts are tested through the
// client's ToWideString and ToNarrowString.
#include <gtest/gtest.h>

#include <utility>

#include "windows.h"

// Every byte converts to one UTF-16 unit and back to the same byte. The five bytes that
// Windows-1252 leaves undefined map to U+0081, U+008D, U+008F, U+0090, U+009D, as
// MultiByteToWideChar(1252) does on Windows (not to U+FFFD or '?').
TEST(CodePage, test_mbstowcs_wcstombs_round_trip_all_256_bytes) {
  char bytes[256];
  for (int i = 0; i < 255; ++i) bytes[i] = static_cast<char>(i + 1);
  bytes[255] = 0;
  WCHAR wide[257];
  EXPECT_EQ(mbstowcs(wide, bytes, 256), 255u);
  EXPECT_EQ(wide[255], 0);
  char back[257];
  EXPECT_EQ(wcstombs(back, wide, 256), 255u);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(static_cast<unsigned char>(back[i]), static_cast<unsigned char>(bytes[i])) << i;
  const std::pair<int, WCHAR> units[] = {{0x80, 0x20AC}, {0x81, 0x0081}, {0x8D, 0x008D}, {0x8F, 0x008F},
                                         {0x90, 0x0090}, {0x9D, 0x009D}, {0x9F, 0x0178}, {0xE9, 0x00E9}};
  for (auto [byte, unit] : units) EXPECT_EQ(wide[byte - 1], unit) << byte;
}

// The client's ToWideString converts strlen + 1 units: the terminator is written, not counted.
TEST(CodePage, test_mbstowcs_stops_after_terminator) {
  WCHAR wide[8];
  for (auto& w : wide) w = u'#';
  EXPECT_EQ(mbstowcs(wide, "ab", 3), 2u);
  EXPECT_EQ(wide[2], 0);
  EXPECT_EQ(wide[3], u'#');
}
