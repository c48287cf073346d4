// findTag: the first occurrence of a tag in the tag text, or -1, never beyond the
// received bytes.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "net/Identification.h"

namespace {

int Find(const char* needle, const std::string& text) {
  return findTag(needle, text.data(), static_cast<DWORD>(text.size()));
}

// The offset of the first occurrence in the tag text, or -1: <ALBUM> is not <ALBUM_ART>, a tag
// cut short is not found, and the tag text ends at its zero byte.
TEST(FindTag, FindsTheFirstOccurrenceInTheTagText) {
  const std::string art = "<ALBUM_ART>http://a/b.jpg</ALBUM_ART>";
  const struct {
    const char* tag;
    std::string text;
    int at;
  } cases[] = {
      {"<ARTIST>", "<ARTIST>Abc</ARTIST>", 0},
      {"</ARTIST>", "<ARTIST>Abc</ARTIST>", 11},
      {"<ALBUM>", "junk <ALBUM>x</ALBUM>", 5},
      {"<ALBUM>", art, -1},
      {"</ALBUM>", art, -1},
      {"<ALBUM_ART>", art, 0},
      {"<ALBUM>", art + "<ALBUM>Best of</ALBUM>", static_cast<int>(art.size())},
      {"</ALBUM>", art + "<ALBUM>Best of</ALBUM>", static_cast<int>(art.size() + 14)},
      {"<RINGER>", "<RINGER>one</RINGER><RINGER>two</RINGER>", 0},
      {"</RINGER>", "<RINGER>one</RINGER><RINGER>two</RINGER>", 11},
      {"<FULL_SONG>", "<ARTIST>Abc</ARTIST>", -1},
      {"<ARTIST>", "", -1},
      {"<ARTIST>", "<ARTIST", -1},
      {"<ALBUM>", std::string("<ALBUM>a</ALBUM>\0<ARTIST>b</ARTIST>", 35), 0},
      {"<ARTIST>", std::string("<ALBUM>a</ALBUM>\0<ARTIST>b</ARTIST>", 35), -1},
  };
  for (const auto& c : cases) EXPECT_EQ(Find(c.tag, c.text), c.at) << c.tag << " in " << c.text;
  EXPECT_EQ(findTag(nullptr, "x", 1), -1);
  EXPECT_EQ(findTag("<A>", nullptr, 0), -1);
}

// A reply without a terminating zero (the transport adds none): the search stops at the received
// bytes. The text sits at the very end of a heap block, so a read past it would be caught by
// AddressSanitizer; the bytes after the count in a larger block are never matched either.
TEST(FindTag, NeverSearchesBeyondTheReceivedBytes) {
  const char tag[] = "xx<ARTIST>Abc</ARTIST>";
  const size_t n = strlen(tag);
  std::vector<char> exact(tag, tag + n);  // no zero anywhere
  EXPECT_EQ(findTag("<ARTIST>", exact.data(), static_cast<DWORD>(n)), 2);
  EXPECT_EQ(findTag("</ARTIST>", exact.data(), static_cast<DWORD>(n)), 13);
  EXPECT_EQ(findTag("<ALBUM>", exact.data(), static_cast<DWORD>(n)), -1);
  // The closing tag lies past the received count: not found.
  EXPECT_EQ(findTag("</ARTIST>", exact.data(), static_cast<DWORD>(n - 1)), -1);
  EXPECT_EQ(findTag("<ARTIST>", exact.data(), 9), -1);
  EXPECT_EQ(findTag("<ARTIST>", exact.data(), 10), 2);
  EXPECT_EQ(findTag("<ARTIST>", exact.data(), 0), -1);
}

}  // namespace
