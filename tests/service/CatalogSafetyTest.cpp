// A catalog that is damaged on disk, or changes while it is mapped: clear errors at open, and
// no crash while serving.
#include "TestSupport.h"
#include "fingerprint/FingerprintIndex.h"
#include "http/LinkPages.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace melodex;

namespace {

void sql(const std::string& database, const char* statement) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(database.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, statement, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
}

class CatalogSafety : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::haveMusic())
            FAIL() << "wesnoth-1.16-music is not installed: run tools/setup.sh";
        test::buildCatalog({test::track("knolls.ogg")}, dir_.path());
    }
    std::string file(const char* name) const { return dir_.path() + "/" + name; }
    test::TempDir dir_;
};

} // namespace

TEST_F(CatalogSafety, ABrokenMetadataFileIsReportedForWhatItIs) {
    const std::string db = file(catalog::Catalog::kMetadataFile);
    sql(db, "DROP TABLE albums");
    catalog::Catalog missing;
    std::string error;
    ASSERT_FALSE(missing.open(dir_.path(), error));
    EXPECT_NE(error.find("no such table: albums"), std::string::npos) << error;

    // Overwrite the file's pages past its header: the tables' rows are unreadable.
    test::TempDir other;
    test::buildCatalog({test::track("knolls.ogg")}, other.path());
    const std::string corrupt = other.path() + "/" + catalog::Catalog::kMetadataFile;
    const auto size = std::filesystem::file_size(corrupt);
    {
        std::fstream f(corrupt, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(static_cast<std::streamoff>(size / 2));
        const std::string junk(size - size / 2, '\xA5');
        f.write(junk.data(), static_cast<std::streamsize>(junk.size()));
    }
    catalog::Catalog damaged;
    error.clear();
    EXPECT_FALSE(damaged.open(other.path(), error));
    EXPECT_EQ(error.find("holds no tracks"), std::string::npos) << error;
    EXPECT_NE(error.find("is not a Melodex catalog"), std::string::npos) << error;
}

TEST_F(CatalogSafety, ReadingAnIndexTruncatedUnderItsMappingIsSafe) {
    fp::FingerprintIndex index;
    std::string error;
    ASSERT_TRUE(index.open(file(catalog::Catalog::kIndexFile), error)) << error;
    ASSERT_TRUE(index.intact());
    ASSERT_EQ(truncate(file(catalog::Catalog::kIndexFile).c_str(), 100), 0);
    // Every entry is read: the pages past the new end are gone from the file.
    uint64_t visited = 0;
    index.forEachEntry([&](uint32_t, uint32_t) { ++visited; });
    for (uint32_t hash = 0; hash < (1u << 21); hash += 4099)
        (void)index.lookup(hash);
    EXPECT_FALSE(index.intact());
    EXPECT_LE(visited, index.entryCount());
}

TEST(LinkPagesLength, LengthsNoClockCanShowAreNotRendered) {
    catalog::Catalog empty;
    const http::LinkPages pages(empty);
    struct Case {
        double seconds;
        const char* shown;
    };
    const Case cases[] = {{0.0, "0:00"}, {61.9, "1:01"}, {3599.0, "59:59"}, {-2147483648.0 * 60, "?:??"},
                          {1e300, "?:??"}, {std::nan(""), "?:??"}, {-1.0, "?:??"}};
    for (const Case& c : cases) {
        catalog::Track track;
        track.title = "t";
        track.seconds = c.seconds;
        const std::string page = pages.page(http::LinkKind::FullSong, track);
        EXPECT_NE(page.find(std::string("The whole song, ") + c.shown), std::string::npos) << c.seconds << ": " << page;
    }
}
