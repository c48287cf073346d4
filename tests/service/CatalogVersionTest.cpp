// A catalog that changes: segments added and merged, tracks removed, versions taken up by a
// running service while it answers.
#include "TestSupport.h"
#include "fingerprint/Identifier.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <filesystem>
#include <fstream>
#include <tuple>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace melodex;

namespace {

std::string segmentBytes(const std::string& dir) {
    catalog::Catalog catalog;
    test::openCatalog(catalog, dir);
    EXPECT_EQ(catalog.manifest().segments.size(), 1u);
    return test::fileBytes(dir + "/" + catalog.manifest().segments.at(0));
}

// What the catalog in `dir` answers for each clip.
std::vector<test::Answer> answers(const std::string& dir, const std::vector<std::vector<float>>& clips) {
    catalog::Catalog catalog;
    test::openCatalog(catalog, dir);
    const fp::Identifier identifier(fp::FingerprintConfig{}, catalog.index());
    std::vector<test::Answer> result;
    for (const auto& clip : clips)
        result.push_back(test::answerOf(identifier.identify(clip)));
    return result;
}

class CatalogVersions : public ::testing::Test {
protected:
    void SetUp() override {
        for (const std::string& file : files_)
            clips_.push_back(test::recordClip(file, 9.0, test::mic(5)));
    }
    const std::vector<std::string> files_ = test::catalogTrackFiles();
    std::vector<std::vector<float>> clips_;
};

} // namespace

// Two tracks built, a third added as a segment of its own, then merged: the same answers before
// the merge as the three built at once, and the same file after it.
TEST_F(CatalogVersions, SegmentsBuiltApartAndMergedEqualOneBuild) {
    test::TempDir once, apart;
    test::buildCatalog(files_, once.path());
    test::buildCatalog({files_[0], files_[1]}, apart.path());
    test::addToCatalog({files_[2]}, apart.path());
    EXPECT_EQ(answers(apart.path(), clips_), answers(once.path(), clips_));
    std::string error;
    ASSERT_TRUE(catalog::CatalogBuilder::merge(apart.path(), error)) << error;
    EXPECT_TRUE(segmentBytes(apart.path()) == segmentBytes(once.path()));
    // Only the version in force is left: CURRENT, its manifest, one segment, its metadata.
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(apart.path()))
        files += entry.path().filename() != ".lock";
    EXPECT_EQ(files, 4u);
}

// A track added and removed again leaves the answers of a catalog that never held it, through
// the deletion list and after the merge that drops its entries.
TEST_F(CatalogVersions, TrackAddedThenRemovedAnswersAsNeverAdded) {
    test::TempDir without, churned;
    test::buildCatalog({files_[0], files_[1]}, without.path());
    test::buildCatalog({files_[0], files_[1]}, churned.path());
    const auto expected = answers(without.path(), clips_);
    ASSERT_TRUE(std::get<0>(expected[0]) && std::get<0>(expected[1]) && !std::get<0>(expected[2]));

    test::addToCatalog({files_[2]}, churned.path());
    EXPECT_TRUE(std::get<0>(answers(churned.path(), clips_)[2]));
    size_t removed = 0;
    std::string error;
    ASSERT_TRUE(catalog::CatalogBuilder::remove(churned.path(), {files_[2]}, removed, error)) << error;
    EXPECT_EQ(removed, 1u);
    EXPECT_EQ(answers(churned.path(), clips_), expected) << "deletion list";
    ASSERT_TRUE(catalog::CatalogBuilder::merge(churned.path(), error)) << error;
    EXPECT_EQ(answers(churned.path(), clips_), expected) << "merged";
    catalog::Catalog catalog;
    test::openCatalog(catalog, churned.path());
    // Its peaks went with its entries; the others' stayed.
    EXPECT_TRUE(catalog.index().peaksOf(2).empty());
    EXPECT_FALSE(catalog.index().peaksOf(0).empty());
    EXPECT_FALSE(catalog.index().peaksOf(1).empty());
    EXPECT_EQ(catalog.tracks().size(), 2u);
    EXPECT_TRUE(catalog.manifest().deleted.empty());
    EXPECT_EQ(catalog.manifest().nextTrack, 3u);  // ids are never given out twice
}

// While another build holds the folder, adding, removing and merging are each refused with a
// reason and leave the version in force; once it lets go, the change goes through.
TEST_F(CatalogVersions, AChangeWhileAnotherBuildHoldsTheFolderIsRefused) {
    test::TempDir dir;
    test::buildCatalog({files_[0], files_[1]}, dir.path());
    const catalog::CatalogBuilder builder(fp::FingerprintConfig{}, test::catalogOptions());
    const struct {
        const char* name;
        std::function<bool(std::string&)> change;
    } cases[] = {{"add", [&](std::string& error) {
                      catalog::BuildReport report;
                      return builder.add({files_[2]}, dir.path(), report, error);
                  }},
                 {"remove", [&](std::string& error) {
                      size_t removed = 0;
                      return catalog::CatalogBuilder::remove(dir.path(), {files_[1]}, removed, error);
                  }},
                 {"merge", [&](std::string& error) { return catalog::CatalogBuilder::merge(dir.path(), error); }}};
    const int other = ::open((dir.path() + "/.lock").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(c.change(error)) << c.name;
        EXPECT_EQ(error, "another build is changing " + dir.path()) << c.name;
        catalog::Catalog catalog;
        test::openCatalog(catalog, dir.path());
        EXPECT_EQ(catalog.manifest().version, 1u) << c.name;
    }
    ::close(other);
    std::string error;
    EXPECT_TRUE(cases[0].change(error)) << error;
}

// A build that fails half way, or was killed and left its work behind, never replaces the
// version in force; the next build starts clean.
TEST_F(CatalogVersions, UnfinishedBuildsLeaveTheVersionInForce) {
    test::TempDir dir;
    test::buildCatalog({files_[0]}, dir.path());
    const catalog::CatalogBuilder builder(fp::FingerprintConfig{}, test::catalogOptions());
    catalog::BuildReport report;
    std::string error;
    EXPECT_FALSE(builder.produce(3, [](size_t, catalog::TrackInput& t) { t.error = "unreadable"; }, dir.path(), true, report, error));
    std::filesystem::create_directories(dir.path() + "/.work");
    std::ofstream(dir.path() + "/.work/run-000000") << "half a run";
    std::ofstream(dir.path() + "/seg-000009.fpi.tmp") << "half a segment";
    catalog::Catalog catalog;
    test::openCatalog(catalog, dir.path());
    EXPECT_EQ(catalog.tracks().size(), 1u);
    EXPECT_EQ(catalog.manifest().version, 1u);

    test::buildCatalog({files_[0], files_[1]}, dir.path());
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/.work"));
    test::openCatalog(catalog, dir.path());
    EXPECT_EQ(catalog.tracks().size(), 2u);
}

// The same through the HTTP service.
class CatalogVersionsServed : public CatalogVersions {};

// Requests keep coming while new versions are published (a track added, removed, the
// segments merged): each is answered, by one version or the other, and the service ends up
// answering from the last.
TEST_F(CatalogVersionsServed, AnswersEveryRequestWhileVersionsChange) {
    test::TempDir dir;
    test::buildCatalog({files_[0], files_[1]}, dir.path());
    test::RunningService service(dir.path());
    const std::string steady = micsim::MicSimulator::clientImage(clips_[0]);
    const std::string added = micsim::MicSimulator::clientImage(clips_[2]);
    const auto served = [&] { return service.service().catalogs().current(); };
    const std::string steadyTitle = served()->catalog().tracks().at(0).title;
    std::atomic<bool> done{false};
    std::atomic<int> answered{0}, failed{0};
    std::thread asker([&] {
        http::HttpClient client("127.0.0.1", service.port());
        while (!done)
            ++(test::outcome(test::postLikeTheClient(client, steady)) == steadyTitle ? answered : failed);
    });
    const auto waitForVersion = [&](uint64_t version) {
        for (int i = 0; i < 500 && served()->catalog().manifest().version != version; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return served()->catalog().manifest().version;
    };
    http::HttpClient client("127.0.0.1", service.port());
    const auto addedTitle = [&] { return test::outcome(test::postLikeTheClient(client, added)); };
    EXPECT_EQ(addedTitle(), "");
    test::addToCatalog({files_[2]}, dir.path());
    EXPECT_EQ(waitForVersion(2), 2u);
    EXPECT_EQ(addedTitle(), served()->catalog().tracks().at(2).title);
    size_t removed = 0;
    std::string error;
    ASSERT_TRUE(catalog::CatalogBuilder::remove(dir.path(), {files_[2]}, removed, error)) << error;
    EXPECT_EQ(waitForVersion(3), 3u);
    EXPECT_EQ(addedTitle(), "");
    ASSERT_TRUE(catalog::CatalogBuilder::merge(dir.path(), error)) << error;
    EXPECT_EQ(waitForVersion(4), 4u);
    done = true;
    asker.join();
    EXPECT_GT(answered, 0);
    EXPECT_EQ(failed, 0);
}
