// Conformance tests of the wide C run-time (strings, wsprintfW, swscanf) with the formats the
// program uses.
#include <gtest/gtest.h>

#include <string>

#include "windows.h"

static std::u16string S(const WCHAR* s) { return std::u16string(s); }

TEST(WideString, test_wcs_functions) {
  WCHAR buffer[32];
  EXPECT_EQ(wcslen(u"Melodex"), 7u);
  wcscpy(buffer, u"+1");
  wcscat(buffer, u"555");
  EXPECT_EQ(S(buffer), u"+1555");
  EXPECT_EQ(wcscmp(buffer, u"+1555"), 0);
  EXPECT_LT(wcscmp(u"a", u"b"), 0);
  EXPECT_EQ(_wcsicmp(u"Application DATA", u"application data"), 0);
  EXPECT_EQ(_wcsicmp(u"\u00C9T\u00C9", u"\u00E9t\u00E9"), 0);
  EXPECT_EQ(wcschr(buffer, u'5'), buffer + 2);
  EXPECT_EQ(wcsstr(buffer, u"55"), buffer + 2);
  EXPECT_EQ(wcsrchr(buffer, u'5'), buffer + 4);
  WCHAR fixed[4] = {u'x', u'x', u'x', u'x'};
  wcsncpy(fixed, u"ab", 4);  // pads with zeros
  EXPECT_EQ(fixed[2], 0);
  EXPECT_EQ(fixed[3], 0);
  EXPECT_EQ(_wtoi(u"  -42abc"), -42);
  EXPECT_EQ(towlower(u'\u0178'), u'\u00FF');
}

TEST(WideString, test_wsprintfW_formats_of_the_program) {
  WCHAR out[1100];
  EXPECT_EQ(wsprintfW(out, u"%d", 5183), 4);  // the default owner identifier
  EXPECT_EQ(S(out), u"5183");
  EXPECT_EQ(wsprintfW(out, u"%s\\%d.dat", u"\\Application Data\\Melodex", 7), 31);
  EXPECT_EQ(S(out), u"\\Application Data\\Melodex\\7.dat");
  wsprintfW(out, u"%s\\%u.jpg", u"\\Application Data\\Melodex", 12u);
  EXPECT_EQ(S(out), u"\\Application Data\\Melodex\\12.jpg");
  wsprintfW(out, u"%s\\%s", u"\\Application Data\\Melodex", u"7.dat");
  EXPECT_EQ(S(out), u"\\Application Data\\Melodex\\7.dat");
  wsprintfW(out, u"%d/%d", 12, 5);  // the history screen's date column
  EXPECT_EQ(S(out), u"12/5");
  wsprintfW(out, u"%s - %s", u"Artist", u"Title");
  EXPECT_EQ(S(out), u"Artist - Title");
  wsprintfW(out, u"%s version %s\r\nWindowsMobile", u"Melodex", u"1.2.0");  // the about text
  EXPECT_EQ(S(out), u"Melodex version 1.2.0\r\nWindowsMobile");
}

TEST(WideString, test_wsprintfW_conversions) {
  WCHAR out[1100];
  wsprintfW(out, u"%S|%c|%ld|%lu|%x|%X|%5d|%-5d|%05d|%.3s|%#x", "narrow", u'W', -7L, 4000000000UL,
            255u, 255u, 42, 42, 42, u"abcdef", 255u);
  EXPECT_EQ(S(out), u"narrow|W|-7|4000000000|ff|FF|   42|42   |00042|abc|0xff");
  wsprintfW(out, u"%s", static_cast<const WCHAR*>(nullptr));
  EXPECT_EQ(S(out), u"(null)");
  wsprintfW(out, u"100%%");
  EXPECT_EQ(S(out), u"100%");
}

// Windows writes at most 1024 units, terminator included.
TEST(WideString, test_wsprintfW_stops_at_1024_units) {
  std::u16string longText(2000, u'a');
  std::u16string out(2000, u'#');
  EXPECT_EQ(wsprintfW(out.data(), u"%s", longText.c_str()), 1023);
  EXPECT_EQ(out[1023], 0);
  EXPECT_EQ(out[1024], u'#');
}

TEST(WideString, test_wsprintfA_url_format) {
  char out[512];
  wsprintfA(out, "%s?id=%d&ownerIdentifier=%s", "http://localhost:8470/servlet/ZorbelId", 1003, "5183");
  EXPECT_STREQ(out, "http://localhost:8470/servlet/ZorbelId?id=1003&ownerIdentifier=5183");
}

// numberFromFileName reads "%d" at the start of the name.
TEST(WideString, test_swscanf_d_on_file_names) {
  int n = -1;
  EXPECT_EQ(swscanf(u"12.dat", u"%d", &n), 1);
  EXPECT_EQ(n, 12);
  EXPECT_EQ(swscanf(u"007.dat", u"%d", &n), 1);
  EXPECT_EQ(n, 7);
  EXPECT_EQ(swscanf(u"12abc.dat", u"%d", &n), 1);
  EXPECT_EQ(n, 12);
  n = -1;
  EXPECT_EQ(swscanf(u"notes.dat", u"%d", &n), 0);
  EXPECT_EQ(n, -1);
  EXPECT_EQ(swscanf(u"  -3.dat", u"%d", &n), 1);
  EXPECT_EQ(n, -3);
  EXPECT_EQ(swscanf(u"", u"%d", &n), EOF);
}

TEST(WideString, test_swscanf_other_conversions) {
  unsigned u = 0, x = 0;
  WCHAR word[16], stem[16];
  int consumed = 0;
  EXPECT_EQ(swscanf(u"42 ff name 7.dat", u"%u %x %s %[^.]%n", &u, &x, word, stem, &consumed), 4);
  EXPECT_EQ(u, 42u);
  EXPECT_EQ(x, 0xFFu);
  EXPECT_EQ(S(word), u"name");
  EXPECT_EQ(S(stem), u"7");
  EXPECT_EQ(consumed, 12);
  char narrow[8];
  EXPECT_EQ(swscanf(u"abc", u"%S", narrow), 1);
  EXPECT_STREQ(narrow, "abc");
}
