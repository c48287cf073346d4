// The TagRecord, its file names and the .dat / .jpg formats, with save and load as the way in and
// out; truncated .dat files keep the fields that end within them.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "StoreFixture.h"
#include "store/TagRecord.h"

using store_test::Dup;
using store_test::Fill;
using store_test::Narrow;
using store_test::StoreTest;
using store_test::Wide;

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

TEST(TagRecord, ConstructionLeavesEveryTextAbsentAndNoPicture) {
  TagRecord record;
  EXPECT_EQ(record.album, nullptr);
  EXPECT_EQ(record.artist, nullptr);
  EXPECT_EQ(record.trackTitle, nullptr);
  EXPECT_EQ(record.albumArt, nullptr);
  EXPECT_EQ(record.wallpaper, nullptr);
  EXPECT_EQ(record.ringer, nullptr);
  EXPECT_EQ(record.smsMessage, nullptr);
  EXPECT_EQ(record.recommend, nullptr);
  EXPECT_EQ(record.fullSong, nullptr);
  EXPECT_EQ(record.artData, nullptr);
  EXPECT_EQ(record.artSize, 0u);
}

// After release() every text field is absent, and a second release() frees nothing
// (AddressSanitizer would report a double free). artData, artSize, number, fileTime untouched.
TEST(TagRecord, ReleaseMakesEveryTextAbsentAndASecondReleaseFreesNothing) {
  static const BYTE picture[2] = {1, 2};
  TagRecord record;
  record.number = 42;
  Fill(&record, u"a", u"b", u"c", "w", "r", "s", "rec", "f");
  record.artData = picture;
  record.artSize = 2;
  record.fileTime.dwLowDateTime = 7;
  record.fileTime.dwHighDateTime = 9;
  record.release();
  EXPECT_EQ(Describe(record), Describe(TagRecord()));
  record.release();
  EXPECT_EQ(record.album, nullptr);
  EXPECT_EQ(record.artData, picture);
  EXPECT_EQ(record.artSize, 2u);
  EXPECT_EQ(record.number, 42);
  EXPECT_EQ(record.fileTime.dwLowDateTime, 7u);
  EXPECT_EQ(record.fileTime.dwHighDateTime, 9u);
}

TEST(TagRecord, PathsNameTheFilesAfterTheNumberInBothForms) {
  TagRecord record;
  record.number = 7;
  char* dat = record.datPath();
  char* jpg = record.jpgPath();
  WCHAR* datW = record.datPathW();
  WCHAR* jpgW = record.jpgPathW();
  EXPECT_STREQ(dat, "\\Application Data\\Melodex\\7.dat");
  EXPECT_STREQ(jpg, "\\Application Data\\Melodex\\7.jpg");
  EXPECT_EQ(Wide(datW), u"\\Application Data\\Melodex\\7.dat");
  EXPECT_EQ(Wide(jpgW), u"\\Application Data\\Melodex\\7.jpg");
  free(dat);
  free(jpg);
  free(datW);
  free(jpgW);
  record.number = 123456;
  dat = record.datPath();
  EXPECT_STREQ(dat, "\\Application Data\\Melodex\\123456.dat");
  free(dat);
}

// All eight stored fields empty give an 11-byte file of zero bytes, which loads back
// as eight empty strings (present), albumArt absent, no picture.
TEST_F(StoreTest, AnAllEmptyRecordIsElevenZeroBytesAndLoadsBackEmpty) {
  TagRecord record;
  record.number = 3;
  Fill(&record, u"", u"", u"", "", "", "", "", "");
  record.save();
  EXPECT_EQ(readFile("3.dat"), std::string(11, '\0'));
  EXPECT_FALSE(exists("3.jpg"));

  TagRecord loaded;
  ASSERT_TRUE(loaded.load(u"3.dat"));
  EXPECT_EQ(loaded.number, 3);
  EXPECT_EQ(Wide(loaded.album), u"");
  EXPECT_EQ(Wide(loaded.artist), u"");
  EXPECT_EQ(Wide(loaded.trackTitle), u"");
  EXPECT_EQ(Narrow(loaded.wallpaper), "");
  EXPECT_EQ(Narrow(loaded.ringer), "");
  EXPECT_EQ(Narrow(loaded.smsMessage), "");
  EXPECT_EQ(Narrow(loaded.recommend), "");
  EXPECT_EQ(Narrow(loaded.fullSong), "");
  EXPECT_EQ(loaded.albumArt, nullptr);
  EXPECT_EQ(loaded.artData, nullptr);
  EXPECT_EQ(loaded.artSize, 0u);
}

// Album Ab, artist C, title empty, wallpaper w, the rest empty: 18 bytes.
TEST_F(StoreTest, TheDatFileHoldsUtf16ThenByteStringsEachWithItsTerminator) {
  TagRecord record;
  record.number = 1;
  Fill(&record, u"Ab", u"C", u"", "w", "", "", "", "");
  record.save();
  static const unsigned char expected[18] = {0x41, 0x00, 0x62, 0x00, 0x00, 0x00, 0x43, 0x00, 0x00,
                                             0x00, 0x00, 0x00, 0x77, 0x00, 0x00, 0x00, 0x00, 0x00};
  EXPECT_EQ(readFile("1.dat"), std::string(reinterpret_cast<const char*>(expected), sizeof expected));
}

// Size = 2 x (units + 3) + (bytes + 5), and every field in place, albumArt not stored.
TEST_F(StoreTest, AFullRecordRoundTripsAndAlbumArtIsNotStored) {
  TagRecord record;
  record.number = 12;
  Fill(&record, u"Album", u"Artist", u"Title", "http://w", "http://r", "Listen!", "http://rec", "http://full");
  free(record.albumArt);
  record.albumArt = Dup("http://art/1.jpg");
  record.save();
  EXPECT_EQ(readFile("12.dat").size(), 2u * (5 + 6 + 5 + 3) + (8 + 8 + 7 + 10 + 11 + 5));

  TagRecord loaded;
  ASSERT_TRUE(loaded.load(u"12.dat"));
  EXPECT_EQ(loaded.number, 12);
  free(record.albumArt);
  record.albumArt = nullptr;
  EXPECT_EQ(Describe(loaded), Describe(record));
}

// Non-ASCII texts come back unchanged: UTF-16 as UTF-16LE (a surrogate pair
// included), 8-bit byte for byte (Windows-1252 bytes, and bytes it leaves undefined).
TEST_F(StoreTest, NonAsciiTextsAreStoredAndLoadedUnchanged) {
  const std::u16string album = u"Mot\u00f6rhead \u266a \u65e5\u672c \U0001F3B5";
  TagRecord record;
  record.number = 5;
  Fill(&record, album, u"Bj\u00f6rk", u"\u0416", "caf\xe9", "\x80\x81\xff", "na\xefve", "x", "\x9d");
  record.save();
  std::string bytes = readFile("5.dat");
  // The album's first units as UTF-16LE: 'M' 00, and U+00F6 as F6 00.
  EXPECT_EQ(bytes.substr(0, 2), std::string("M\0", 2));
  EXPECT_EQ(bytes.substr(6, 2), std::string("\xf6\0", 2));
  TagRecord loaded;
  ASSERT_TRUE(loaded.load(u"5.dat"));
  EXPECT_EQ(Describe(loaded), Describe(record).replace(Describe(record).find("|null|"), 6, "|(absent)|"));
}

// A null artData leaves no .jpg; non-null with artSize 0 leaves an empty one.
TEST_F(StoreTest, NoPictureLeavesNoJpgAndAnEmptyPictureLeavesAnEmptyJpg) {
  TagRecord none;
  none.number = 1;
  Fill(&none, u"", u"", u"", "", "", "", "", "");
  none.save();
  EXPECT_TRUE(exists("1.dat"));
  EXPECT_FALSE(exists("1.jpg"));

  static const BYTE buffer[4] = {9, 9, 9, 9};
  TagRecord empty;
  empty.number = 2;
  Fill(&empty, u"", u"", u"", "", "", "", "", "");
  empty.artData = buffer;
  empty.artSize = 0;
  empty.save();
  EXPECT_TRUE(exists("2.jpg"));
  EXPECT_EQ(readFile("2.jpg"), "");
}

TEST_F(StoreTest, ThePictureIsWrittenWholeAndUnchanged) {
  std::string picture(100000, '\0');
  for (size_t i = 0; i < picture.size(); i++) picture[i] = static_cast<char>(i * 31);
  TagRecord record;
  record.number = 4;
  Fill(&record, u"", u"", u"", "", "", "", "", "");
  record.artData = reinterpret_cast<const BYTE*>(picture.data());
  record.artSize = static_cast<DWORD>(picture.size());
  record.save();
  EXPECT_EQ(readFile("4.jpg"), picture);
}

// Record number 0 is stored as 0.dat and 0.jpg.
TEST_F(StoreTest, RecordZeroIsStoredAs0DatAnd0Jpg) {
  saveNumbered(0);
  EXPECT_EQ(names(), (std::vector<std::string>{"0.dat", "0.jpg"}));
  TagRecord loaded;
  ASSERT_TRUE(loaded.load(u"0.dat"));
  EXPECT_EQ(loaded.number, 0);
  EXPECT_EQ(Narrow(loaded.fullSong), "full");
}

// Load releases the texts the record held (LeakSanitizer checks the frees), including albumArt,
// which a loaded record never has.
TEST_F(StoreTest, LoadReplacesTheTextsTheRecordHeld) {
  saveNumbered(8);
  TagRecord record;
  Fill(&record, u"old", u"old", u"old", "old", "old", "old", "old", "old");
  ASSERT_TRUE(record.load(u"8.dat"));
  EXPECT_EQ(Wide(record.album), u"A");
  EXPECT_EQ(record.albumArt, nullptr);
}

// fileTime is the .dat file's creation time as the platform reports it.
TEST_F(StoreTest, LoadSetsFileTimeToTheCreationTime) {
  saveNumbered(9);
  WIN32_FILE_ATTRIBUTE_DATA attributes;
  ASSERT_TRUE(GetFileAttributesExW(u"\\Application Data\\Melodex\\9.dat", GetFileExInfoStandard, &attributes));
  TagRecord loaded;
  ASSERT_TRUE(loaded.load(u"9.dat"));
  EXPECT_EQ(loaded.fileTime.dwLowDateTime, attributes.ftCreationTime.dwLowDateTime);
  EXPECT_EQ(loaded.fileTime.dwHighDateTime, attributes.ftCreationTime.dwHighDateTime);
  EXPECT_NE(loaded.fileTime.dwHighDateTime, 0u);
}

// The listing's name may differ in case from the stored one (case-insensitive file system).
TEST_F(StoreTest, LoadTakesTheNameAsTheListingGivesIt) {
  saveNumbered(6);
  TagRecord loaded;
  EXPECT_TRUE(loaded.load(u"6.DAT"));
  EXPECT_EQ(loaded.number, 6);
}

// Bytes after the eighth string are ignored; no terminator check is made.
TEST_F(StoreTest, BytesAfterTheEighthStringAreIgnored) {
  writeFile("2.dat", std::string("a\0\0\0" "\0\0" "\0\0" "w\0r\0s\0c\0f\0" "trailing", 26));
  TagRecord loaded;
  ASSERT_TRUE(loaded.load(u"2.dat"));
  EXPECT_EQ(Wide(loaded.album), u"a");
  EXPECT_EQ(Narrow(loaded.fullSong), "f");
}

// A .dat file cut anywhere. For every length of the full file, the fields whose
// terminator lies within the bytes present are read and every later field is empty; nothing
// past the bytes read is touched (AddressSanitizer: the buffer is exactly what was read, and a
// cut in the middle of a UTF-16 unit is included).
TEST_F(StoreTest, ATruncatedDatFileGivesTheFieldsThatEndAndEmptyForTheRest) {
  TagRecord full;
  full.number = 1;
  Fill(&full, u"Ab", u"C", u"De", "w", "rr", "", "rec", "fs");
  full.save();
  const std::string bytes = readFile("1.dat");
  // Where each field's terminator ends, in order.
  const size_t ends[8] = {6, 10, 16, 18, 21, 22, 26, 29};
  ASSERT_EQ(bytes.size(), 29u);
  for (size_t length = 0; length <= bytes.size(); length++) {
    SCOPED_TRACE(length);
    writeFile("3.dat", bytes.substr(0, length));
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

// A field that runs on without a terminator empties itself and all later fields, even when
// the bytes after it would look like strings.
TEST_F(StoreTest, AnUnterminatedUtf16FieldEmptiesEveryLaterField) {
  writeFile("4.dat", std::string("A\0B\0C", 5));  // odd length: the last unit is cut
  TagRecord loaded;
  ASSERT_TRUE(loaded.load(u"4.dat"));
  EXPECT_EQ(Wide(loaded.album), u"");
  EXPECT_EQ(Narrow(loaded.fullSong), "");
  EXPECT_EQ(loaded.number, 4);
}

// Writers put no limit on the size, a reader takes the first 4096 bytes; the fields ending within
// them are read, the rest are empty.
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

// Every record the reply parser fills has the eight stored fields present; an absent one (outside
// that contract) is written as empty so the later fields keep their places.
TEST_F(StoreTest, AnAbsentStoredFieldIsWrittenAsEmpty) {
  TagRecord record;
  record.number = 11;
  record.artist = Dup(u"C");
  record.fullSong = Dup("f");
  record.save();
  EXPECT_EQ(readFile("11.dat"), std::string("\0\0C\0\0\0\0\0\0\0\0\0f\0", 14));
}
