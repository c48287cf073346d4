// The fingerprinting stages (peaks, hashes, the large room, matcher) and the whole query road, on a
// small catalog built here from packaged music.
#include "Degradations.h"
#include "TestSupport.h"
#include "catalog/Catalog.h"
#include "fingerprint/FingerprintIndex.h"
#include "fingerprint/HashBuilder.h"
#include "fingerprint/Identifier.h"
#include "fingerprint/LargeRoom.h"
#include "fingerprint/Matcher.h"
#include "fingerprint/NaiveMatcher.h"
#include "fingerprint/PeakExtractor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <numbers>
#include <random>
#include <set>
#include <tuple>

using namespace melodex;

TEST(PeakExtractor, ToneGivesPeaksAtItsBin) {
    const auto peaks = fp::PeakExtractor(fp::FingerprintConfig{}).extract(test::tone(2.0, 1000.0), fp::PeakDensity::Query);
    ASSERT_FALSE(peaks.empty());
    for (const auto& p : peaks)
        EXPECT_EQ(p.bin, 64);  // 1000 Hz / (8000 Hz / 512)
}

namespace {

// A spectrogram to find peaks in, with the configuration to find them by.
struct PeakInput {
    const char* name;
    fp::FingerprintConfig config;
    std::vector<float> power;
    int frames = 0;
    bool hasPeaks = true;  // so that a table row cannot pass by finding nothing at all
};

PeakInput fromAudio(const char* name, const std::vector<float>& samples, fp::FingerprintConfig config = {}, bool hasPeaks = true) {
    PeakInput in{name, config, {}, 0, hasPeaks};
    in.power = fp::PeakExtractor(config).spectrogram(samples, in.frames);
    return in;
}

std::vector<float> whiteNoise(size_t count, uint32_t state, float scale) {
    std::vector<float> s(count);
    for (float& x : s) {
        state = state * 1664525u + 1013904223u;
        x = scale * (static_cast<float>(state >> 8) / 16777216.0f - 0.5f);
    }
    return s;
}

// A rising tone in noise: peaks along its path and scattered ones in the noise.
std::vector<float> chirpInNoise(double seconds) {
    std::vector<float> s = whiteNoise(static_cast<size_t>(8000 * seconds), 12345, 0.2f);
    for (size_t i = 0; i < s.size(); ++i) {
        const double t = static_cast<double>(i) / 8000.0;
        s[i] += static_cast<float>(0.3 * std::sin(2.0 * std::numbers::pi * (600.0 + 400.0 * t) * t));
    }
    return s;
}

// Held notes of a chord that changes every half second: the salience's flat tops.
std::vector<float> chords(double seconds) {
    std::vector<float> s(static_cast<size_t>(8000 * seconds));
    const double roots[] = {330.0, 392.0, 440.0, 523.0};
    for (size_t i = 0; i < s.size(); ++i) {
        const double root = roots[(i / 4000) % 4];
        const double t = static_cast<double>(i) / 8000.0;
        double v = 0.0;
        for (const double ratio : {1.0, 1.25, 1.5, 2.0, 3.0})
            v += 0.1 * std::sin(2.0 * std::numbers::pi * root * ratio * t);
        s[i] = static_cast<float>(v);
    }
    return s;
}

// Whole decibels from a handful of levels: neighbours tie everywhere.
PeakInput coarseLevels(const char* name, int frames) {
    const fp::FingerprintConfig config;
    PeakInput in{name, config, {}, frames};
    uint32_t state = 777;
    in.power.resize(static_cast<size_t>(frames) * static_cast<size_t>(config.maxBin - config.minBin + 1));
    for (float& x : in.power) {
        state = state * 1664525u + 1013904223u;
        x = -30.0f + 10.0f * static_cast<float>((state >> 16) % 4);
    }
    return in;
}

// Where the parabola through three log powers peaks, from its own coefficients.
double parabolaPeak(double left, double centre, double right) {
    const double a = 0.5 * (left + right) - centre;
    if (a >= 0.0)
        return 0.0;
    return std::clamp(-0.25 * (right - left) / a, -0.5, 0.5);
}

// The peaks by their definition, cell by cell: a cell of the salience map above the floors
// (the power's absolute one; the loudest salience of its time neighbourhood, over the whole
// band, less the relative one) that no cell of its time-frequency neighbourhood exceeds.
std::vector<fp::Peak> peaksByDefinition(const PeakInput& in, fp::PeakDensity density) {
    const fp::FingerprintConfig& config = in.config;
    const fp::PeakExtractor extractor(config);
    const std::vector<float> rise = extractor.salience(in.power, in.frames);
    const int bins = config.maxBin - config.minBin + 1;
    const int tr = density == fp::PeakDensity::Reference ? config.refPeakTimeRadius : config.queryPeakTimeRadius;
    const auto at = [bins](const std::vector<float>& v, int f, int b) { return v[static_cast<size_t>(f * bins + b)]; };
    std::vector<fp::Peak> peaks;
    for (int f = 0; f < in.frames; ++f) {
        float loudest = -1e30f;
        for (int g = std::max(0, f - tr); g <= std::min(in.frames - 1, f + tr); ++g)
            for (int c = 0; c < bins; ++c)
                loudest = std::max(loudest, at(rise, g, c));
        for (int b = 0; b < bins; ++b) {
            const float v = at(rise, f, b);
            bool isMax = at(in.power, f, b) > config.peakFloorDb && v > loudest - config.peakRelativeFloorDb;
            const int fr = extractor.frequencyRadius(config.minBin + b, density);
            for (int g = std::max(0, f - tr); isMax && g <= std::min(in.frames - 1, f + tr); ++g)
                for (int c = std::max(0, b - fr); isMax && c <= std::min(bins - 1, b + fr); ++c)
                    isMax = at(rise, g, c) <= v;
            if (!isMax)
                continue;
            fp::Peak p{f, config.minBin + b, at(in.power, f, b)};
            if (f > 0 && f + 1 < in.frames)
                p.frameFraction = static_cast<float>(parabolaPeak(at(in.power, f - 1, b), p.level, at(in.power, f + 1, b)));
            if (b > 0 && b + 1 < bins)
                p.binFraction = static_cast<float>(parabolaPeak(at(in.power, f, b - 1), p.level, at(in.power, f, b + 1)));
            peaks.push_back(p);
        }
    }
    return peaks;
}

} // namespace

// The running-maximum filters against the definition, peak by peak and in order, for
// reference and query densities, over spectrograms that reach the filters' edges: fewer
// frames or bins than a neighbourhood, ties, silence.
TEST(PeakExtractor, PeaksAreTheMaximaOfTheirNeighbourhood) {
    fp::FingerprintConfig narrowBand;  // 6 bins, where the radius is 9
    narrowBand.minBin = 100;
    narrowBand.maxBin = 105;
    fp::FingerprintConfig oneBin;
    oneBin.minBin = oneBin.maxBin = 64;
    const std::vector<float> music = test::recordClip(test::track("battle.ogg"), 20.0, test::mic(10.0));
    const PeakInput inputs[] = {
        fromAudio("chirp in noise", chirpInNoise(3.0)),
        fromAudio("held chords", chords(4.0)),
        fromAudio("white noise", whiteNoise(8000 * 2, 4242, 1.0f)),
        fromAudio("silence", std::vector<float>(8000 * 2, 0.0f), {}, false),
        fromAudio("one frame", chirpInNoise(512.0 / 8000.0)),
        fromAudio("fewer frames than a neighbourhood", chirpInNoise(0.2)),
        fromAudio("fewer bins than a neighbourhood", chirpInNoise(2.0), narrowBand),
        fromAudio("one bin", chords(2.0), oneBin),
        coarseLevels("ties", 300),
        fromAudio("music in noise", music),
    };
    for (const PeakInput& in : inputs) {
        ASSERT_EQ(in.power.size(), static_cast<size_t>(in.frames) * static_cast<size_t>(in.config.maxBin - in.config.minBin + 1)) << in.name;
        const fp::PeakExtractor extractor(in.config);
        for (const auto density : {fp::PeakDensity::Reference, fp::PeakDensity::Query}) {
            const std::string where = std::string(in.name) + (density == fp::PeakDensity::Reference ? ", reference" : ", query");
            const std::vector<fp::Peak> expected = peaksByDefinition(in, density);
            const std::vector<fp::Peak> found = extractor.extractFromSpectrogram(in.power, in.frames, density);
            EXPECT_EQ(!expected.empty(), in.hasPeaks) << where;
            ASSERT_EQ(found.size(), expected.size()) << where;
            for (size_t i = 0; i < found.size(); ++i) {
                const fp::Peak& f = found[i];
                const fp::Peak& e = expected[i];
                ASSERT_EQ(std::tie(f.frame, f.bin, f.level), std::tie(e.frame, e.bin, e.level)) << where << ", peak " << i;
                EXPECT_NEAR(f.frameFraction, e.frameFraction, 1e-4f) << where << ", peak " << i;
                EXPECT_NEAR(f.binFraction, e.binFraction, 1e-4f) << where << ", peak " << i;
            }
        }
    }
}

// Moving the peaks for a hypothesis lands near where the resampled audio puts them.
TEST(PeakExtractor, UndoChangeScalesTimeByTheTempoAndFrequencyByThePitch) {
    const fp::FingerprintConfig config;
    const fp::PeakExtractor extractor(config);
    fp::Peak p{100, 103, -10.0f};
    p.frameFraction = 0.25f;
    p.binFraction = -0.3f;
    const auto slower = extractor.undoChange({p, fp::Peak{50, config.minBin, 0.0f}}, fp::Change::speed(1.03));
    ASSERT_EQ(slower.size(), 1u);  // the lowest-bin peak leaves the band
    EXPECT_EQ(slower[0].frame, 103);  // 100.25 * 1.03 = 103.26
    EXPECT_EQ(slower[0].bin, 100);    // 102.7 / 1.03 = 99.71
    EXPECT_NEAR(slower[0].binFraction, -0.29f, 0.01f);
    const auto lower = extractor.undoChange({p}, {1.0, 1.03});  // pitch alone: time stays
    ASSERT_EQ(lower.size(), 1u);
    EXPECT_EQ(lower[0].frame, 100);
    EXPECT_EQ(lower[0].bin, 100);
    const auto same = extractor.undoChange({p}, {});
    ASSERT_EQ(same.size(), 1u);
    EXPECT_EQ(same[0].frame, 100);
    EXPECT_EQ(same[0].bin, 103);
}

// Distinct triples and pairs must not share a hash (the mix is a bijection of the packed
// fields, and a packed pair never equals a packed triple), and each anchor yields at most
// every two of its fanOut targets, or one pair each.
TEST(HashBuilder, TriplesAndPairsHaveDistinctHashesAndTheFanOutIsBounded) {
    std::set<uint32_t> seen;
    size_t packed = 0;
    for (int anchor : {18, 100, 224}) {
        for (int df1 = -31; df1 <= 31; df1 += 5)
            for (int dt1 = 1; dt1 <= 63; dt1 += 7)
                for (int df2 = -31; df2 <= 31; df2 += 6)
                    for (int dt2 : {dt1, 63}) {
                        seen.insert(fp::HashBuilder::pack(anchor, df1, dt1, df2, dt2));
                        ++packed;
                    }
        for (int df = -63; df <= 63; df += 3)
            for (int dt = 1; dt <= 63; dt += 2) {
                seen.insert(fp::HashBuilder::packPair(anchor, df, dt));
                ++packed;
            }
    }
    EXPECT_EQ(seen.size(), packed);

    const fp::FingerprintConfig config;
    std::vector<fp::Peak> peaks;
    for (int f = 0; f < 100; ++f)
        peaks.push_back(fp::Peak{f, 40 + (f * 7) % 30, 0.0f});
    const struct {
        bool pairs;
        int fanOut, jitter;
        size_t perAnchor;
    } cases[] = {{false, 3, 0, 3}, {false, 5, 0, 10}, {false, 4, 1, 6 * 9}, {true, 1, 0, 1}, {true, 7, 0, 7}, {true, 24, 1, 24 * 3}};
    const fp::HashBuilder builder(config);
    for (const auto& c : cases) {
        const auto landmarks = c.pairs ? builder.buildPairs(peaks, c.fanOut, c.jitter) : builder.build(peaks, c.fanOut, c.jitter);
        EXPECT_LE(landmarks.size(), peaks.size() * c.perAnchor) << c.pairs << " " << c.fanOut;
        EXPECT_GE(landmarks.size(), (peaks.size() - 70) * c.perAnchor) << c.pairs << " " << c.fanOut;
    }
}

// A pair joins a target only within the reach of its hash's fields: up to pairMaxDf bins
// either way and targetMinDt..targetMaxDt frames later. A target out of reach would alias
// another pair's hash (the fields wrap), so it must be left out whichever way it lies.
TEST(HashBuilder, PairsJoinOnlyTargetsWithinReach) {
    const fp::FingerprintConfig config;
    const fp::HashBuilder builder(config);
    const int maxDf = config.pairMaxDf, maxDt = config.targetMaxDt;
    const struct {
        int anchorBin, targetBin, dt;
        bool paired;
    } cases[] = {
        {20, 20 + maxDf, 5, true},       {20, 20 + maxDf + 1, 5, false},  {150, 150 - maxDf, 5, true},
        {150, 150 - maxDf - 1, 5, false}, {60, 70, maxDt, true},           {60, 70, maxDt + 1, false},
        {60, 70, 0, false},
    };
    for (const auto& c : cases) {
        const std::vector<fp::Peak> peaks = {fp::Peak{10, c.anchorBin}, fp::Peak{10 + c.dt, c.targetBin}};
        std::vector<std::tuple<int, int, int, int32_t>> visited;
        builder.forEachPair(
            peaks.size(), [&](size_t i) { return std::pair{peaks[i].frame, peaks[i].bin}; }, config.refPairFanOut,
            [&](int bin, int df, int dt, int32_t frame) { visited.emplace_back(bin, df, dt, frame); });
        const auto expected = c.paired ? std::vector<std::tuple<int, int, int, int32_t>>{{c.anchorBin, c.targetBin - c.anchorBin, c.dt, 10}}
                                       : std::vector<std::tuple<int, int, int, int32_t>>{};
        EXPECT_EQ(visited, expected) << c.anchorBin << " -> " << c.targetBin << " after " << c.dt;
        EXPECT_EQ(builder.buildPairs(peaks, config.refPairFanOut).size(), expected.size()) << c.anchorBin << " -> " << c.targetBin;
    }
}

// A landmark a frame longer is a near hash: the query's time jitter then reads one run of the
// index that the first lookup brought into the cache, not nine runs anywhere.
TEST(HashBuilder, LandmarksAFrameApartHaveNearHashes) {
    for (int anchor : {18, 100, 224})
        for (int dt = 1; dt < 63; dt += 4) {
            EXPECT_EQ(fp::HashBuilder::pack(anchor, -31, 40, 31, dt + 1), fp::HashBuilder::pack(anchor, -31, 40, 31, dt) + 1);
            EXPECT_EQ(fp::HashBuilder::pack(anchor, -31, dt + 1, 31, 40), fp::HashBuilder::pack(anchor, -31, dt, 31, 40) + 64);
            EXPECT_EQ(fp::HashBuilder::packPair(anchor, 63, dt + 1), fp::HashBuilder::packPair(anchor, 63, dt) + 64);
        }
}

TEST(LargeRoom, ResponseFallsSixtyDecibelsInItsTimeAndHoldsItsShareOfTail) {
    const struct {
        double seconds, tailToDirect;
    } cases[] = {{2.0, 8.0}, {1.0, 4.0}, {3.0, 12.0}};
    for (const auto& c : cases) {
        fp::FingerprintConfig config;
        config.roomSeconds = c.seconds;
        config.roomTailToDirect = c.tailToDirect;
        const std::vector<float> h = fp::largeRoomResponse(config);
        SCOPED_TRACE(std::to_string(c.seconds) + " s");
        ASSERT_EQ(h.size(), static_cast<size_t>(c.seconds * 8000));
        EXPECT_EQ(h[0], 1.0f);
        EXPECT_TRUE(std::all_of(h.begin() + 1, h.begin() + 80, [](float v) { return v == 0.0f; })) << "10 ms before the tail";
        const std::span<const float> tail = std::span(h).subspan(1);
        EXPECT_NEAR(micsim::meanPower(tail) * static_cast<double>(tail.size()), c.tailToDirect, 1e-3 * c.tailToDirect);
        // A quarter of its time on, the tail stands 15 dB lower.
        const auto window = [&](double from) { return micsim::meanPower(std::span(h).subspan(static_cast<size_t>(from * 8000), 800)); };
        EXPECT_NEAR(10.0 * std::log10(window(0.1) / window(0.1 + c.seconds / 4)), 15.0, 1.5);
        EXPECT_EQ(h, fp::largeRoomResponse(config)) << "the same response every time";
    }
}

TEST(LargeRoom, ConvolutionIsTheSumOfDelayedScaledCopiesAndKeepsTheLength) {
    const struct {
        size_t x, h;
    } cases[] = {{1, 1}, {100, 7}, {7, 100}, {1000, 333}, {0, 5}, {5, 0}};
    std::mt19937 random(7);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    for (const auto& c : cases) {
        std::vector<float> x(c.x), h(c.h);
        for (float& v : x)
            v = uniform(random);
        for (float& v : h)
            v = uniform(random);
        const std::vector<float> y = fp::convolve(x, h);
        ASSERT_EQ(y.size(), x.size());
        for (size_t i = 0; i < y.size(); ++i) {
            double want = 0.0;
            for (size_t k = 0; k < h.size() && k <= i; ++k)
                want += static_cast<double>(h[k]) * x[i - k];
            EXPECT_NEAR(y[i], want, 1e-3) << c.x << " by " << c.h << ", sample " << i;
        }
    }
    const fp::FingerprintConfig config;
    const std::vector<float> music = test::tone(3.0, 440.0);
    EXPECT_NEAR(micsim::meanPower(fp::heardAcrossLargeRoom(music, config)), micsim::meanPower(music), 1e-3 * micsim::meanPower(music))
        << "at its own power";
}

class CatalogTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::buildCatalog(test::catalogTrackFiles(), dir_.path());
        test::openCatalog(catalog_, dir_.path());
    }
    test::TempDir dir_;
    catalog::Catalog catalog_;
    fp::FingerprintConfig config_;
};

TEST_F(CatalogTest, NaiveAndFastMatchersAgree) {
    const fp::Identifier identifier(config_, catalog_.index());
    // Without a cap on hash lists, and with caps that make the query skip some or all of its
    // hashes.
    const uint32_t caps[] = {UINT32_MAX, 1, 0};
    const std::vector<std::vector<float>> clips = {
        test::recordClip(test::track("battle.ogg"), 8.0, {}),
        test::recordClip(test::track("wanderer.ogg"), 12.0, test::mic(0, 1.0, true)),
        test::recordClip(test::track(test::kForeignTrack), 20.0, {}),
    };
    for (const auto& clip : clips) {
        const auto query = identifier.queryLandmarks(clip, {fp::Change{}, 1});
        ASSERT_FALSE(query.empty());
        for (uint32_t cap : caps)
            EXPECT_EQ(fp::Matcher(catalog_.index(), config_.offsetTolerance, cap).match(query),
                      fp::NaiveMatcher(catalog_.index(), config_.offsetTolerance, cap).match(query))
                << "cap " << cap;
        EXPECT_FALSE(fp::Matcher(catalog_.index(), config_.offsetTolerance, 0).match(query).any);
    }
    // Pairs counted for some tracks only, with lists short enough to walk beside the tracks
    // and long enough to search, and made again from the tracks' peaks (one Matcher for every
    // clip and track set, as a query's passes share one, with a vote of triples between two
    // counts: the lists of the same pairs are read once, another clip's again).
    const std::vector<std::vector<uint32_t>> trackSets = {{0}, {1}, {0, 2}, {0, 1, 2}, {}};
    const fp::PeakExtractor extractor(config_);
    fp::Matcher fromLists(catalog_.index(), config_.offsetTolerance);
    fp::Matcher fromPeaks(catalog_.index(), config_.offsetTolerance);
    fromPeaks.countPairsFromPeaks(config_);
    for (const auto& clip : clips) {
        const auto triples = identifier.queryLandmarks(clip, {fp::Change{}, 0});
        const auto pairs = fp::HashBuilder(config_).buildPairs(extractor.extract(clip, fp::PeakDensity::Query),
                                                                config_.queryPairFanOut, config_.pairTimeJitter);
        ASSERT_FALSE(pairs.empty());
        fp::VoteTally tally;
        for (const auto& tracks : trackSets) {
            const fp::MatchCandidate naive = fp::NaiveMatcher(catalog_.index(), config_.offsetTolerance).matchTracks(pairs, tracks);
            EXPECT_EQ(fromLists.matchTracks(pairs, tracks, tally), naive) << tracks.size() << " tracks";
            fromLists.match(triples, tally);
            EXPECT_EQ(fromPeaks.matchTracks(pairs, tracks, tally), naive) << tracks.size() << " tracks, from peaks";
        }
    }
    // A speed hypothesis's landmarks (moved peaks) go through the same matchers.
    const auto sped = identifier.queryLandmarks(clips[0], {fp::Change::speed(1.03), 0});
    ASSERT_FALSE(sped.empty());
    EXPECT_EQ(fp::Matcher(catalog_.index(), config_.offsetTolerance).match(sped),
              fp::NaiveMatcher(catalog_.index(), config_.offsetTolerance).match(sped));
}

// Each track is indexed as heard across a large room as well, as pairs at frames kRoomFrames
// on: the counts pass them by but the one that folds them onto their track, which finds a clip
// from that room at the track's own offset with more hits than the track alone gives.
TEST_F(CatalogTest, ATracksRenderingAcrossALargeRoomCountsOnlyFoldedOntoIt) {
    std::map<uint32_t, int> roomEntries;
    for (const auto& segment : catalog_.index().segments())
        segment->forEachEntry([&](uint32_t hash, uint32_t track, int32_t frame) {
            if (frame < fp::FingerprintConfig::kRoomFrames)
                return;
            ++roomEntries[track];
            EXPECT_EQ(hash & 63u, 0u) << "a pair's (its second frame difference is 0), not a triple's";
        });
    EXPECT_EQ(roomEntries.size(), 3u);

    micsim::MicSettings across = test::mic(1000);
    across.room = fp::largeRoomResponse(config_);
    const std::vector<fp::Landmark> pairs =
        fp::HashBuilder(config_).buildPairs(fp::PeakExtractor(config_).extract(test::recordClip(test::track("battle.ogg"), 8.0, across),
                                                                               fp::PeakDensity::Query),
                                            config_.queryPairFanOut, config_.pairTimeJitter);
    const std::vector<uint32_t> everyTrack = {0, 1, 2};
    const fp::Matcher matcher(catalog_.index(), config_.offsetTolerance);
    fp::VoteTally tally, withRoom;
    const fp::Matcher::WithRoom counts = matcher.matchTracksWithRoom(pairs, everyTrack, tally, withRoom);
    EXPECT_EQ(counts.dry, matcher.matchTracks(pairs, everyTrack, tally));
    EXPECT_EQ(counts.dry, fp::NaiveMatcher(catalog_.index(), config_.offsetTolerance).matchTracks(pairs, everyTrack));
    EXPECT_EQ(counts.withRoom.track, 0u);
    EXPECT_GT(counts.withRoom.score, 4 * counts.dry.score) << counts.withRoom.score << " against " << counts.dry.score;
    EXPECT_NEAR(counts.withRoom.offset * config_.hopSize / 8000.0, 8.0, 0.2);

    fp::Matcher fromPeaks(catalog_.index(), config_.offsetTolerance);
    fromPeaks.countPairsFromPeaks(config_);
    EXPECT_FALSE(fromPeaks.matchTracksWithRoom(pairs, everyTrack, tally, withRoom).withRoom.any) << "a large catalog's way";
}

// The support of a match by pairs under a change is counted from the track's peaks around the
// match only, and is what a count of the whole track finds there: at the clip's place, a few
// frames beside it (where only the votes at the edge of the slack reach it), and 40 s away
// where the clip has none.
TEST_F(CatalogTest, TheSupportOfAMatchUnderAChangeIsCountedAroundItsPlace) {
    const fp::PeakExtractor extractor(config_);
    const fp::HashBuilder hashes(config_);
    const fp::Change change = fp::Change::speed(1.03);
    const std::vector<fp::Peak> peaks =
        extractor.extract(test::recordClip(test::track("battle.ogg"), 8.0, test::mic(10, 1.03)), fp::PeakDensity::Query);
    const auto pairs = hashes.buildPairs(extractor.undoChange(peaks, change), config_.pairFanOut(change), config_.pairTimeJitter);
    const fp::Matcher wholeTracks(catalog_.index(), config_.offsetTolerance);
    fp::Matcher around(catalog_.index(), config_.offsetTolerance);
    around.countPairsFromPeaks(config_, fp::Matcher::FromPeaks::withinWindows);
    fp::VoteTally tally;
    const fp::MatchCandidate found = wholeTracks.matchTracks(pairs, {0, 1, 2}, tally);
    ASSERT_EQ(found.track, 0u);
    const int32_t edge = config_.supportSlack + config_.offsetTolerance;
    for (const int32_t away : {0, 5, -edge + 1, edge - 1, edge, 40 * 63}) {
        fp::MatchCandidate whole = found, near = found;
        whole.offset = near.offset = found.offset + away;
        fp::addPairSupport(config_, extractor, hashes, wholeTracks, peaks, change, whole);
        fp::addPairSupport(config_, extractor, hashes, around, peaks, change, near);
        EXPECT_EQ(near.support, whole.support) << away << " frames from the clip";
        if (away == 0) {
            EXPECT_GE(whole.support, config_.minPairSupport);
        }
        if (away == 40 * 63) {
            EXPECT_LT(whole.support, config_.minPairSupport);
        }
    }
}

// The quick look under a change counts a nominee's pairs only around where its triples lined
// up: a window over the whole track counts what matchTracks counts, a window at the clip's
// place keeps the clip's alignment whole, and a window elsewhere in the track loses it.
TEST_F(CatalogTest, AQuickLookCountsPairsOnlyWithinEachNomineesWindow) {
    const fp::PeakExtractor extractor(config_);
    const std::vector<fp::Peak> peaks =
        extractor.extract(test::recordClip(test::track("battle.ogg"), 8.0, test::mic(10)), fp::PeakDensity::Query);
    const auto pairs = fp::HashBuilder(config_).buildPairs(peaks, config_.pairScreenFanOut, config_.pairTimeJitter);
    const std::vector<uint32_t> tracks = {0, 1, 2};
    const fp::MatchCandidate whole = fp::NaiveMatcher(catalog_.index(), config_.offsetTolerance).matchTracks(pairs, tracks);
    ASSERT_TRUE(whole.any);
    fp::Matcher fromPeaks(catalog_.index(), config_.offsetTolerance);
    fromPeaks.countPairsFromPeaks(config_);
    fp::VoteTally tally;
    const auto within = [&](std::vector<int32_t> offsets) {
        return fromPeaks.matchTracksWithin(pairs, tracks, fp::lookWindows(config_, peaks, offsets), tally);
    };
    const int32_t everywhere = 1 << 22;  // a margin past either end of any test track
    fp::FingerprintConfig wide = config_;
    wide.pairScreenMargin = everywhere;
    EXPECT_EQ(fromPeaks.matchTracksWithin(pairs, tracks, fp::lookWindows(wide, peaks, {0, 0, 0}), tally), whole);

    std::vector<int32_t> atTheClip(3, 0);
    atTheClip[whole.track] = whole.offset;
    const fp::MatchCandidate there = within(atTheClip);
    EXPECT_EQ(std::tuple(there.track, there.offset, there.score), std::tuple(whole.track, whole.offset, whole.score));

    std::vector<int32_t> elsewhere = atTheClip;
    elsewhere[whole.track] = whole.offset + 40 * 63;  // 40 s later
    const fp::MatchCandidate away = within(elsewhere);
    EXPECT_FALSE(away.any && away.track == whole.track && std::abs(away.offset - whole.offset) <= config_.offsetTolerance);
}

// Recordings of the catalog's tracks are found at their place: in a living room (0.5 s of
// reverberation, noise 10 dB down), under noise louder than the music (few triples survive
// whole; the pairs of the triples' leaders find the song), under pink noise louder than the
// music (as much power in each octave: the upper band's peaks are lost too, and a note's peak
// must not need to rise far above its bin's envelope to count as one), played 3 or 5 % fast
// or slow, a semitone higher or lower at the same tempo, or across a large hall (2.3 s of
// reverberation, noise 10 dB down: the reverberation moves each peak several frames later,
// each by its own amount; at 7 s into the third track the counts cannot tell it from the others,
// and the last look at their peaks in the spectrogram can), or played at a speed between the
// hypotheses tried (a hypothesis's pairs line up a speed 1-2 % away, so the hypotheses tried
// must lie no further apart than that). Music not in the catalog, and silence, match nothing.
TEST_F(CatalogTest, IdentifiesRecordingsOfItsTracksAndNothingElse) {
    const fp::Identifier identifier(config_, catalog_.index());
    using test::mic;
    micsim::MicSettings transposed = mic(1000);
    transposed.pitchSemitones = 1.0;
    micsim::MicSettings transposedDown = mic(1000);
    transposedDown.pitchSemitones = -1.0;
    micsim::MicSettings pink = mic(-5);
    pink.noise = micsim::MicSettings::Noise::pink;
    micsim::MicSettings hall = mic(10);
    hall.room = micsim::hallResponse(2.3, 1);
    constexpr int kForeign = -1;
    struct Case {
        int track;
        double at;
        micsim::MicSettings mic;
        bool between = false;  // a speed between the hypotheses: found under a neighbour or the plain one
    };
    std::vector<Case> cases = {{0, 6, mic(1000)}, {1, 9, mic(1000)}, {2, 12, mic(1000)}, {0, 6, mic(10, 1.0, true)}, {1, 9, mic(10, 1.0, true)},
                 {2, 12, mic(10, 1.0, true)}, {0, 5, mic(-5)}, {1, 12, mic(-5)}, {2, 3, mic(-5)}, {0, 14, mic(-5)},
                 {1, 2, mic(-5)}, {2, 17, mic(-5)}, {1, 6, pink}, {1, 9, pink}, {1, 11, pink}, {1, 9, mic(1000, 1.03)}, {1, 9, mic(1000, 0.97)},
                 {1, 9, mic(1000, 1.05)}, {1, 9, mic(1000, 0.95)}, {1, 9, transposed}, {2, 8, transposedDown},
                 {0, 4, hall}, {1, 18, hall}, {2, 3, hall}, {2, 7, hall},
                 {kForeign, 10, mic(1000)}, {kForeign, 40, mic(1000)}, {kForeign, 70, mic(1000)}, {kForeign, 40, hall}};
    for (const int track : {0, 1, 2})
        for (const double speed : {1.015, 0.985, 1.02, 0.98, 1.035, 0.965, 1.04, 0.96})
            cases.push_back({track, 9, mic(10, speed), true});
    for (const auto& c : cases) {
        const std::string name = c.track == kForeign ? test::kForeignTrack : test::kCatalogTracks[c.track];
        const bool changed = c.mic.speed != 1.0 || c.mic.pitchSemitones != 0;
        SCOPED_TRACE(name + " at " + std::to_string(c.at) + " s, SNR " + std::to_string(c.mic.snrDb) + " dB" +
                     (c.mic.noise == micsim::MicSettings::Noise::pink ? " pink" : "") + ", speed " +
                     std::to_string(c.mic.speed) + ", " + std::to_string(c.mic.pitchSemitones) + " semitones");
        const auto id = identifier.identify(test::recordClip(test::track(name), c.at, c.mic));
        EXPECT_EQ(id.matched, c.track != kForeign) << "score " << id.score << " over " << id.runnerUpScore;
        if (c.track == kForeign)
            continue;
        EXPECT_EQ(id.track, static_cast<uint32_t>(c.track));
        if (!c.between) {
            EXPECT_EQ(id.speed != 1.0 || id.pitch != 1.0, changed);
        }
        // A hall moves the peaks later, and the offset found with them.
        if (c.mic.snrDb > 0 && !changed && c.mic.room.empty()) {
            EXPECT_NEAR(id.offsetSeconds, c.at, 0.1);
        }
    }
    EXPECT_FALSE(identifier.identify(std::vector<float>(88000, 0.0f)).matched);
}

// Under a change the pairs get a quick look before their whole pass. Clips that only pairs
// under a change find are found as by the whole passes, and music not in the catalog is
// turned away as before, having read fewer postings. (A clip can be found a hypothesis
// later, nearer its true speed, when the look turns away a weak early one.)
TEST_F(CatalogTest, AQuickLookAtThePairsFindsWhatWholePassesFindAndSparesMusicNotInTheCatalog) {
    fp::FingerprintConfig wholePasses = config_;
    wholePasses.pairScreenFanOut = 0;
    const fp::Identifier quick(config_, catalog_.index()), whole(wholePasses, catalog_.index());
    micsim::MicSettings transposed = test::mic(1000);
    transposed.pitchSemitones = 1.0;
    micsim::MicSettings transposedDown = test::mic(1000);
    transposedDown.pitchSemitones = -1.0;
    const struct {
        const char* track;
        double at;
        micsim::MicSettings mic;
    } cases[] = {{test::kCatalogTracks[1], 9, transposed},       {test::kCatalogTracks[2], 14, transposed},
                 {test::kCatalogTracks[0], 7, transposedDown},   {test::kCatalogTracks[1], 9, test::mic(1000, 1.05)},
                 {test::kCatalogTracks[1], 12, test::mic(-5)},   {test::kForeignTrack, 10, test::mic(1000)},
                 {test::kForeignTrack, 40, test::mic(-5)},       {test::kForeignTrack, 70, transposed}};
    int byPairsUnderAChange = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.track) + " at " + std::to_string(c.at) + " s");
        const auto clip = test::recordClip(test::track(c.track), c.at, c.mic);
        const fp::Identification looked = quick.identify(clip), wholly = whole.identify(clip);
        auto withoutReading = [](const fp::Identification& id) {
            fp::Identification same = id;
            same.postingsRead = 0;
            return test::answerOf(same);
        };
        EXPECT_EQ(withoutReading(looked), withoutReading(wholly));
        if (c.track == test::kForeignTrack) {
            EXPECT_FALSE(looked.matched);
            EXPECT_LT(looked.postingsRead, wholly.postingsRead);
        }
        byPairsUnderAChange += looked.matched && looked.byPairs && (looked.speed != 1.0 || looked.pitch != 1.0);
    }
    EXPECT_GE(byPairsUnderAChange, 2) << "the table must hold clips that only pairs under a change find";
}

// Held notes whose energy sits in 300-600 Hz, over a hum far below them across the rest of
// the band. Noise drowns the quiet band, so the notes must make the landmarks on their own:
// the hum's peaks are left out (the relative floor), and a held note peaks where it starts
// (PeakExtractor::salience), not at whichever frame of its flat top noise makes loudest.
TEST(PeakExtractor, MusicInALowNarrowBandIsFoundUnderNoise) {
    test::TempDir dir;
    std::vector<float> melody(8000 * 30);
    uint32_t state = 99;
    const auto next = [&state] { return (state = state * 1664525u + 1013904223u) >> 8; };
    double phase = 0.0;
    for (size_t note = 0; note * 2000 < melody.size(); ++note) {
        const double hz = 310.0 + static_cast<double>(next() % 280);
        for (size_t i = note * 2000; i < std::min(melody.size(), (note + 1) * 2000); ++i) {
            phase += 2.0 * std::numbers::pi * hz / 8000.0;
            const double hum = 0.0003 * (static_cast<double>(next() % 2001) / 1000.0 - 1.0);
            melody[i] = static_cast<float>(0.4 * std::sin(phase) + 0.15 * std::sin(2.7 * phase + 0.3) * (hz < 330) + hum);
        }
    }
    const std::string path = dir.path() + "/low.wav";
    std::ofstream(path, std::ios::binary) << test::wavBytes(melody, 8000, 1) << std::flush;
    test::buildCatalog({path, test::track(test::kCatalogTracks[0])}, dir.path() + "/catalog");
    catalog::Catalog catalog;
    test::openCatalog(catalog, dir.path() + "/catalog");
    const fp::Identifier identifier(fp::FingerprintConfig{}, catalog.index());
    for (const auto& [snrDb, gsm] : {std::pair{1000.0, false}, {10.0, false}, {5.0, false}, {0.0, false}, {5.0, true}}) {
        micsim::MicSettings mic;
        mic.snrDb = snrDb;
        mic.gsm = gsm;
        const auto id = identifier.identify(test::recordClip(path, 9.0, mic));
        EXPECT_TRUE(id.matched && id.track == 0) << "SNR " << snrDb << (gsm ? " GSM" : "") << ": track " << id.track << " score " << id.score;
    }
}
