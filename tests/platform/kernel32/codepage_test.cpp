// Conformance tests of the 8-bit code page (Windows-1252). Empty texts are tested through the
// client's ToWideString and ToNarrowString.
#include <gtest/gtest.h>

#include <cstring>

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
  EXPECT_EQ(wide[0x80 - 1], 0x20AC);  // euro sign
  EXPECT_EQ(wide[0x81 - 1], 0x0081);
  EXPECT_EQ(wide[0x8D - 1], 0x008D);
  EXPECT_EQ(wide[0x8F - 1], 0x008F);
  EXPECT_EQ(wide[0x90 - 1], 0x0090);
  EXPECT_EQ(wide[0x9D - 1], 0x009D);
  EXPECT_EQ(wide[0x9F - 1], 0x0178);
  EXPECT_EQ(wide[0xE9 - 1], 0x00E9);
}

// A unit with no byte in Windows-1252 fails the conversion, as Microsoft's C run-time does: the
// bytes before it are written and the result is (size_t)-1, also when only measuring.
TEST(CodePage, WcstombsFailsOnAUnitWithNoByte) {
  struct Case {
    const char16_t* text;
    const char* written;  // what precedes the failure (cut there by a terminator)
  } cases[] = {{u"a\u0100b", "a"}, {u"\u4E2D", ""}, {u"\u20AC\u2122\u3042", "\x80\x99"}};
  for (const Case& c : cases) {
    char out[8];
    memset(out, '#', sizeof out);
    EXPECT_EQ(wcstombs(out, c.text, sizeof out), static_cast<size_t>(-1));
    EXPECT_STREQ(out, c.written);
    EXPECT_EQ(wcstombs(static_cast<char*>(nullptr), c.text, 0), static_cast<size_t>(-1));
  }
}

TEST(CodePage, test_mbstowcs_null_destination_gives_length) {
  EXPECT_EQ(mbstowcs(static_cast<WCHAR*>(nullptr), "abc", 0), 3u);
  EXPECT_EQ(wcstombs(static_cast<char*>(nullptr), u"abcd", 0), 4u);
}

// The client's ToWideString converts strlen + 1 units: the terminator is written, not counted.
TEST(CodePage, test_mbstowcs_stops_after_terminator) {
  WCHAR wide[8];
  for (auto& w : wide) w = u'#';
  EXPECT_EQ(mbstowcs(wide, "ab", 3), 2u);
  EXPECT_EQ(wide[2], 0);
  EXPECT_EQ(wide[3], u'#');
}
