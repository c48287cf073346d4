// The .dat format, with save and load as the way in and out; truncated and overlong .dat files.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "StoreFixture.h"
#include "store/TagRecord.h"

using namespace store_test;

namespace {

// Every text field of a record, for one comparison.
std::string Describe(const TagRecord& r) {
  std::u16string wide = Wide(r.album) + u"|" + Wide(r.artist) + u"|" + Wide(r.trackTitle);
  std::string out(wide.size() * 2, '\0');
  memcpy(&out[0], wide.data(), wide.size() * 2);
  return out + "|" + Narrow(r.albumArt) + "|" + Narrow(r.wallpaper) + "|" + Narrow(r.ringer) + "|" +
         Narrow(r.smsMessage) + "|" + Narrow(r.recommend) + "|" + Narrow(r.fullSong);
}

}  // namespace

// The .dat file: three UTF-16LE strings, then five 8-bit ones, each with its terminator; an
// absent field (outside the parser's contract) is written empty so the later ones keep their
// places; albumArt is not stored.
TEST_F(StoreTest, TheDatFileHoldsEightTerminatedStrings) {
  const struct {
    const char16_t *album, *artist, *title;
    const char *wallpaper, *fullSong;
    std::string bytes;
  } cases[] = {
      {u"", u"", u"", "", "", std::string(11, '\0')},
      {u"Ab", u"C", u"", "w", "", std::string("A\0b\0\0\0C\0\0\0\0\0w\0\0\0\0\0", 18)},
      {nullptr, u"C", nullptr, nullptr, "f", std::string("\0\0C\0\0\0\0\0\0\0\0\0f\0", 14)},
  };
  LONG number = 1;
  for (const auto& c : cases) {
    TagRecord record;
    record.number = number;
    auto dup = [](const char* text) { return text == nullptr ? nullptr : strdup(text); };
    record.album = c.album ? Dup(std::u16string(c.album)) : nullptr;
    record.artist = c.artist ? Dup(std::u16string(c.artist)) : nullptr;
    record.trackTitle = c.title ? Dup(std::u16string(c.title)) : nullptr;
    record.albumArt = strdup("http://art/1.jpg");
    record.wallpaper = dup(c.wallpaper);
    record.fullSong = dup(c.fullSong);
    if (c.album != nullptr) record.ringer = strdup(""), record.smsMessage = strdup(""), record.recommend = strdup("");
    record.save();
    EXPECT_EQ(readFile(std::to_string(number++) + ".dat"), c.bytes) << number - 1;
  }
}

// Texts come back as they were saved: empty ones present and empty, UTF-16 as UTF-16LE (a
// surrogate pair included), 8-bit byte for byte (Windows-1252 bytes and bytes it leaves
// undefined); albumArt absent; number 0 is a number like any other.
TEST_F(StoreTest, TextsRoundTripThroughTheDatFile) {
  TagRecord records[3];
  Fill(&records[0], u"", u"", u"", "", "", "", "", "");
  Fill(&records[1], u"Album", u"Artist", u"Title", "http://w", "http://r", "Listen!", "http://rec", "http://full");
  Fill(&records[2], u"Mot\u00f6rhead \u266a \u65e5\u672c \U0001F3B5", u"Bj\u00f6rk", u"\u0416", "caf\xe9",
       "\x80\x81\xff", "na\xefve", "x", "\x9d");
  for (LONG n = 0; n < 3; n++) {
    records[n].number = n;
    records[n].save();
    free(records[n].albumArt);
    records[n].albumArt = nullptr;
    TagRecord loaded;
    Fill(&loaded, u"old", u"old", u"old", "old", "old", "old", "old", "old");  // freed by load
    const char16_t name[] = {static_cast<char16_t>(u'0' + n), u'.', u'd', u'a', u't', 0};
    ASSERT_TRUE(loaded.load(name));
    EXPECT_EQ(loaded.number, n);
    EXPECT_EQ(Describe(loaded), Describe(records[n])) << n;
    EXPECT_EQ(loaded.artData, nullptr);
  }
  EXPECT_EQ(readFile("2.dat").substr(0, 8), std::string("M\0o\0t\0\xf6\0", 8));
}

// A .dat file cut anywhere, or with bytes after its eighth string: the fields whose terminator
// lies within the bytes present are read and every later field is empty; nothing past the bytes
// read is touched (AddressSanitizer: the buffer is exactly what was read, and a cut in the middle
// of a UTF-16 unit is included).
TEST_F(StoreTest, ATruncatedDatFileGivesTheFieldsThatEndAndEmptyForTheRest) {
  TagRecord full;
  full.number = 1;
  Fill(&full, u"Ab", u"C", u"De", "w", "rr", "", "rec", "fs");
  full.save();
  const std::string bytes = readFile("1.dat");
  // Where each field's terminator ends, in order.
  const size_t ends[8] = {6, 10, 16, 18, 21, 22, 26, 29};
  ASSERT_EQ(bytes.size(), 29u);
  for (size_t length = 0; length <= bytes.size() + 1; length++) {
    SCOPED_TRACE(length);
    writeFile("3.dat", length <= bytes.size() ? bytes.substr(0, length) : bytes + "trailing");
    TagRecord loaded;
    ASSERT_TRUE(loaded.load(u"3.dat"));
    int complete = 0;
    while (complete < 8 && ends[complete] <= length) complete++;
    EXPECT_EQ(Wide(loaded.album), complete > 0 ? u"Ab" : u"");
    EXPECT_EQ(Wide(loaded.artist), complete > 1 ? u"C" : u"");
    EXPECT_EQ(Wide(loaded.trackTitle), complete > 2 ? u"De" : u"");
    EXPECT_EQ(Narrow(loaded.wallpaper), complete > 3 ? "w" : "");
    EXPECT_EQ(Narrow(loaded.ringer), complete > 4 ? "rr" : "");
    EXPECT_EQ(Narrow(loaded.smsMessage), "");
    EXPECT_EQ(Narrow(loaded.recommend), complete > 6 ? "rec" : "");
    EXPECT_EQ(Narrow(loaded.fullSong), complete > 7 ? "fs" : "");
  }
}

// Writers put no limit on the size, a reader takes the first 4096 bytes; the fields ending
// within them are read, the rest are empty.
TEST_F(StoreTest, ARecordLongerThan4096BytesIsStoredWholeAndLoadedToTheLimit) {
  std::u16string longAlbum(1000, u'x');   // 2002 bytes with its terminator
  std::u16string longArtist(1000, u'y');  // ends at 4004
  std::string longRinger(200, 'r');       // wallpaper "w" ends at 4008+2=..., ringer beyond 4096
  TagRecord record;
  record.number = 10;
  Fill(&record, longAlbum, longArtist, u"t", "w", longRinger.c_str(), "s", "c", "f");
  record.save();
  EXPECT_EQ(readFile("10.dat").size(), 2u * (1000 + 1000 + 1 + 3) + (1 + 200 + 1 + 1 + 1 + 5));

  TagRecord loaded;
  ASSERT_TRUE(loaded.load(u"10.dat"));
  EXPECT_EQ(Wide(loaded.album), longAlbum);
  EXPECT_EQ(Wide(loaded.artist), longArtist);
  EXPECT_EQ(Wide(loaded.trackTitle), u"t");
  EXPECT_EQ(Narrow(loaded.wallpaper), "w");
  EXPECT_EQ(Narrow(loaded.ringer), "");  // would end at byte 4211, beyond the 4096 read
  EXPECT_EQ(Narrow(loaded.smsMessage), "");
  EXPECT_EQ(Narrow(loaded.fullSong), "");
}

