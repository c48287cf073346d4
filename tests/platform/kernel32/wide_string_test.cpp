// wsprintfW's output limit; its conversions and the wide C run-time are held against Windows by
// the conformance probe.
#include <gtest/gtest.h>

#include <string>

#include "windows.h"

// At most 1024 units are written, the terminator included, and the units stored are counted.
TEST(WideString, WsprintfWStopsAt1024Units) {
  std::u16string longText(2000, u'a');
  std::u16string out(2000, u'#');
  EXPECT_EQ(wsprintfW(out.data(), u"%s", longText.c_str()), 1023);
  EXPECT_EQ(out[1023], 0);
  EXPECT_EQ(out[1024], u'#');
}
