// A catalog that changes: segments added and merged, tracks removed, versions taken up by a
// running service while it answers.
#include "ClientReplyParser.h"
#include "TestSupport.h"
#include "catalog/Catalog.h"
#include "catalog/CatalogBuilder.h"
#include "fingerprint/Identifier.h"
#include "http/CatalogHolder.h"
#include "http/HttpClient.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>

using namespace melodex;

namespace {

std::string segmentBytes(const std::string& dir) {
    catalog::Catalog catalog;
    std::string error;
    EXPECT_TRUE(catalog.open(dir, error)) << error;
    EXPECT_EQ(catalog.manifest().segments.size(), 1u);
    std::ifstream in(dir + "/" + catalog.manifest().segments.at(0), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// What the catalog in `dir` answers for each clip: track, offset, scores.
std::vector<fp::Identification> answers(const std::string& dir, const std::vector<std::vector<float>>& clips) {
    catalog::Catalog catalog;
    std::string error;
    EXPECT_TRUE(catalog.open(dir, error)) << error;
    const fp::Identifier identifier(fp::FingerprintConfig{}, catalog.index());
    std::vector<fp::Identification> result;
    for (const auto& clip : clips)
        result.push_back(identifier.identify(clip));
    return result;
}

void expectSameAnswers(const std::vector<fp::Identification>& a, const std::vector<fp::Identification>& b, const char* what) {
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].matched, b[i].matched) << what << " clip " << i;
        EXPECT_EQ(a[i].track, b[i].track) << what << " clip " << i;
        EXPECT_EQ(a[i].score, b[i].score) << what << " clip " << i;
        EXPECT_EQ(a[i].runnerUpScore, b[i].runnerUpScore) << what << " clip " << i;
        EXPECT_EQ(a[i].offsetSeconds, b[i].offsetSeconds) << what << " clip " << i;
    }
}

class CatalogVersions : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::haveMusic())
            FAIL() << "wesnoth-1.16-music is not installed: run tools/setup.sh";
        files_ = test::catalogTrackFiles();
        micsim::MicSettings noisy;
        noisy.snrDb = 5;
        for (const char* name : test::kCatalogTracks)
            clips_.push_back(test::recordClip(test::track(name), 9.0, noisy));
    }
    std::vector<std::string> files_;
    std::vector<std::vector<float>> clips_;
};

} // namespace

// Two tracks built, a third added as a segment of its own, then merged: the same file as the
// three built at once, and the same answers before the merge as after.
TEST_F(CatalogVersions, SegmentsBuiltApartAndMergedEqualOneBuild) {
    test::TempDir once, apart;
    test::buildCatalog(files_, once.path());
    test::buildCatalog({files_[0], files_[1]}, apart.path());
    test::addToCatalog({files_[2]}, apart.path());
    expectSameAnswers(answers(apart.path(), clips_), answers(once.path(), clips_), "two segments");
    std::string error;
    ASSERT_TRUE(catalog::CatalogBuilder::merge(apart.path(), error)) << error;
    EXPECT_TRUE(segmentBytes(apart.path()) == segmentBytes(once.path()));
    // Only the version in force is left in the folder.
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(apart.path()))
        files += entry.path().filename() != ".lock";
    EXPECT_EQ(files, 4u);  // CURRENT, its manifest, one segment, its metadata
}

// A track added and removed again leaves the answers of a catalog that never held it, through
// the deletion list and after the merge that drops its entries.
TEST_F(CatalogVersions, TrackAddedThenRemovedAnswersAsNeverAdded) {
    test::TempDir without, churned;
    test::buildCatalog({files_[0], files_[1]}, without.path());
    test::buildCatalog({files_[0], files_[1]}, churned.path());
    const auto expected = answers(without.path(), clips_);
    ASSERT_TRUE(expected[0].matched && expected[1].matched);
    ASSERT_FALSE(expected[2].matched);

    test::addToCatalog({files_[2]}, churned.path());
    EXPECT_TRUE(answers(churned.path(), clips_)[2].matched);
    size_t removed = 0;
    std::string error;
    ASSERT_TRUE(catalog::CatalogBuilder::remove(churned.path(), {files_[2]}, removed, error)) << error;
    EXPECT_EQ(removed, 1u);
    expectSameAnswers(answers(churned.path(), clips_), expected, "deletion list");
    ASSERT_TRUE(catalog::CatalogBuilder::merge(churned.path(), error)) << error;
    expectSameAnswers(answers(churned.path(), clips_), expected, "merged");
    catalog::Catalog catalog;
    ASSERT_TRUE(catalog.open(churned.path(), error));
    EXPECT_EQ(catalog.tracks().size(), 2u);
    EXPECT_TRUE(catalog.manifest().deleted.empty());
    EXPECT_EQ(catalog.manifest().nextTrack, 3u);  // ids are never given out twice
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
    ASSERT_TRUE(catalog.open(dir.path(), error)) << error;
    EXPECT_EQ(catalog.tracks().size(), 1u);
    EXPECT_EQ(catalog.manifest().version, 1u);

    test::buildCatalog({files_[0], files_[1]}, dir.path());
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/.work"));
    ASSERT_TRUE(catalog.open(dir.path(), error)) << error;
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
    const auto post = [&](http::HttpClient& client, const std::string& body) {
        auto result = client.post("/servlet/ZorbelId?id=1003&ownerIdentifier=test", body, "application/octet-stream");
        return result && result->status == 200 ? std::optional<std::string>(result->body) : std::nullopt;
    };
    const auto title = [](const std::optional<std::string>& reply) {
        const auto record = reply ? test::parseClientReply(*reply) : std::nullopt;
        return record && record->fields.count("TRACK_TITLE") ? record->fields.at("TRACK_TITLE") : std::string();
    };

    const auto served = [&] { return service.service().catalogs().current(); };
    const std::string steadyTitle = served()->catalog().tracks().at(0).title;
    std::atomic<bool> done{false};
    std::atomic<int> answered{0}, failed{0};
    std::thread asker([&] {
        http::HttpClient client("127.0.0.1", service.port());
        client.setTimeout(60);
        while (!done) {
            const auto reply = post(client, steady);
            ++(reply && title(reply) == steadyTitle ? answered : failed);
        }
    });
    const auto waitForVersion = [&](uint64_t version) {
        for (int i = 0; i < 500 && served()->catalog().manifest().version != version; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return served()->catalog().manifest().version;
    };
    http::HttpClient client("127.0.0.1", service.port());
    client.setTimeout(60);
    EXPECT_EQ(title(post(client, added)), "");
    test::addToCatalog({files_[2]}, dir.path());
    EXPECT_EQ(waitForVersion(2), 2u);
    EXPECT_EQ(title(post(client, added)), served()->catalog().tracks().at(2).title);
    size_t removed = 0;
    std::string error;
    ASSERT_TRUE(catalog::CatalogBuilder::remove(dir.path(), {files_[2]}, removed, error)) << error;
    EXPECT_EQ(waitForVersion(3), 3u);
    EXPECT_EQ(title(post(client, added)), "");
    ASSERT_TRUE(catalog::CatalogBuilder::merge(dir.path(), error)) << error;
    EXPECT_EQ(waitForVersion(4), 4u);
    done = true;
    asker.join();
    EXPECT_GT(answered, 0);
    EXPECT_EQ(failed, 0);
}

// The holder's swap, without the HTTP layer: readers take versions and identify from them
// while versions are published and taken up; every answer comes whole from one version.
TEST_F(CatalogVersions, HolderSwapsUnderConcurrentReaders) {
    test::TempDir dir;
    test::buildCatalog({files_[0], files_[1]}, dir.path());
    http::CatalogHolder holder;
    std::string error;
    ASSERT_TRUE(holder.open(dir.path(), fp::FingerprintConfig{}, error)) << error;
    std::atomic<bool> done{false};
    std::atomic<int> answered{0}, wrong{0};
    std::vector<std::thread> readers;
    for (int r = 0; r < 2; ++r)
        readers.emplace_back([&] {
            while (!done) {
                const auto served = holder.current();
                const auto id = served->identifier().identify(clips_[0]);
                const catalog::Track* track = id.matched ? served->catalog().track(id.track) : nullptr;
                ++(track != nullptr && track->path == files_[0] ? answered : wrong);
            }
        });
    const auto publishAndTakeUp = [&](auto publish) {
        publish();
        bool changed = false;
        EXPECT_TRUE(holder.refresh(changed, error)) << error;
        EXPECT_TRUE(changed);
    };
    size_t removed = 0;
    publishAndTakeUp([&] { test::addToCatalog({files_[2]}, dir.path()); });
    publishAndTakeUp([&] { EXPECT_TRUE(catalog::CatalogBuilder::remove(dir.path(), {files_[2]}, removed, error)); });
    publishAndTakeUp([&] { EXPECT_TRUE(catalog::CatalogBuilder::merge(dir.path(), error)); });
    done = true;
    for (auto& t : readers)
        t.join();
    EXPECT_EQ(holder.current()->catalog().manifest().version, 4u);
    EXPECT_GT(answered, 0);
    EXPECT_EQ(wrong, 0);
}
