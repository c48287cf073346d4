// Conformance tests of the wide C run-time (strings, wsprintfW, swscanf). The client's own
// formats (file names, the owner identifier, the request URL) are checked by its tests.
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
