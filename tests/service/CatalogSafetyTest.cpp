// A catalog that is damaged on disk, or changes while it is mapped: clear errors at open, and
// no crash while serving.
#include "TestSupport.h"
#include "catalog/Catalog.h"
#include "fingerprint/FingerprintIndex.h"
#include "fingerprint/IndexWriter.h"
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

catalog::Manifest manifestOf(const std::string& dir) {
    catalog::Manifest manifest;
    std::string error;
    EXPECT_TRUE(manifest.read(dir, catalog::Manifest::current(dir), error)) << error;
    return manifest;
}

class CatalogSafety : public ::testing::Test {
protected:
    void SetUp() override { test::buildCatalog({test::track("knolls.ogg")}, dir_.path()); }
    std::string file(const std::string& name) const { return dir_.path() + "/" + name; }
    test::TempDir dir_;
};

} // namespace

TEST_F(CatalogSafety, ABrokenMetadataFileIsReportedForWhatItIs) {
    test::TempDir other;
    std::filesystem::copy(dir_.path(), other.path());
    sql(file(manifestOf(dir_.path()).metadata), "DROP TABLE albums");
    catalog::Catalog missing;
    std::string error;
    ASSERT_FALSE(missing.open(dir_.path(), error));
    EXPECT_NE(error.find("no such table: albums"), std::string::npos) << error;

    // Overwrite the file's pages past its header: the tables' rows are unreadable.
    const std::string corrupt = other.path() + "/" + manifestOf(other.path()).metadata;
    const auto size = std::filesystem::file_size(corrupt);
    std::fstream(corrupt, std::ios::in | std::ios::out | std::ios::binary).seekp(static_cast<std::streamoff>(size / 2))
        << std::string(size - size / 2, '\xA5');
    catalog::Catalog damaged;
    EXPECT_FALSE(damaged.open(other.path(), error));
    EXPECT_EQ(error.find("holds no tracks"), std::string::npos) << error;
    EXPECT_NE(error.find("is not a Melodex catalog"), std::string::npos) << error;
}

// Every segment is mapped on its own: one cut short under its readers reads as zeros, marks the
// index damaged and leaves the others intact; a merge reading it gives up instead of writing.
TEST_F(CatalogSafety, ReadingASegmentTruncatedUnderItsMappingIsSafe) {
    test::addToCatalog({test::track("wanderer.ogg")}, dir_.path());
    const catalog::Manifest manifest = manifestOf(dir_.path());
    ASSERT_EQ(manifest.segments.size(), 2u);
    catalog::Catalog catalog;
    test::openCatalog(catalog, dir_.path());
    std::string error;
    const fp::FingerprintIndex& index = catalog.index();
    ASSERT_TRUE(index.intact());
    ASSERT_EQ(truncate(file(manifest.segments[1]).c_str(), 100), 0);
    // Every entry is read: the pages past the new end are gone from the file.
    uint64_t visited = 0;
    for (const auto& segment : index.segments()) {
        segment->forEachEntry([&](uint32_t, uint32_t, int32_t) { ++visited; });
        for (uint64_t hash = 0; hash < (uint64_t{1} << 32); hash += 1000003)
            (void)segment->lookup(static_cast<uint32_t>(hash));
    }
    EXPECT_FALSE(index.intact());
    EXPECT_TRUE(index.segments()[0]->intact());
    EXPECT_FALSE(index.segments()[1]->intact());
    EXPECT_LE(visited, index.entryCount());

    std::vector<const fp::IndexSegment*> parts;
    for (const auto& segment : index.segments())
        parts.push_back(segment.get());
    EXPECT_FALSE(fp::IndexWriter::merge(parts, {}, file("seg-merged.fpi"), error));
    EXPECT_NE(error.find("changed on disk"), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(file("seg-merged.fpi")));
}

TEST(LinkPagesLength, LengthsNoClockCanShowAreNotRendered) {
    catalog::Catalog empty;
    const http::LinkPages pages(empty);
    const struct {
        double seconds;
        const char* shown;
    } cases[] = {{0.0, "0:00"}, {61.9, "1:01"}, {3599.0, "59:59"}, {-2147483648.0 * 60, "?:??"},
                          {1e300, "?:??"}, {std::nan(""), "?:??"}, {-1.0, "?:??"}};
    for (const auto& c : cases) {
        catalog::Track track;
        track.title = "t";
        track.seconds = c.seconds;
        const std::string page = pages.page(http::LinkKind::FullSong, track);
        EXPECT_NE(page.find(std::string("The whole song, ") + c.shown), std::string::npos) << c.seconds << ": " << page;
    }
}
