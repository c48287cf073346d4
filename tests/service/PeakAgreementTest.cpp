// The last look at undecided leaders: a track's peaks read in the recording's spectrogram,
// against the same peaks moved round the recording.
#include "TestSupport.h"

#include "fingerprint/IndexFormat.h"
#include "fingerprint/IndexWriter.h"
#include "fingerprint/PeakAgreement.h"

#include <gtest/gtest.h>

#include <random>

using namespace melodex;

namespace {

constexpr int kFrames = 700;   // 11 s
constexpr int32_t kAt = 1000;  // where in its track the recording starts

struct Scene {
    fp::FingerprintConfig config;
    int bins = config.maxBin - config.minBin + 1;
    std::vector<float> power;

    // Noise a few dB either side of -40 dB in every cell.
    explicit Scene(uint32_t seed) : power(static_cast<size_t>(kFrames) * static_cast<size_t>(bins)) {
        std::mt19937 random(seed);
        std::uniform_real_distribution<float> noise(-45.0f, -35.0f);
        for (float& cell : power)
            cell = noise(random);
    }
    float& cell(int frame, int bin) {
        return power[static_cast<size_t>(frame) * static_cast<size_t>(bins) + static_cast<size_t>(bin - config.minBin)];
    }
    // The track's peaks within the recording made `db` louder, `late` frames later and `up`
    // bins higher than the track has them.
    // Only within [from, to) of the recording's frames, when given.
    void play(const std::vector<uint32_t>& track, float db, int late = 0, int up = 0, int from = 0, int to = kFrames) {
        for (const uint32_t p : track) {
            const int frame = fp::peakFrame(p) - kAt + late;
            const int bin = fp::peakBin(p) + up;
            if (frame >= from && frame < to && bin >= config.minBin && bin <= config.maxBin)
                cell(frame, bin) += db;
        }
    }
    fp::Agreement agreement(const std::vector<uint32_t>& track, int32_t offset = kAt) const {
        return fp::agreementOf(config, fp::AgreementMap(config, power, kFrames), track, offset);
    }
};

// A track of 3000 frames with a peak every 4 frames at a random bin, packed as the index keeps them.
std::vector<uint32_t> randomTrack(uint32_t seed) {
    std::mt19937 random(seed);
    const fp::FingerprintConfig config;
    std::uniform_int_distribution<int> bin(config.minBin, config.maxBin);
    std::vector<uint32_t> peaks;
    for (int frame = 0; frame < 3000; frame += 4)
        peaks.push_back(fp::packPeak(frame, bin(random)));
    return peaks;
}

} // namespace

// The track's peaks count where the recording holds them, or a few frames later (a hall delays
// a peak), or a bin aside; not earlier, not later than the frames allowed, not two bins off,
// and not at another place in the track.
TEST(PeakAgreement, ATrackAgreesWhereItsPeaksAreHeardLateButNeverEarly) {
    const std::vector<uint32_t> track = randomTrack(1);
    const fp::FingerprintConfig config;
    const int late = config.agreementLateFrames;
    const struct {
        int late;
        int up;
        int32_t lookAt;
        bool agrees;
    } cases[] = {{0, 0, kAt, true},      {late, 0, kAt, true},  {3, 1, kAt, true},       {0, -1, kAt, true},
                 {late + 4, 0, kAt, false}, {-2, 0, kAt, false}, {0, 2, kAt, false}, {0, 0, kAt + 400, false}};
    for (const auto& c : cases) {
        Scene scene(7);
        scene.play(track, 6.0f, c.late, c.up);
        const fp::Agreement agreement = scene.agreement(track, c.lookAt);
        SCOPED_TRACE(::testing::Message() << "heard " << c.late << " frames late, " << c.up << " bins up, looked for at " << c.lookAt);
        EXPECT_EQ(agreement.whole >= config.minAgreement, c.agrees) << agreement.whole << " over the whole";
        EXPECT_EQ(agreement.lesserHalf >= config.minHalfAgreement, c.agrees) << agreement.lesserHalf << " in each half";
    }
}

// Music a few dB over the noise at only part of its peaks (the rest buried, as under loud noise
// or a hall's tail) is heard: the few cells standing clear of the noise are the evidence.
TEST(PeakAgreement, MusicJustOverTheNoiseAtPartOfItsPeaksAgrees) {
    const std::vector<uint32_t> track = randomTrack(1);
    const fp::FingerprintConfig config;
    const struct {
        int everyNth;  // the peaks heard: one in this many
        float db;
    } cases[] = {{2, 3.0f}, {4, 4.0f}};
    for (const auto& c : cases) {
        Scene scene(7);
        std::vector<uint32_t> heard;
        for (size_t i = 0; i < track.size(); i += static_cast<size_t>(c.everyNth))
            heard.push_back(track[i]);
        scene.play(heard, c.db);
        const fp::Agreement agreement = scene.agreement(track);
        SCOPED_TRACE(::testing::Message() << "one peak in " << c.everyNth << " heard " << c.db << " dB over the noise");
        EXPECT_GE(agreement.whole, config.minAgreement);
        EXPECT_GE(agreement.lesserHalf, config.minHalfAgreement);
    }
}

// What the recording holds loud whatever plays is not evidence: a bin loud all through it (a
// hum, the colour of a noise), a passage loud in every bin. A track whose peaks sit there agrees
// no more than chance, when its notes are not the ones heard there.
TEST(PeakAgreement, WhatIsLoudWhateverPlaysIsNoEvidence) {
    const fp::FingerprintConfig config;
    std::vector<uint32_t> onOneBin, crowded;
    for (int frame = 0; frame < 3000; frame += 4)
        onOneBin.push_back(fp::packPeak(frame, 50));
    std::mt19937 random(6);
    std::uniform_int_distribution<int> bin(config.minBin, config.maxBin);
    for (int frame = kAt; frame < kAt + 100; frame += 2)
        crowded.push_back(fp::packPeak(frame, bin(random)));
    const struct {
        const char* name;
        uint32_t seed;
        std::vector<uint32_t> track;
        float db;
        int frames, fromBin, toBin;  // made louder: these bins of the recording's first frames
    } cases[] = {{"a bin loud all through, the track's peaks in it", 3, onOneBin, 30.0f, kFrames, 50, 50},
                 {"the loudest second and a half, the track's peaks crowded there", 6, crowded, 20.0f, 100, config.minBin, config.maxBin}};
    for (const auto& c : cases) {
        Scene scene(c.seed);
        for (int frame = 0; frame < c.frames; ++frame)
            for (int b = c.fromBin; b <= c.toBin; ++b)
                scene.cell(frame, b) += c.db;
        EXPECT_LT(scene.agreement(c.track).whole, config.minAgreement) << c.name;
        EXPECT_LT(scene.agreement(c.track).lesserHalf, config.minHalfAgreement) << c.name;
    }
}

// Nothing to weigh gives no agreement: no recording, a track with no peaks there, a track of a
// few peaks.
TEST(PeakAgreement, TooLittleToWeighAgreesNothing) {
    const fp::FingerprintConfig config;
    const std::vector<uint32_t> track = randomTrack(2);
    Scene scene(4);
    scene.play(track, 6.0f);
    const std::vector<uint32_t> few(track.begin() + 250, track.begin() + 255);
    const struct {
        const char* name;
        fp::Agreement agreement;
    } cases[] = {{"no recording", fp::agreementOf(config, fp::AgreementMap(config, {}, 0), track, kAt)},
                 {"the track long before the recording", scene.agreement(track, -100000)},
                 {"the track long after it", scene.agreement(track, 100000)},
                 {"a few peaks", scene.agreement(few)},
                 {"no peaks", scene.agreement({})}};
    for (const auto& c : cases) {
        EXPECT_EQ(c.agreement.whole, 0.0) << c.name;
        EXPECT_EQ(c.agreement.lesserHalf, 0.0) << c.name;
    }
}

namespace {

// An index of nine tracks: the first and the last the same music, the others each its own; the
// third also as heard across a large room (its rendering's peaks after its own, as the catalog
// keeps them).
struct Catalog {
    test::TempDir dir;
    fp::FingerprintIndex index;
    std::vector<uint32_t> played = randomTrack(10);
    std::vector<uint32_t> rendering = randomTrack(40);  // the third track's, at its own frames

    Catalog() {
        std::string error;
        {
            fp::IndexWriter writer(dir.path() + "/work", size_t{1} << 24);
            for (uint32_t track = 1; track <= 9; ++track) {
                const std::vector<uint32_t> packed = track == 1 || track == 9 ? played : randomTrack(10 + track);
                std::vector<fp::Peak> peaks;
                for (const uint32_t p : packed)
                    peaks.push_back({fp::peakFrame(p), fp::peakBin(p)});
                if (track == 3)
                    for (const uint32_t p : rendering)
                        peaks.push_back({fp::peakFrame(p) + fp::FingerprintConfig::kRoomFrames, fp::peakBin(p)});
                EXPECT_TRUE(writer.add(track, {{track, 0}}, peaks, error)) << error;
            }
            EXPECT_TRUE(writer.write(dir.path() + "/seg", error)) << error;
        }
        EXPECT_TRUE(index.open({dir.path() + "/seg"}, {}, error)) << error;
    }
};

// Leaders in the count's order, all at the recording's place; the first scores `lead` more
// than the rest.
std::vector<fp::Leader> leadersOf(const std::vector<uint32_t>& tracks, int lead) {
    std::vector<fp::Leader> all;
    for (const uint32_t t : tracks)
        all.push_back({t, all.empty() ? 30 + lead : 30, kAt});
    return all;
}

// The look at the count's `leaders` in the recording of `scene`: the track it takes, if any,
// and how the played track (the first) agrees.
struct Look {
    std::optional<uint32_t> taken;
    fp::Agreement played;
};
Look lookAt(const Catalog& catalog, const Scene& scene, const std::vector<fp::Leader>& leaders) {
    const fp::AgreementMap map(scene.config, scene.power, kFrames);
    const std::optional<fp::Agreed> agreed = fp::agreedLeader(scene.config, map, catalog.index, leaders);
    return {agreed ? std::optional<uint32_t>{agreed->leader.track} : std::nullopt,
            fp::agreementOf(scene.config, map, catalog.index.peaksOf(1), kAt)};
}

} // namespace

// A track first in the count is taken when it agrees clear of the other leaders checked: the
// look settles what the count left open, never overturns its order. Of tracks level in first
// place, the one that agrees clear of all others is taken, wherever the list has it. The same
// music held twice leaves no lead, unless the second copy is past the leaders checked.
// Music heard all through the recording is taken at a level that music heard in one half only
// is not (chance follows a track's notes for a few seconds, not all through); music in one half
// only (a short track, a recording that starts as the song ends) is taken when it stands out
// further. A leader far ahead of the next is taken on less agreement than one a little ahead,
// though never on next to none.
TEST(PeakAgreement, ATrackFirstInTheCountIsTakenWhenItAgreesClearOfTheOthersAsFarAsItsLeadAsks) {
    const Catalog catalog;
    const std::vector<uint32_t> four = {1, 2, 3, 4};
    const struct {
        const char* name;
        float db;
        std::vector<uint32_t> tracks;
        int lead;  // over the other leaders' 30
        bool taken;
        int from = 0, to = kFrames;  // the recording's frames the music is heard in
    } cases[] = {{"the played track leading the count", 6.0f, four, 1, true},
                 {"the played track alone", 6.0f, {1}, 0, true},
                 {"no leader played", 6.0f, {2, 3, 4, 5, 6, 7}, 1, false},
                 {"the played track second in the count", 6.0f, {2, 1, 3}, 1, false},
                 {"the played track level with another in the count", 6.0f, {1, 2, 3}, 0, true},
                 {"the played track level with another listed before it", 6.0f, {2, 1, 3}, 0, true},
                 {"the played track held twice", 6.0f, {1, 9, 2}, 1, false},
                 {"the played track held twice, level in the count", 6.0f, {1, 9, 2}, 0, false},
                 {"the second copy past the leaders checked", 6.0f, {1, 2, 3, 4, 5, 6, 9}, 1, true},
                 {"no leaders", 6.0f, {}, 1, false},
                 {"all through, faint", 2.25f, four, 1, true},
                 {"the first half only, faint", 2.25f, four, 1, false, 0, kFrames / 2},
                 {"the second half only, faint", 2.25f, four, 1, false, kFrames / 2, kFrames},
                 {"the first half only, clear", 4.0f, four, 1, true, 0, kFrames / 2},
                 {"not at all", 0.0f, four, 1, false},
                 {"fainter, a hair ahead", 1.75f, four, 1, false},
                 {"fainter, a fifth ahead", 1.75f, four, 6, false},
                 {"fainter, twice the next", 1.75f, four, 30, true},
                 {"fainter, alone in the count", 1.75f, {1}, 0, true},
                 {"next to nothing, three times the next", 1.0f, four, 60, false}};
    for (const auto& c : cases) {
        Scene scene(5);
        scene.play(catalog.played, c.db, 4, 0, c.from, c.to);
        const Look look = lookAt(catalog, scene, leadersOf(c.tracks, c.lead));
        EXPECT_EQ(look.taken, c.taken ? std::optional<uint32_t>{1} : std::nullopt)
            << c.name << ": " << look.played.whole << " over the whole, " << look.played.lesserHalf << " in each half";
    }
}

// A recording from a large hall may agree with a track as heard there and with none of the
// leaders dry: the renderings are read when the tracks' own peaks settle nothing, under the same
// rules (the count's first only), and never before them.
TEST(PeakAgreement, ATrackIsTakenByItsRenderingAcrossALargeRoomWhenTheOwnPeaksSettleNothing) {
    const Catalog catalog;
    const struct {
        const char* name;
        bool renderingHeard, firstHeard;
        std::vector<uint32_t> tracks;
        int lead;
        std::optional<uint32_t> taken;
    } cases[] = {{"its rendering heard, it first in the count", true, false, {3, 2, 4}, 1, 3},
                 {"its rendering heard, it second in the count", true, false, {2, 3, 4}, 1, std::nullopt},
                 {"level with a track whose own peaks are heard", true, true, {3, 1, 2}, 0, 1},
                 {"nothing of it heard", false, false, {3, 2, 4}, 1, std::nullopt}};
    for (const auto& c : cases) {
        Scene scene(5);
        if (c.renderingHeard)
            scene.play(catalog.rendering, 6.0f, 4);
        if (c.firstHeard)
            scene.play(catalog.played, 6.0f, 4);
        EXPECT_EQ(lookAt(catalog, scene, leadersOf(c.tracks, c.lead)).taken, c.taken) << c.name;
    }
}

// What the look asks falls as the count's leader leads further, from the full thresholds to a
// floor it never passes; a leader alone in the count is asked the floor.
TEST(PeakAgreement, WhatTheLookAsksFallsWithTheCountsLeadToAFloor) {
    const fp::FingerprintConfig config;
    const auto asked = [&](const std::vector<uint32_t>& tracks, int lead) {
        return fp::agreementAsked(config, leadersOf(tracks, lead));
    };
    const fp::Agreement level = asked({1, 2}, 0), alone = asked({1}, 0);
    EXPECT_DOUBLE_EQ(level.lesserHalf, config.minHalfAgreement);
    EXPECT_DOUBLE_EQ(level.whole, config.minAgreement);
    fp::Agreement before = level;
    for (int lead = 1; lead <= 300; ++lead) {
        const fp::Agreement now = asked({1, 2}, lead);
        EXPECT_LE(now.lesserHalf, before.lesserHalf) << lead;
        EXPECT_LE(now.whole, before.whole) << lead;
        EXPECT_GE(now.lesserHalf, alone.lesserHalf) << lead;
        EXPECT_GE(now.whole, alone.whole) << lead;
        before = now;
    }
    EXPECT_DOUBLE_EQ(before.lesserHalf, alone.lesserHalf);
    EXPECT_DOUBLE_EQ(before.whole, alone.whole);
    EXPECT_LT(asked({1, 2}, 30).lesserHalf, level.lesserHalf);
    EXPECT_LT(asked({1, 2}, 30).whole, level.whole);
    EXPECT_GT(alone.lesserHalf, 0.0);
    EXPECT_GT(alone.whole, alone.lesserHalf);
}

// Two tracks level in first place, one heard loud in the first half of the recording, the other
// faintly all through: each is taken when it alone agrees clear of the rest, and neither when
// each stands clear in a figure of its own (the first over the whole, the second in each half).
TEST(PeakAgreement, OfTracksLevelInFirstPlaceOnlyOneThatAloneAgreesClearIsTaken) {
    const Catalog catalog;
    const std::vector<uint32_t> other = randomTrack(12);  // track 2's peaks
    const struct {
        float loud, faint;
        std::optional<uint32_t> taken;
    } cases[] = {{8.0f, 2.0f, 1}, {4.0f, 3.0f, 2}, {6.0f, 2.5f, std::nullopt}};
    for (const auto& c : cases) {
        Scene scene(5);
        scene.play(catalog.played, c.loud, 4, 0, 0, kFrames / 2);
        scene.play(other, c.faint, 4);
        EXPECT_EQ(lookAt(catalog, scene, leadersOf({1, 2, 3}, 0)).taken, c.taken) << c.loud << " dB loud, " << c.faint << " dB faint";
    }
}
