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
        EXPECT_EQ(agreement.whole >= config.minAgreement, c.agrees)
            << "heard " << c.late << " frames late, " << c.up << " bins up, looked for at " << c.lookAt << ": " << agreement.whole;
        EXPECT_EQ(agreement.lesserHalf >= config.minHalfAgreement, c.agrees)
            << "heard " << c.late << " frames late, " << c.up << " bins up, looked for at " << c.lookAt << ": "
            << agreement.lesserHalf << " in each half";
    }
}

// What stands in a bin all through the recording (a hum, the colour of a noise) is not
// evidence: a track whose peaks sit in that bin agrees no more than chance.
TEST(PeakAgreement, ABinLoudAllThroughTheRecordingIsNoEvidence) {
    Scene scene(3);
    std::vector<uint32_t> onOneBin;
    for (int frame = 0; frame < 3000; frame += 4)
        onOneBin.push_back(fp::packPeak(frame, 50));
    for (int frame = 0; frame < kFrames; ++frame)
        scene.cell(frame, 50) += 30.0f;
    EXPECT_LT(scene.agreement(onOneBin).whole, scene.config.minAgreement);
    EXPECT_LT(scene.agreement(onOneBin).lesserHalf, scene.config.minHalfAgreement);
}

// Nor is a loud passage: a track whose peaks crowd into the second and a half where the
// recording is loudest agrees no more than chance, when its notes are not the ones heard there.
TEST(PeakAgreement, ALoudPassageIsNoEvidenceForTheTrackThatCrowdsThere) {
    Scene scene(6);
    std::mt19937 random(6);
    std::uniform_int_distribution<int> bin(scene.config.minBin, scene.config.maxBin);
    std::vector<uint32_t> crowded;
    for (int frame = kAt; frame < kAt + 100; frame += 2)
        crowded.push_back(fp::packPeak(frame, bin(random)));
    for (int frame = 0; frame < 100; ++frame)
        for (int b = scene.config.minBin; b <= scene.config.maxBin; ++b)
            scene.cell(frame, b) += 20.0f;
    EXPECT_LT(scene.agreement(crowded).whole, scene.config.minAgreement);
    EXPECT_LT(scene.agreement(crowded).lesserHalf, scene.config.minHalfAgreement);
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

// An index of nine tracks: the first and the last the same music, the others each its own.
struct Catalog {
    test::TempDir dir;
    fp::FingerprintIndex index;
    std::vector<uint32_t> played = randomTrack(10);

    Catalog() {
        std::string error;
        {
            fp::IndexWriter writer(dir.path() + "/work", size_t{1} << 24);
            for (uint32_t track = 1; track <= 9; ++track) {
                const std::vector<uint32_t> packed = track == 1 || track == 9 ? played : randomTrack(10 + track);
                std::vector<fp::Peak> peaks;
                for (const uint32_t p : packed)
                    peaks.push_back({fp::peakFrame(p), fp::peakBin(p)});
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

// The count's leader is taken when it leads the count outright and agrees clear of the other
// leaders checked: the look settles what the count left open, never overturns its order. The
// same music held twice leaves no lead, unless the second copy is past the leaders checked.
TEST(PeakAgreement, TheCountsOutrightLeaderIsTakenOnlyWhenItAgreesClearOfTheOthers) {
    const Catalog catalog;
    Scene scene(5);
    scene.play(catalog.played, 6.0f, 4);
    const struct {
        const char* name;
        std::vector<uint32_t> tracks;
        int lead;
        std::optional<uint32_t> taken;
    } cases[] = {{"the played track leading the count", {1, 2, 3, 4}, 1, 1},
                 {"the played track alone", {1}, 0, 1},
                 {"no leader played", {2, 3, 4, 5, 6, 7}, 1, std::nullopt},
                 {"the played track second in the count", {2, 1, 3}, 1, std::nullopt},
                 {"the played track level with another in the count", {1, 2, 3}, 0, std::nullopt},
                 {"the played track held twice", {1, 9, 2}, 1, std::nullopt},
                 {"the second copy past the leaders checked", {1, 2, 3, 4, 5, 6, 9}, 1, 1},
                 {"no leaders", {}, 1, std::nullopt}};
    for (const auto& c : cases)
        EXPECT_EQ(lookAt(catalog, scene, leadersOf(c.tracks, c.lead)).taken, c.taken) << c.name;
}

// Music heard all through the recording is taken at a level that music heard in one half only
// is not: chance follows a track's notes for a few seconds, not all through. Music in one half
// only (a short track, a recording that starts as the song ends) is taken when it stands out
// further over the whole.
TEST(PeakAgreement, MusicHeardAllThroughIsTakenAtLessThanMusicHeardInOneHalf) {
    const Catalog catalog;
    const struct {
        const char* name;
        float db;
        int from;
        int to;
        bool taken;
    } cases[] = {{"all through, faint", 2.25f, 0, kFrames, true},
                 {"the first half only, faint", 2.25f, 0, kFrames / 2, false},
                 {"the second half only, faint", 2.25f, kFrames / 2, kFrames, false},
                 {"the first half only, clear", 4.0f, 0, kFrames / 2, true},
                 {"not at all", 0.0f, 0, kFrames, false}};
    for (const auto& c : cases) {
        Scene scene(5);
        scene.play(catalog.played, c.db, 4, 0, c.from, c.to);
        const Look look = lookAt(catalog, scene, leadersOf({1, 2, 3, 4}, 1));
        EXPECT_EQ(look.taken.has_value(), c.taken) << c.name << ": " << look.played.whole << " over the whole, " << look.played.lesserHalf
                                       << " in each half";
    }
}

// The count's lead is evidence too: a leader far ahead of the next is taken on less agreement
// than one a little ahead, though never on next to none.
TEST(PeakAgreement, ALeaderFarAheadInTheCountIsTakenOnLessAgreement) {
    const Catalog catalog;
    const struct {
        const char* name;
        float db;
        std::vector<uint32_t> tracks;
        int lead;  // over the next leader's 30
        bool taken;
    } cases[] = {{"faint, a hair ahead", 2.0f, {1, 2, 3, 4}, 1, false},
                 {"faint, a fifth ahead", 2.0f, {1, 2, 3, 4}, 6, false},
                 {"faint, twice the next", 2.0f, {1, 2, 3, 4}, 30, true},
                 {"faint, alone in the count", 2.0f, {1}, 0, true},
                 {"next to nothing, three times the next", 1.0f, {1, 2, 3, 4}, 60, false}};
    for (const auto& c : cases) {
        Scene scene(5);
        scene.play(catalog.played, c.db, 4);
        const Look look = lookAt(catalog, scene, leadersOf(c.tracks, c.lead));
        EXPECT_EQ(look.taken.has_value(), c.taken) << c.name << ": " << look.played.lesserHalf << " in each half";
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
