// The history store: numbering from the counter file, saving with its log lines and the trim to
// ten, listing, deleting the oldest, loading by name and deleting a record's files.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <optional>
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

std::vector<std::string> Numbered(int from, int to, const std::string& extension = ".dat") {
  std::vector<std::string> names;
  for (int i = from; i <= to; i++) names.push_back(std::to_string(i) + extension);
  return names;
}

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

}  // namespace

// The counter is four bytes little-endian, read for what it has (a short file's missing bytes
// are zero, an empty or missing file counts as 0, bytes past four are ignored) and rewritten
// whole as the value plus one. A missing counter gives 0 even when results are saved.
TEST_F(StoreTest, TheCounterGivesItsValueAndIsRewrittenPlusOne) {
  const struct {
    const char* what;
    std::optional<std::string> before;
    bool resultSaved;
    DWORD number;
    std::string after;
  } cases[] = {
      {"no counter file", std::nullopt, false, 0, Le32(1)},
      {"no counter file, a result saved", std::nullopt, true, 0, Le32(1)},
      {"four bytes", Le32(0x01020304), false, 0x01020304, std::string("\x05\x03\x02\x01", 4)},
      {"two bytes", std::string("\x05\x01", 2), false, 0x0105, Le32(0x0106)},
      {"empty", std::string(), false, 0, Le32(1)},
      {"eight bytes", Le32(9) + "junk", false, 9, Le32(10)},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(hostPath("nexttag.num"));
    std::filesystem::remove(hostPath("4.dat"));
    if (c.before) writeFile("nexttag.num", *c.before);
    if (c.resultSaved) saveNumbered(4);
    EXPECT_EQ(TagRecord::nextTagNumber(), c.number) << c.what;
    EXPECT_EQ(readFile("nexttag.num"), c.after) << c.what;
  }
  std::filesystem::remove(hostPath("nexttag.num"));
  EXPECT_EQ(TagRecord::nextTagNumber(), 0u);
  EXPECT_EQ(TagRecord::nextTagNumber(), 1u);
  EXPECT_EQ(TagRecord::nextTagNumber(), 2u);
  EXPECT_EQ(readFile("nexttag.num"), Le32(3));
}

// A counter that cannot be rewritten (a folder stands in its place, which no fopen can open
// for writing, even as root) still hands out a number, one more than the largest saved, so a
// save never overwrites a result.
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
}

// The picture is written whole, byte for byte, with two log lines giving the count as asked and
// as written; an empty picture leaves an empty .jpg; no picture leaves none and logs nothing.
TEST_F(StoreTest, SavingWritesThePictureAndLogsItsCountTwice) {
  std::string big(100000, '\0');
  for (size_t i = 0; i < big.size(); i++) big[i] = static_cast<char>(i * 31);
  const struct {
    const char* bytes;
    DWORD size;
    bool jpg;
    std::string log;
  } cases[] = {
      {nullptr, 0, false, ""},
      {"\x09", 0, true, "writing album art data file (0 byes)\r\n0 bytes actually written to file\r\n"},
      {big.data(), 100000, true,
       "writing album art data file (100000 byes)\r\n100000 bytes actually written to file\r\n"},
  };
  LONG number = 1;
  for (const auto& c : cases) {
    std::string before = log();
    TagRecord record;
    record.number = number;
    Fill(&record, u"", u"", u"", "", "", "", "", "");
    record.artData = reinterpret_cast<const BYTE*>(c.bytes);
    record.artSize = c.size;
    record.save();
    std::string jpg = std::to_string(number++) + ".jpg";
    EXPECT_EQ(exists(jpg), c.jpg) << c.size;
    if (c.jpg) {
      EXPECT_EQ(readFile(jpg), std::string(c.bytes, c.size));
    }
    EXPECT_EQ(log().substr(before.size()), c.log);
  }
}

// With no data folder neither file can be created; nothing is logged and nothing fails.
TEST_F(StoreTest, WithoutTheDataFolderSaveStoresNothing) {
  fclose(g_logFile);
  g_logFile = nullptr;  // the log lives in the same folder
  std::filesystem::remove_all(folder_);
  saveNumbered(1);
  TagRecord().deleteOldest();
  TagRecord().trimHistory();
  EXPECT_FALSE(std::filesystem::exists(folder_));
  EXPECT_EQ(TagRecord().countSaved(), 0);
}

// A .dat that cannot be created (a folder of that name): the picture and its log lines still
// come, and the trim still runs.
TEST_F(StoreTest, ADatFileThatCannotBeCreatedStillLeavesThePictureAndTheTrim) {
  for (int i = 0; i < 10; i++) saveNumbered(i, false);
  std::filesystem::create_directory(hostPath("20.dat"));
  saveNumbered(20);
  EXPECT_EQ(readFile("20.jpg"), "\xFF\xD8\xFF");
  EXPECT_EQ(log(), "writing album art data file (3 byes)\r\n3 bytes actually written to file\r\n");
  EXPECT_FALSE(exists("0.dat"));  // eleven listed entries: the smallest number went
  EXPECT_EQ(TagRecord().countSaved(), 10);
}

// The eleventh save deletes the .dat and .jpg of the smallest number. The files are made in
// descending number order, so the smallest number is also the newest by creation time: the
// choice is by number, not by time.
TEST_F(StoreTest, TheEleventhSaveDeletesTheSmallestNumberedPair) {
  for (int i = 10; i >= 1; i--) saveNumbered(i);
  saveNumbered(11);
  std::vector<std::string> expected = Numbered(2, 11) + Numbered(2, 11, ".jpg");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(names(), expected);
}

// The trim deletes the smallest-numbered pairs until ten .dat names are listed, and stops when a
// deletion removed nothing: no numbered name, an oldest that cannot be deleted (a folder), or an
// oldest named with leading zeros ("007.dat" gives 7, and 7.dat does not exist; 7.jpg is
// deleted by name, its result ignored). A name without a number counts but is never chosen.
TEST_F(StoreTest, TheTrimDeletesTheOldestUntilTenOrStuck) {
  const struct {
    const char* what;
    std::vector<std::string> files;
    std::vector<std::string> folders;
    int count;
    std::vector<std::string> present;
    std::vector<std::string> absent;
  } cases[] = {
      {"ten stay", Numbered(0, 9), {}, 10, {"0.dat"}, {}},
      {"twelve pairs", Numbered(0, 11) + Numbered(0, 11, ".jpg"), {}, 10, {"2.dat", "2.jpg"},
       {"0.dat", "0.jpg", "1.dat", "1.jpg"}},
      {"an unnumbered name", Numbered(0, 10) + std::vector<std::string>{"notes.dat"}, {}, 10,
       {"notes.dat", "2.dat"}, {"0.dat", "1.dat"}},
      {"no numbered name", {"a.dat", "b.dat", "c.dat", "d.dat", "e.dat", "f.dat", "g.dat", "h.dat", "i.dat",
                            "j.dat", "k.dat"}, {}, 11, {}, {}},
      {"an undeletable oldest", Numbered(1, 11), {"0.dat"}, 12, {"1.dat"}, {}},
      {"leading zeros", Numbered(8, 17) + std::vector<std::string>{"007.dat", "7.jpg"}, {}, 11, {"007.dat"},
       {"7.jpg"}},
  };
  for (const auto& c : cases) {
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    for (const std::string& name : c.files) writeFile(name, "");
    for (const std::string& name : c.folders) std::filesystem::create_directory(hostPath(name));
    TagRecord().trimHistory();
    EXPECT_EQ(TagRecord().countSaved(), c.count) << c.what;
    for (const std::string& name : c.present) EXPECT_TRUE(exists(name)) << c.what << ": " << name;
    for (const std::string& name : c.absent) EXPECT_FALSE(exists(name)) << c.what << ": " << name;
  }
}

// countSaved counts every listed .dat name, any case; deleteOldest deletes the pair of the
// smallest non-negative number (the .dat alone when there is no .jpg, silently), through its
// number whatever the case of the listed name, and leaves other files alone.
TEST_F(StoreTest, CountAndDeleteOldestGoByTheListedDatNames) {
  const struct {
    std::vector<std::string> files;
    int count;
    std::vector<std::string> after;
  } cases[] = {
      {{}, 0, {}},
      {{"nexttag.num"}, 0, {"nexttag.num"}},
      {{"3.dat", "4.dat", "4.jpg"}, 2, {"4.dat", "4.jpg"}},
      {{"1.dat", "notes.dat", "2.DAT"}, 3, {"2.DAT", "notes.dat"}},
      {{"-1.dat", "5.DAT", "5.JPG", "6.dat"}, 3, {"-1.dat", "6.dat"}},
      {{"1.jpg", "0.txt", "0.dat.bak"}, 0, {"0.dat.bak", "0.txt", "1.jpg"}},
  };
  for (const auto& c : cases) {
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    for (const std::string& name : c.files) writeFile(name, "");
    EXPECT_EQ(TagRecord().countSaved(), c.count) << testing::PrintToString(c.files);
    TagRecord().deleteOldest();
    EXPECT_EQ(names(), c.after) << testing::PrintToString(c.files);
  }
  EXPECT_EQ(log(), "");
}

// load takes the name as the listing gives it (any case) and sets number from it first (-1
// without one): a file removed in the meantime, or a name too long for the 512-unit path
// buffer, fails with nothing else set.
TEST_F(StoreTest, LoadSetsTheNumberFromTheNameAndFailsForMissingFiles) {
  saveNumbered(6);
  writeFile("notes.dat", std::string(11, '\0'));
  const std::u16string tooLong(600, u'9');
  const struct {
    const char16_t* name;
    BOOL loaded;
    LONG number;
  } cases[] = {
      {u"6.DAT", TRUE, 6}, {u"notes.dat", TRUE, -1}, {u"14.dat", FALSE, 14}, {u"gone.dat", FALSE, -1},
      {tooLong.c_str(), FALSE, -1},
  };
  for (const auto& c : cases) {
    TagRecord record;
    EXPECT_EQ(record.load(c.name), c.loaded) << std::string(c.name, c.name + 10);
    if (c.name != tooLong.c_str()) {
      EXPECT_EQ(record.number, c.number);
    }
    EXPECT_EQ(record.album != nullptr, c.loaded);
  }
}

// After deleteFiles the record's pair is gone, countSaved is one less and the counter is
// unchanged; a second call is ignored.
TEST_F(StoreTest, DeleteFilesRemovesTheRecordsPairAndLeavesTheCounter) {
  for (int i = 0; i < 3; i++) saveNumbered(static_cast<LONG>(TagRecord::nextTagNumber()));
  std::string counter = readFile("nexttag.num");
  TagRecord loaded;
  ASSERT_TRUE(loaded.load(u"1.dat"));
  loaded.deleteFiles();
  EXPECT_EQ(names(), (std::vector<std::string>{"0.dat", "0.jpg", "2.dat", "2.jpg", "nexttag.num"}));
  EXPECT_EQ(readFile("nexttag.num"), counter);
  loaded.deleteFiles();
  EXPECT_EQ(TagRecord().countSaved(), 2);
}
