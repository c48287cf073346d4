// The fingerprinting stages (peaks, hashes, index, matcher) and the whole query road, on a
// small catalog built here from packaged music.
#include "TestSupport.h"
#include "catalog/Catalog.h"
#include "fingerprint/FingerprintIndex.h"
#include "fingerprint/HashBuilder.h"
#include "fingerprint/Identifier.h"
#include "fingerprint/IndexWriter.h"
#include "fingerprint/Matcher.h"
#include "fingerprint/NaiveMatcher.h"
#include "fingerprint/PeakExtractor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <numbers>
#include <set>

using namespace melodex;

#define REQUIRE_MUSIC()                                                                   \
    if (!test::haveMusic())                                                               \
    FAIL() << "wesnoth-1.16-music is not installed: run tools/setup.sh"

TEST(PeakExtractor, ToneGivesPeaksAtItsBin) {
    const fp::FingerprintConfig config;
    std::vector<float> s(16000);
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = 0.5f * static_cast<float>(std::sin(2.0 * std::numbers::pi * 1000.0 * static_cast<double>(i) / 8000.0));
    const auto peaks = fp::PeakExtractor(config).extract(s, fp::PeakDensity::Query);
    ASSERT_FALSE(peaks.empty());
    for (const auto& p : peaks)
        EXPECT_EQ(p.bin, 64);  // 1000 Hz / (8000 Hz / 512)
}

TEST(PeakExtractor, QueryPeaksIncludeEveryReferencePeak) {
    REQUIRE_MUSIC();
    const fp::FingerprintConfig config;
    const std::vector<float> clip = test::recordClip(test::track("knolls.ogg"), 5.0, {});
    const fp::PeakExtractor extractor(config);
    const auto ref = extractor.extract(clip, fp::PeakDensity::Reference);
    const auto query = extractor.extract(clip, fp::PeakDensity::Query);
    ASSERT_FALSE(ref.empty());
    EXPECT_GT(query.size(), ref.size());
    std::set<std::pair<int, int>> queryCells;
    for (const auto& p : query)
        queryCells.emplace(p.frame, p.bin);
    for (const auto& p : ref)
        EXPECT_TRUE(queryCells.count({p.frame, p.bin})) << p.frame << "," << p.bin;
}

// The separable running-maximum filters against the definition, cell by cell: a peak is a cell
// above the floor that no cell of its neighbourhood exceeds.
TEST(PeakExtractor, PeaksAreTheMaximaOfTheirNeighbourhood) {
    const fp::FingerprintConfig config;
    std::vector<float> s(8000 * 3);
    uint32_t state = 12345;
    for (size_t i = 0; i < s.size(); ++i) {
        state = state * 1664525u + 1013904223u;
        const double tone = std::sin(2.0 * std::numbers::pi * (600.0 + 0.05 * static_cast<double>(i)) * static_cast<double>(i) / 8000.0);
        s[i] = static_cast<float>(0.3 * tone + 0.2 * (static_cast<double>(state >> 8) / 16777216.0 - 0.5));
    }
    const fp::PeakExtractor extractor(config);
    int frames = 0;
    const std::vector<float> power = extractor.spectrogram(s, frames);
    const int bins = config.maxBin - config.minBin + 1;
    for (const auto density : {fp::PeakDensity::Reference, fp::PeakDensity::Query}) {
        const bool ref = density == fp::PeakDensity::Reference;
        const int fr = ref ? config.refPeakFreqRadius : config.queryPeakFreqRadius;
        const int tr = ref ? config.refPeakTimeRadius : config.queryPeakTimeRadius;
        std::set<std::pair<int, int>> expected;
        for (int f = 0; f < frames; ++f)
            for (int b = 0; b < bins; ++b) {
                const float v = power[static_cast<size_t>(f * bins + b)];
                bool isMax = v > config.peakFloorDb;
                for (int g = std::max(0, f - tr); isMax && g <= std::min(frames - 1, f + tr); ++g)
                    for (int c = std::max(0, b - fr); isMax && c <= std::min(bins - 1, b + fr); ++c)
                        isMax = power[static_cast<size_t>(g * bins + c)] <= v;
                if (isMax)
                    expected.emplace(f, config.minBin + b);
            }
        std::set<std::pair<int, int>> found;
        for (const auto& p : extractor.extract(s, density)) {
            found.emplace(p.frame, p.bin);
            EXPECT_LE(std::abs(p.frameFraction), 0.5f);
            EXPECT_LE(std::abs(p.binFraction), 0.5f);
        }
        EXPECT_FALSE(expected.empty());
        EXPECT_EQ(found, expected) << (ref ? "reference" : "query");
    }
}

// Moving the peaks for a speed hypothesis lands near where the resampled audio puts them.
TEST(PeakExtractor, UndoSpeedScalesTimeAndFrequency) {
    const fp::FingerprintConfig config;
    const fp::PeakExtractor extractor(config);
    fp::Peak p{100, 103, -10.0f};
    p.frameFraction = 0.25f;
    p.binFraction = -0.3f;
    const auto slower = extractor.undoSpeed({p, fp::Peak{50, config.minBin, 0.0f}}, 1.03);
    ASSERT_EQ(slower.size(), 1u);  // the lowest-bin peak leaves the band
    EXPECT_EQ(slower[0].frame, 103);  // 100.25 * 1.03 = 103.26
    EXPECT_EQ(slower[0].bin, 100);    // 102.7 / 1.03 = 99.71
    EXPECT_NEAR(slower[0].binFraction, -0.29f, 0.01f);
    const auto same = extractor.undoSpeed({p}, 1.0);
    ASSERT_EQ(same.size(), 1u);
    EXPECT_EQ(same[0].frame, 100);
    EXPECT_EQ(same[0].bin, 103);
}

TEST(HashBuilder, PacksTwentyOneBitsAndBoundsTheFanOut) {
    EXPECT_EQ(fp::HashBuilder::pack(255, 63, 63), (255u << 13) | (127u << 6) | 63u);
    EXPECT_EQ(fp::HashBuilder::pack(0, -64, 0), 0u);
    const fp::FingerprintConfig config;
    std::vector<fp::Peak> peaks;
    for (int f = 0; f < 100; ++f)
        peaks.push_back(fp::Peak{f, 40 + (f * 7) % 50, 0.0f});
    const auto landmarks = fp::HashBuilder(config).build(peaks, 3);
    EXPECT_LE(landmarks.size(), peaks.size() * 3);
    EXPECT_GE(landmarks.size(), (peaks.size() - 5) * 3);
    for (const auto& l : landmarks)
        EXPECT_LT(l.hash, 1u << fp::FingerprintConfig::kHashBits);
}

TEST(FingerprintIndex, WritesAndMapsEntries) {
    test::TempDir dir;
    const std::string path = dir.path() + "/index.fpi";
    fp::IndexWriter writer;
    writer.add(0, {{100, 5}, {100, 9}, {200, 7}});
    writer.add(3, {{100, 11}, {(1u << 21) - 1, 1}});
    std::string error;
    ASSERT_TRUE(writer.write(path, error)) << error;
    fp::FingerprintIndex index;
    ASSERT_TRUE(index.open(path, error)) << error;
    EXPECT_EQ(index.entryCount(), 5u);
    EXPECT_EQ(index.trackCount(), 4u);
    const auto hits = index.lookup(100);
    ASSERT_EQ(hits.size(), 3u);
    EXPECT_EQ(fp::valueTrack(hits[0]), 0u);
    EXPECT_EQ(fp::valueFrame(hits[0]), 5);
    EXPECT_EQ(fp::valueTrack(hits[2]), 3u);
    EXPECT_EQ(fp::valueFrame(hits[2]), 11);
    EXPECT_EQ(index.lookup((1u << 21) - 1).size(), 1u);
    EXPECT_TRUE(index.lookup(101).empty());
    size_t visited = 0;
    index.forEachEntry([&](uint32_t, uint32_t) { ++visited; });
    EXPECT_EQ(visited, 5u);
}

TEST(FingerprintIndex, RefusesFilesThatAreNotIndexes) {
    test::TempDir dir;
    const std::string path = dir.path() + "/bad.fpi";
    std::ofstream(path) << std::string(5000, 'x');
    fp::FingerprintIndex index;
    std::string error;
    EXPECT_FALSE(index.open(path, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(index.open(dir.path() + "/missing.fpi", error));
    EXPECT_TRUE(index.lookup(1).empty());
}

class CatalogTest : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_MUSIC();
        std::vector<std::string> files;
        for (const char* name : test::kCatalogTracks)
            files.push_back(test::track(name));
        test::buildCatalog(files, dir_.path());
        std::string error;
        ASSERT_TRUE(catalog_.open(dir_.path(), error)) << error;
    }
    test::TempDir dir_;
    catalog::Catalog catalog_;
    fp::FingerprintConfig config_;
};

TEST_F(CatalogTest, HoldsTitlesFromTheFilesTags) {
    ASSERT_EQ(catalog_.tracks().size(), 3u);
    EXPECT_EQ(catalog_.tracks()[1].title, "The Knolls of Doldesh");
    EXPECT_EQ(catalog_.tracks()[1].artist, "Timothy Pinkham");
    ASSERT_NE(catalog_.album(catalog_.tracks()[1].albumId), nullptr);
    EXPECT_EQ(catalog_.album(catalog_.tracks()[1].albumId)->title, "The Battle for Wesnoth OST");
    EXPECT_GT(catalog_.index().entryCount(), 1000u);
}

TEST_F(CatalogTest, NaiveAndFastMatchersAgree) {
    const fp::Identifier identifier(config_, catalog_.index());
    const fp::Matcher fast(catalog_.index(), config_.offsetTolerance);
    const fp::NaiveMatcher naive(catalog_.index(), config_.offsetTolerance);
    micsim::MicSettings noisy;
    noisy.snrDb = 0;
    noisy.reverb = true;
    const std::vector<std::vector<float>> clips = {
        test::recordClip(test::track("battle.ogg"), 8.0, {}),
        test::recordClip(test::track("wanderer.ogg"), 12.0, noisy),
        test::recordClip(test::track(test::kForeignTrack), 20.0, {}),
    };
    for (const auto& clip : clips) {
        const auto query = identifier.queryLandmarks(clip);
        ASSERT_FALSE(query.empty());
        EXPECT_EQ(fast.match(query), naive.match(query));
    }
    // A speed hypothesis's landmarks (moved peaks) go through the same matchers.
    const auto sped = identifier.queryLandmarks(clips[0], 1.03);
    ASSERT_FALSE(sped.empty());
    EXPECT_EQ(fast.match(sped), naive.match(sped));
}

TEST_F(CatalogTest, IdentifiesRecordingsAtTheirPlace) {
    const fp::Identifier identifier(config_, catalog_.index());
    // A phone in a living room: 0.5 s of reverberation and background noise 10 dB down.
    micsim::MicSettings room;
    room.snrDb = 10;
    room.reverb = true;
    for (uint32_t t = 0; t < 3; ++t) {
        const double at = 6.0 + 3.0 * t;
        for (const micsim::MicSettings& settings : {micsim::MicSettings{}, room}) {
            const auto id = identifier.identify(test::recordClip(test::track(test::kCatalogTracks[t]), at, settings));
            EXPECT_TRUE(id.matched) << test::kCatalogTracks[t] << " score " << id.score;
            EXPECT_EQ(id.track, t);
            EXPECT_NEAR(id.offsetSeconds, at, 0.1);
        }
    }
}

TEST_F(CatalogTest, IdentifiesSpedUpAndSlowedRecordings) {
    const fp::Identifier identifier(config_, catalog_.index());
    for (double speed : {1.02, 0.97}) {
        micsim::MicSettings changed;
        changed.speed = speed;
        const auto id = identifier.identify(test::recordClip(test::track("knolls.ogg"), 9.0, changed));
        EXPECT_TRUE(id.matched) << "speed " << speed << " score " << id.score;
        EXPECT_EQ(id.track, 1u);
        EXPECT_NE(id.speed, 1.0);
    }
}

TEST_F(CatalogTest, RejectsMusicThatIsNotInTheCatalog) {
    const fp::Identifier identifier(config_, catalog_.index());
    for (double at : {10.0, 40.0, 70.0}) {
        const auto id = identifier.identify(test::recordClip(test::track(test::kForeignTrack), at, {}));
        EXPECT_FALSE(id.matched) << "at " << at << ": track " << id.track << " score " << id.score;
    }
    std::vector<float> silence(88000, 0.0f);
    EXPECT_FALSE(identifier.identify(silence).matched);
}
