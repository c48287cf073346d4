// findTag: the first occurrence of a tag in the tag text, or -1, never beyond the received bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/Identification.h"

namespace {

// <ALBUM> is not <ALBUM_ART>, a tag cut short is not found, the tag text ends at its zero byte,
// and a tag reaching past the received count is not there. Each text sits alone in a block of
// exactly its received bytes (no zero after it), so a read beyond them is caught by
// AddressSanitizer.
TEST(FindTag, FindsTheFirstOccurrenceWithinTheReceivedTagText) {
  const std::string art = "<ALBUM_ART>http://a/b.jpg</ALBUM_ART>";
  const std::string cut("<ALBUM>a</ALBUM>\0<ARTIST>b</ARTIST>", 35);
  const struct {
    const char* tag;
    std::string text;
    int at;
  } cases[] = {
      {"<ARTIST>", "<ARTIST>Abc</ARTIST>", 0},
      {"</ARTIST>", "<ARTIST>Abc</ARTIST>", 11},
      {"</ARTIST>", "<ARTIST>Abc</ARTIST", -1},
      {"<ALBUM>", "junk <ALBUM>x</ALBUM>", 5},
      {"<ALBUM>", art, -1},
      {"</ALBUM>", art, -1},
      {"<ALBUM_ART>", art, 0},
      {"<ALBUM>", art + "<ALBUM>Best of</ALBUM>", static_cast<int>(art.size())},
      {"<RINGER>", "<RINGER>one</RINGER><RINGER>two</RINGER>", 0},
      {"</RINGER>", "<RINGER>one</RINGER><RINGER>two</RINGER>", 11},
      {"<FULL_SONG>", "<ARTIST>Abc</ARTIST>", -1},
      {"<ARTIST>", "", -1},
      {"<ARTIST>", "<ARTIST", -1},
      {"<ARTIST>", "xx<ARTIST>", 2},
      {"<ALBUM>", cut, 0},
      {"<ARTIST>", cut, -1},
  };
  for (const auto& c : cases) {
    std::vector<char> received(c.text.begin(), c.text.end());
    EXPECT_EQ(findTag(c.tag, received.data(), static_cast<DWORD>(received.size())), c.at) << c.tag << " in " << c.text;
  }
  EXPECT_EQ(findTag(nullptr, "x", 1), -1);
  EXPECT_EQ(findTag("<A>", nullptr, 0), -1);
}

}  // namespace
