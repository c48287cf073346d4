// Numbering, save with its log lines and trim, load failures, count, deleteOldest,
// deleteFiles, numberFromFileName; the unwritable counter and the trim that cannot progress.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "StoreFixture.h"
#include "store/TagRecord.h"

using store_test::Fill;
using store_test::StoreTest;

namespace {

std::string Le32(uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; i++) s[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}


}  // namespace

// ---- numbering ---------------------------------------------------------------------------

// With no counter file the first three replies get 0, 1, 2; the file then holds 3.
TEST_F(StoreTest, WithoutACounterFileTheNumbersAre012AndTheFileHolds3) {
  EXPECT_FALSE(exists("nexttag.num"));
  EXPECT_EQ(TagRecord::nextTagNumber(), 0u);
  EXPECT_EQ(readFile("nexttag.num"), Le32(1));
  EXPECT_EQ(TagRecord::nextTagNumber(), 1u);
  EXPECT_EQ(TagRecord::nextTagNumber(), 2u);
  EXPECT_EQ(readFile("nexttag.num"), Le32(3));
}

TEST_F(StoreTest, TheCounterIsFourBytesLittleEndian) {
  writeFile("nexttag.num", Le32(0x01020304));
  EXPECT_EQ(TagRecord::nextTagNumber(), 0x01020304u);
  EXPECT_EQ(readFile("nexttag.num"), std::string("\x05\x03\x02\x01", 4));
}

// A missing counter gives 0 even when .dat files exist (the number is raised past the saved ones
// only when the counter cannot be rewritten).
TEST_F(StoreTest, AMissingCounterGivesZeroEvenWithSavedResults) {
  saveNumbered(4);
  EXPECT_EQ(TagRecord::nextTagNumber(), 0u);
  EXPECT_EQ(readFile("nexttag.num"), Le32(1));
}

// A short counter file: the bytes present, the rest zero (what the phone's fread leaves in
// the zero-initialised value); an empty file counts as 0. The file is rewritten whole.
TEST_F(StoreTest, AShortCounterFileGivesTheBytesItHas) {
  writeFile("nexttag.num", std::string("\x05\x01", 2));
  EXPECT_EQ(TagRecord::nextTagNumber(), 0x0105u);
  EXPECT_EQ(readFile("nexttag.num"), Le32(0x0106));
}

TEST_F(StoreTest, AnEmptyCounterFileCountsAsZero) {
  writeFile("nexttag.num", "");
  EXPECT_EQ(TagRecord::nextTagNumber(), 0u);
  EXPECT_EQ(readFile("nexttag.num"), Le32(1));
}

TEST_F(StoreTest, ALongerCounterFileIsReadForItsFirstFourBytes) {
  writeFile("nexttag.num", Le32(9) + "junk");
  EXPECT_EQ(TagRecord::nextTagNumber(), 9u);
  EXPECT_EQ(readFile("nexttag.num"), Le32(10));
}

// A counter that cannot be rewritten (here a folder stands in its place, which no
// fopen can open for writing, even as root) still hands out a number, one more than the
// largest saved, so a save never overwrites a result.
TEST_F(StoreTest, AnUnwritableCounterGivesOneMoreThanTheLargestSavedNumber) {
  std::filesystem::create_directory(hostPath("nexttag.num"));
  EXPECT_EQ(TagRecord::nextTagNumber(), 0u);  // nothing saved: 0
  saveNumbered(3);
  saveNumbered(5);
  writeFile("notes.dat", "");
  EXPECT_EQ(TagRecord::nextTagNumber(), 6u);
  EXPECT_EQ(TagRecord::nextTagNumber(), 6u);  // unused until a result takes it
  saveNumbered(6);
  EXPECT_EQ(TagRecord::nextTagNumber(), 7u);
  EXPECT_TRUE(std::filesystem::is_directory(hostPath("nexttag.num")));
}

// ---- save: log lines and failures -----------------------------------------------------------

// The picture log lines give the count twice, as requested and as written.
TEST_F(StoreTest, SavingAPictureLogsTheRequestedAndTheWrittenCount) {
  saveNumbered(1);
  EXPECT_EQ(log(), "writing album art data file (3 byes)\r\n3 bytes actually written to file\r\n");
}

TEST_F(StoreTest, AnEmptyPictureLogsZeroTwice) {
  static const BYTE buffer[1] = {0};
  TagRecord record;
  record.number = 2;
  Fill(&record, u"", u"", u"", "", "", "", "", "");
  record.artData = buffer;
  record.save();
  EXPECT_EQ(log(), "writing album art data file (0 byes)\r\n0 bytes actually written to file\r\n");
}

TEST_F(StoreTest, SavingWithoutAPictureLogsNothing) {
  saveNumbered(1, false);
  EXPECT_EQ(log(), "");
}

// Failure handling: with no data folder neither file can be created; nothing is logged and
// nothing fails.
TEST_F(StoreTest, WithoutTheDataFolderSaveStoresNothingAndLogsNothing) {
  fclose(g_logFile);
  g_logFile = nullptr;  // the log lives in the same folder
  std::filesystem::remove_all(folder_);
  saveNumbered(1);
  EXPECT_FALSE(std::filesystem::exists(folder_));
  EXPECT_EQ(TagRecord().countSaved(), 0);
}

// Failure handling: the .dat cannot be created (a folder of that name); the picture and its
// log lines still come, and the trim still runs.
TEST_F(StoreTest, ADatFileThatCannotBeCreatedStillLeavesThePictureAndTheTrim) {
  for (int i = 0; i < 10; i++) saveNumbered(i, false);
  std::filesystem::create_directory(hostPath("20.dat"));
  saveNumbered(20);
  EXPECT_TRUE(std::filesystem::is_directory(hostPath("20.dat")));
  EXPECT_EQ(readFile("20.jpg"), "\xFF\xD8\xFF");
  EXPECT_EQ(log(), "writing album art data file (3 byes)\r\n3 bytes actually written to file\r\n");
  EXPECT_FALSE(exists("0.dat"));  // eleven listed entries: the smallest number went
  EXPECT_EQ(TagRecord().countSaved(), 10);
}

// ---- trim --------------------------------------------------------------------------------

// The eleventh save deletes the .dat and .jpg of the smallest number; ten remain.
// The files are made in descending number order, so the smallest number is also the newest by
// creation time: the choice is by number, not by time (deterministic without any delay).
TEST_F(StoreTest, TheEleventhSaveDeletesTheSmallestNumberedPair) {
  for (int i = 10; i >= 1; i--) saveNumbered(i);
  EXPECT_EQ(TagRecord().countSaved(), 10);
  saveNumbered(11);
  std::vector<std::string> expected;
  for (int i = 2; i <= 11; i++) {
    expected.push_back(std::to_string(i) + ".dat");
    expected.push_back(std::to_string(i) + ".jpg");
  }
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(names(), expected);
}

// Twelve .dat files before a save (copied in): oldest pairs go until ten remain.
TEST_F(StoreTest, TwelveDatFilesBeforeASaveAreTrimmedToTen) {
  for (int i = 0; i < 12; i++) {
    writeFile(std::to_string(i) + ".dat", std::string(11, '\0'));
    writeFile(std::to_string(i) + ".jpg", "j");
  }
  saveNumbered(12, false);
  EXPECT_EQ(TagRecord().countSaved(), 10);
  for (int i = 0; i < 3; i++) {
    EXPECT_FALSE(exists(std::to_string(i) + ".dat")) << i;
    EXPECT_FALSE(exists(std::to_string(i) + ".jpg")) << i;
  }
  EXPECT_TRUE(exists("3.dat"));
  EXPECT_TRUE(exists("3.jpg"));
  EXPECT_TRUE(exists("12.dat"));
}

TEST_F(StoreTest, TrimHistoryLeavesTenOrFewerUntouched) {
  for (int i = 0; i < 10; i++) saveNumbered(i);
  TagRecord().trimHistory();
  EXPECT_EQ(TagRecord().countSaved(), 10);
  EXPECT_TRUE(exists("0.dat"));
}

TEST_F(StoreTest, TrimHistoryDeletesDownToTen) {
  for (int i = 0; i < 13; i++) writeFile(std::to_string(i) + ".dat", "");
  TagRecord().trimHistory();
  EXPECT_EQ(TagRecord().countSaved(), 10);
  EXPECT_FALSE(exists("2.dat"));
  EXPECT_TRUE(exists("3.dat"));
}

// A name without a leading number counts but is never chosen.
TEST_F(StoreTest, ANameWithoutANumberCountsButIsNeverDeleted) {
  writeFile("notes.dat", "");
  for (int i = 0; i < 10; i++) writeFile(std::to_string(i) + ".dat", std::string(11, '\0'));
  EXPECT_EQ(TagRecord().countSaved(), 11);
  saveNumbered(10, false);  // 12 listed: two numbered pairs go
  EXPECT_EQ(TagRecord().countSaved(), 10);
  EXPECT_TRUE(exists("notes.dat"));
  EXPECT_FALSE(exists("0.dat"));
  EXPECT_FALSE(exists("1.dat"));
  EXPECT_TRUE(exists("2.dat"));
}

// The trim stops after a deleteOldest that removed nothing: no numbered name ...
TEST_F(StoreTest, ATrimWithNoNumberedNameStops) {
  for (int i = 0; i < 12; i++) writeFile("note" + std::to_string(i) + ".dat", "");
  TagRecord().trimHistory();
  EXPECT_EQ(TagRecord().countSaved(), 12);
}

// ... the oldest .dat cannot be deleted (a folder) ...
TEST_F(StoreTest, ATrimWhoseOldestCannotBeDeletedStops) {
  std::filesystem::create_directory(hostPath("0.dat"));
  for (int i = 1; i <= 11; i++) writeFile(std::to_string(i) + ".dat", "");
  TagRecord().trimHistory();
  EXPECT_EQ(TagRecord().countSaved(), 12);
}

// ... or the name that gave the number is not the name deleted ("007.dat" gives 7, and 7.dat
// does not exist): deleteOldest deletes the files named after the number, whatever name gave it.
TEST_F(StoreTest, ATrimWhoseOldestIsNamedWithLeadingZerosStops) {
  writeFile("007.dat", "");
  writeFile("7.jpg", "j");
  for (int i = 8; i <= 17; i++) writeFile(std::to_string(i) + ".dat", "");
  TagRecord().trimHistory();
  EXPECT_EQ(TagRecord().countSaved(), 11);
  EXPECT_TRUE(exists("007.dat"));
  EXPECT_FALSE(exists("7.jpg"));  // deleted by name, its result ignored
}

// ---- deleteOldest ------------------------------------------------------------------------

TEST_F(StoreTest, DeleteOldestInAnEmptyFolderDoesNothing) {
  writeFile("nexttag.num", Le32(5));
  TagRecord().deleteOldest();
  EXPECT_EQ(names(), (std::vector<std::string>{"nexttag.num"}));
}

TEST_F(StoreTest, DeleteOldestWithoutTheDataFolderDoesNothing) {
  fclose(g_logFile);
  g_logFile = nullptr;
  std::filesystem::remove_all(folder_);
  TagRecord().deleteOldest();
  TagRecord().trimHistory();
  EXPECT_EQ(TagRecord().countSaved(), 0);
}

// The oldest without a .jpg: its .dat goes, nothing is reported.
TEST_F(StoreTest, DeleteOldestWithoutAJpgRemovesTheDatAndReportsNothing) {
  saveNumbered(3, false);
  saveNumbered(4);
  std::string before = log();
  TagRecord().deleteOldest();
  EXPECT_EQ(names(), (std::vector<std::string>{"4.dat", "4.jpg"}));
  EXPECT_EQ(log(), before);
}

// Negative numbers are ignored; an upper-case name is deleted through its number
// (the file system matches names case-insensitively).
TEST_F(StoreTest, DeleteOldestIgnoresNegativeNumbersAndMatchesCaseInsensitively) {
  writeFile("-1.dat", "");
  writeFile("5.DAT", "");
  writeFile("5.JPG", "");
  writeFile("6.dat", "");
  TagRecord().deleteOldest();
  EXPECT_EQ(names(), (std::vector<std::string>{"-1.dat", "6.dat"}));
}

// Other files of the folder neither count nor get chosen.
TEST_F(StoreTest, NonDatFilesAreIgnored) {
  writeFile("1.jpg", "j");
  writeFile("nexttag.num", Le32(2));
  writeFile("0.txt", "");
  writeFile("0.dat.bak", "");
  EXPECT_EQ(TagRecord().countSaved(), 0);
  TagRecord().deleteOldest();
  EXPECT_EQ(names().size(), 4u);
  writeFile("3.dat", "");
  EXPECT_EQ(TagRecord().countSaved(), 1);
}

// ---- count, load, deleteFiles --------------------------------------------------------------

TEST_F(StoreTest, CountSavedOfAnEmptyFolderIsZero) { EXPECT_EQ(TagRecord().countSaved(), 0); }

TEST_F(StoreTest, CountSavedCountsEveryListedDatName) {
  writeFile("1.dat", "");
  writeFile("notes.dat", "");
  writeFile("2.DAT", "");
  EXPECT_EQ(TagRecord().countSaved(), 3);
}

// A file removed in the meantime: false, number set from the name, nothing else.
TEST_F(StoreTest, LoadOfARemovedFileFailsWithTheNumberSet) {
  saveNumbered(14);
  std::filesystem::remove(hostPath("14.dat"));
  TagRecord record;
  EXPECT_FALSE(record.load(u"14.dat"));
  EXPECT_EQ(record.number, 14);
  EXPECT_EQ(record.album, nullptr);
  EXPECT_EQ(record.fullSong, nullptr);
}

TEST_F(StoreTest, LoadOfAnUnnumberedNameSetsMinusOne) {
  writeFile("notes.dat", std::string(11, '\0'));
  TagRecord record;
  EXPECT_TRUE(record.load(u"notes.dat"));
  EXPECT_EQ(record.number, -1);
  TagRecord missing;
  EXPECT_FALSE(missing.load(u"gone.dat"));
  EXPECT_EQ(missing.number, -1);
}

// A name too long for the 512-unit path buffer is refused, not formatted past its end.
TEST_F(StoreTest, LoadRefusesANameLongerThanThePathBuffer) {
  std::u16string name(600, u'9');
  TagRecord record;
  EXPECT_FALSE(record.load(name.c_str()));
}

// After deleteFiles, countSaved is one less and the counter is unchanged.
TEST_F(StoreTest, DeleteFilesRemovesTheRecordsPairAndLeavesTheCounter) {
  for (int i = 0; i < 3; i++) {
    TagRecord record;
    record.number = static_cast<LONG>(TagRecord::nextTagNumber());
    Fill(&record, u"a", u"b", u"c", "", "", "", "", "");
    static const BYTE picture[1] = {1};
    record.artData = picture;
    record.artSize = 1;
    record.save();
  }
  std::string counter = readFile("nexttag.num");
  EXPECT_EQ(TagRecord().countSaved(), 3);
  TagRecord loaded;
  ASSERT_TRUE(loaded.load(u"1.dat"));
  loaded.deleteFiles();
  EXPECT_EQ(TagRecord().countSaved(), 2);
  EXPECT_FALSE(exists("1.dat"));
  EXPECT_FALSE(exists("1.jpg"));
  EXPECT_EQ(readFile("nexttag.num"), counter);
  loaded.deleteFiles();  // already gone: ignored
  EXPECT_EQ(TagRecord().countSaved(), 2);
}

// ---- numberFromFileName --------------------------------------------------------------------

TEST(NumberFromFileName, ReadsTheLeadingSignedDecimalAsSwscanfDoes) {
  EXPECT_EQ(TagRecord::numberFromFileName(u"12.dat"), 12);
  EXPECT_EQ(TagRecord::numberFromFileName(u"007.dat"), 7);
  EXPECT_EQ(TagRecord::numberFromFileName(u"12abc.dat"), 12);
  EXPECT_EQ(TagRecord::numberFromFileName(u"notes.dat"), -1);
  EXPECT_EQ(TagRecord::numberFromFileName(u"0.dat"), 0);
  EXPECT_EQ(TagRecord::numberFromFileName(u" 5.dat"), 5);
  EXPECT_EQ(TagRecord::numberFromFileName(u"+4.dat"), 4);
  EXPECT_EQ(TagRecord::numberFromFileName(u"-3.dat"), -3);
  EXPECT_EQ(TagRecord::numberFromFileName(u""), -1);
  EXPECT_EQ(TagRecord::numberFromFileName(nullptr), -1);
}
