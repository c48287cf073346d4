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

TEST(FindTag, FindsTheOffsetOfTheTag) {
  EXPECT_EQ(Find("<ARTIST>", "<ARTIST>Abc</ARTIST>"), 0);
  EXPECT_EQ(Find("</ARTIST>", "<ARTIST>Abc</ARTIST>"), 11);
  EXPECT_EQ(Find("<ALBUM>", "junk <ALBUM>x</ALBUM>"), 5);
}

TEST(FindTag, AlbumDoesNotMatchAlbumArt) {
  std::string text = "<ALBUM_ART>http://a/b.jpg</ALBUM_ART>";
  EXPECT_EQ(Find("<ALBUM>", text), -1);
  EXPECT_EQ(Find("</ALBUM>", text), -1);
  EXPECT_EQ(Find("<ALBUM_ART>", text), 0);
  std::string both = text + "<ALBUM>Best of</ALBUM>";
  EXPECT_EQ(Find("<ALBUM>", both), static_cast<int>(text.size()));
  EXPECT_EQ(Find("</ALBUM>", both), static_cast<int>(text.size() + 14));
}

TEST(FindTag, OnlyTheFirstOccurrenceCounts) {
  std::string text = "<RINGER>one</RINGER><RINGER>two</RINGER>";
  EXPECT_EQ(Find("<RINGER>", text), 0);
  EXPECT_EQ(Find("</RINGER>", text), 11);
}

TEST(FindTag, NotFoundIsMinusOne) {
  EXPECT_EQ(Find("<FULL_SONG>", "<ARTIST>Abc</ARTIST>"), -1);
  EXPECT_EQ(Find("<ARTIST>", ""), -1);
  EXPECT_EQ(Find("<ARTIST>", "<ARTIST"), -1);  // a tag cut short
  EXPECT_EQ(findTag(nullptr, "x", 1), -1);
  EXPECT_EQ(findTag("<A>", nullptr, 0), -1);
}

TEST(FindTag, TheTagTextEndsAtItsZeroByte) {
  std::string text("<ALBUM>a</ALBUM>\0<ARTIST>b</ARTIST>", 35);
  EXPECT_EQ(Find("<ALBUM>", text), 0);
  EXPECT_EQ(Find("<ARTIST>", text), -1);
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
