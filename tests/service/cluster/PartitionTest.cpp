// A catalog split by track answers as the whole catalog does: partitions made by
// melodex-catalog partition, the query a router sends, each partition's answer and the one
// decision over them, all in this process.
#include "TestSupport.h"
#include "catalog/Catalog.h"
#include "cluster/PartitionQuery.h"
#include "cluster/Partitioner.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

using namespace melodex;
using cluster::PartitionCandidate;

namespace {

struct Partition {
    catalog::Catalog catalog;
    cluster::WholeCatalog whole;
};

// The partitions of `source` as shards would serve them, asked in this process.
class InProcessPartitions {
public:
    InProcessPartitions(const std::string& source, const std::string& out, unsigned count, const fp::FingerprintConfig& config)
        : config_(config), partitions_(count) {
        std::string error;
        EXPECT_TRUE(cluster::partitionCatalog(source, out, count, config, report_, error)) << error;
        for (unsigned p = 0; p < count; ++p) {
            const std::string folder = out + "/part-" + std::to_string(p);
            EXPECT_TRUE(partitions_[p].catalog.open(folder, error)) << error;
            EXPECT_TRUE(cluster::readWholeCatalog(folder, partitions_[p].catalog.manifest().version, partitions_[p].whole, error))
                << error;
        }
    }

    fp::Identification identify(std::span<const float> samples) const {
        const auto ask = [this](const cluster::PartitionQuery& query, std::vector<std::vector<PartitionCandidate>>& answers,
                                std::string&) {
            // Each partition sees the query only as bytes, as over the network.
            const auto received = cluster::decodeQuery(cluster::encodeQuery(query));
            EXPECT_TRUE(received.has_value());
            answers.clear();
            for (const Partition& p : partitions_)
                answers.push_back(*cluster::decodeAnswer(
                    cluster::encodeAnswer(cluster::answerQuery(config_, p.catalog.index(), p.whole, *received))));
            return true;
        };
        fp::Identification result;
        std::string reason;
        EXPECT_TRUE(cluster::identifyAcrossPartitions(config_, fp::PeakExtractor(config_), samples, ask, result, reason));
        return result;
    }

    const cluster::PartitionReport& report() const { return report_; }
    const std::vector<Partition>& partitions() const { return partitions_; }

private:
    fp::FingerprintConfig config_;
    std::vector<Partition> partitions_;
    cluster::PartitionReport report_;
};

class Partitions : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new test::TempDir;
        std::vector<std::string> files = test::catalogTrackFiles();
        // The same music a second time, as the last track: each of its hashes is in two
        // tracks, which the partitions hold apart.
        files.push_back(dir_->path() + "/again.ogg");
        std::filesystem::create_symlink(files.front(), files.back());
        test::buildCatalog(files, dir_->path() + "/catalog");
    }
    static void TearDownTestSuite() { delete dir_; }
    static std::string catalogDir() { return dir_->path() + "/catalog"; }
    static test::TempDir* dir_;
};
test::TempDir* Partitions::dir_ = nullptr;

TEST_F(Partitions, AnswerExactlyAsTheWholeCatalogDoes) {
    // With lists of one entry at most, every hash of the music held twice is too long to read
    // over the whole catalog, though not within either partition holding a copy: the
    // partitions must still leave them out.
    fp::FingerprintConfig shortLists;
    shortLists.maxHashList = 1;
    // Pairs counted for only two leaders of the triples: the leaders over all partitions are
    // not those of any one.
    fp::FingerprintConfig fewLeaders;
    fewLeaders.pairsForEveryTrackBelow = 0;
    fewLeaders.pairCandidates = 2;
    // A small index counts pairs for every track the triples voted for, however few leaders
    // a large one would have, and holds their leader to a lead of its own.
    fp::FingerprintConfig everyTrack;
    everyTrack.pairCandidates = 1;
    everyTrack.minPairScoreRatioEveryTrack = everyTrack.minPairScoreRatioBroad = everyTrack.minPairScoreRatioNarrow = 1.0f;
    const auto clip = [](const char* name, double at, double snr = 1000.0, double speed = 1.0) {
        return test::recordClip(test::track(name), at, test::mic(snr, speed));
    };
    const std::vector<std::vector<float>> clips = {
        clip(test::kCatalogTracks[0], 6),        // clean, music held twice
        clip(test::kCatalogTracks[1], 3),        // clean
        clip(test::kCatalogTracks[1], 12, 0),    // noisy
        clip(test::kCatalogTracks[2], 9, -8),    // very noisy
        clip(test::kCatalogTracks[1], 13, -3),   // found by pairs under the plain hypothesis and held
                                                 // while the speeds beside it find it again
        clip(test::kCatalogTracks[2], 8, 20, 1.02),
        clip(test::kCatalogTracks[0], 10, 1000, 0.97),
        clip(test::kForeignTrack, 20),
    };
    // The clips take every road to an answer: triples, pairs among the leaders (held while
    // the changes are tried), a speed retry.
    int byPairs = 0, resampled = 0;
    catalog::Catalog whole;
    test::openCatalog(whole, catalogDir());
    for (const auto& [configName, config] : {std::pair{"defaults", fp::FingerprintConfig{}}, std::pair{"short lists", shortLists},
                                                   std::pair{"few leaders", fewLeaders}, std::pair{"every track", everyTrack}}) {
        const fp::Identifier one(config, whole.index());
        std::vector<fp::Identification> expected;
        for (const auto& samples : clips) {
            expected.push_back(one.identify(samples));
            byPairs += expected.back().matched && expected.back().byPairs;
            resampled += expected.back().matched && expected.back().speed != 1.0;
        }
        for (unsigned count : {2u, 3u}) {
            const test::TempDir out;
            const InProcessPartitions partitions(catalogDir(), out.path(), count, config);
            EXPECT_EQ(partitions.report().overLongHashes > 0, config.maxHashList == shortLists.maxHashList);
            for (size_t c = 0; c < clips.size(); ++c)
                EXPECT_EQ(test::answerOf(partitions.identify(clips[c])), test::answerOf(expected[c]))
                    << configName << ", " << count << " partitions, clip " << c;
        }
    }
    EXPECT_GT(byPairs, 0);
    EXPECT_GT(resampled, 0);
}

TEST_F(Partitions, HoldEveryLiveTrackOnceAndNoDeletedOne) {
    test::TempDir copy;
    std::filesystem::copy(catalogDir(), copy.path() + "/catalog");
    size_t removed = 0;
    std::string error;
    ASSERT_TRUE(catalog::CatalogBuilder::remove(copy.path() + "/catalog", {test::track(test::kCatalogTracks[1])}, removed, error))
        << error;
    ASSERT_EQ(removed, 1u);
    catalog::Catalog whole;
    test::openCatalog(whole, copy.path() + "/catalog");
    const fp::FingerprintConfig config;
    const InProcessPartitions partitions(copy.path() + "/catalog", copy.path() + "/parts", 2, config);

    std::map<uint32_t, uint64_t> wholeEntries;  // live tracks' entries in the whole catalog
    for (const auto& segment : whole.index().segments())
        segment->forEachEntry([&](uint32_t, uint32_t track, int32_t) {
            if (!whole.index().isDeleted(track))
                ++wholeEntries[track];
        });
    // Summed over the partitions, each live track's entries: a track held twice counts twice.
    std::map<uint32_t, uint64_t> partitionEntries;
    for (size_t p = 0; p < partitions.partitions().size(); ++p) {
        const cluster::PartitionRange& range = partitions.report().partitions[p];
        for (const auto& segment : partitions.partitions()[p].catalog.index().segments())
            segment->forEachEntry([&](uint32_t, uint32_t track, int32_t) {
                ++partitionEntries[track];
                EXPECT_TRUE(track >= range.firstTrack && track <= range.lastTrack) << track << " in partition " << p;
            });
    }
    EXPECT_EQ(partitionEntries, wholeEntries);
}

TEST_F(Partitions, KeepTheirTrackRangesInANewVersion) {
    test::TempDir work;
    const std::string source = work.path() + "/catalog";
    std::filesystem::copy(catalogDir(), source);
    const fp::FingerprintConfig config;
    cluster::PartitionReport before, after;
    std::string error;
    ASSERT_TRUE(cluster::partitionCatalog(source, work.path() + "/v1", 3, config, before, error)) << error;
    test::addToCatalog({test::track(test::kForeignTrack)}, source);
    std::vector<uint32_t> firstTracks;
    ASSERT_TRUE(cluster::readPartitionBounds(work.path() + "/v1", firstTracks, error)) << error;
    ASSERT_TRUE(cluster::partitionCatalog(source, work.path() + "/v2", 3, config, after, error, firstTracks)) << error;
    ASSERT_EQ(after.partitions.size(), 3u);
    for (size_t p = 0; p < 3; ++p) {
        EXPECT_EQ(after.partitions[p].firstTrack, before.partitions[p].firstTrack) << p;
        // The added track goes to the last partition; the others stay as they were.
        const size_t added = p == 2 ? 1 : 0;
        EXPECT_EQ(after.partitions[p].lastTrack, before.partitions[p].lastTrack + added) << p;
        EXPECT_EQ(after.partitions[p].tracks, before.partitions[p].tracks + added) << p;
    }
}

TEST(PartitionQuery, RefusesBytesThatAreNotAQueryOrAnAnswer) {
    cluster::PartitionQuery query;
    query.passes = {{{fp::Change::speed(1.01), 0}, cluster::Pass::triples, {}, {}},
                    {{{1.0, 0.97}, 0}, cluster::Pass::pairs, {3, 9, 12}, {}},
                    {{fp::Change{}, 1}, cluster::Pass::pairScreen, {4, 7}, {-300, 2100}}};
    query.peaks = {fp::Peak{3, 40, -10.5f, 0.25f, -0.125f}, fp::Peak{3, 41, -12.0f, 0.0f, 0.5f}, fp::Peak{9, 30, -3.0f}};
    const std::string good = cluster::encodeQuery(query);
    const auto back = cluster::decodeQuery(good);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->passes, query.passes);
    ASSERT_EQ(back->peaks.size(), query.peaks.size());
    EXPECT_EQ(back->peaks[0].binFraction, query.peaks[0].binFraction);
    EXPECT_EQ(back->peaks[1].bin, 41);

    const auto patched = [&](size_t at, std::string_view bytes) { return std::string(good).replace(at, bytes.size(), bytes); };
    const auto changed = [&](auto change) {
        cluster::PartitionQuery q = query;
        change(q);
        return cluster::encodeQuery(q);
    };
    const std::vector<std::pair<const char*, std::string>> badQueries = {
        {"empty", ""},
        {"truncated", good.substr(0, good.size() - 1)},
        {"a byte too many", good + "x"},
        {"wrong magic", patched(0, "XXXX")},
        {"no passes", changed([](auto& q) { q.passes.clear(); })},
        {"triples for chosen tracks", changed([](auto& q) { q.passes[0].tracks = {1}; })},
        {"tracks out of order", changed([](auto& q) { q.passes[1].tracks = {9, 3}; })},
        {"peaks out of order", changed([](auto& q) { std::swap(q.peaks[0], q.peaks[2]); })},
        {"a negative frame", changed([](auto& q) { q.peaks[0].frame = -1; })},
        {"a speed of zero", changed([](auto& q) { q.passes[1].hypothesis.change.tempo = 0.0; })},
        {"a pitch of zero", changed([](auto& q) { q.passes[1].hypothesis.change.pitch = 0.0; })},
        {"a pass of no kind", changed([](auto& q) { q.passes[2].pass = static_cast<cluster::Pass>(3); })},
        {"triples looked up too many frames off", changed([](auto& q) { q.passes[0].hypothesis.timeJitter = 3; })},
        {"a look without an offset for each track", changed([](auto& q) { q.passes[2].offsets.pop_back(); })},
        {"an offset past any track", changed([](auto& q) { q.passes[2].offsets[1] = (1 << 24) + 1; })},
    };
    for (const auto& [name, bytes] : badQueries)
        EXPECT_FALSE(cluster::decodeQuery(bytes).has_value()) << name;

    const PartitionCandidate candidate{{true, 3, -4, 17, 5, 9, 12}, 100, 2000, {{3, 17, -40}, {8, 5, 1200}}, true};
    const std::string answer = cluster::encodeAnswer({candidate, PartitionCandidate{}});
    ASSERT_TRUE(cluster::decodeAnswer(answer).has_value());
    EXPECT_EQ(cluster::decodeAnswer(answer)->at(0), candidate);
    for (const std::string& bad : {answer.substr(0, answer.size() - 2), answer + "\n", good, std::string(answer).replace(8, 1, "\x02")})
        EXPECT_FALSE(cluster::decodeAnswer(bad).has_value());
}

} // namespace
