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
    void play(const std::vector<uint32_t>& track, float db, int late = 0, int up = 0) {
        for (const uint32_t p : track) {
            const int frame = fp::peakFrame(p) - kAt + late;
            const int bin = fp::peakBin(p) + up;
            if (frame >= 0 && frame < kFrames && bin >= config.minBin && bin <= config.maxBin)
                cell(frame, bin) += db;
        }
    }
    double agreement(const std::vector<uint32_t>& track, int32_t offset = kAt) const {
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
        const double agreement = scene.agreement(track, c.lookAt);
        EXPECT_EQ(agreement >= config.minAgreement, c.agrees)
            << "heard " << c.late << " frames late, " << c.up << " bins up, looked for at " << c.lookAt << ": " << agreement;
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
    EXPECT_LT(scene.agreement(onOneBin), scene.config.minAgreement);
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
    EXPECT_LT(scene.agreement(crowded), scene.config.minAgreement);
}

// Nothing to weigh gives no agreement: no recording, a track with no peaks there, a track of a
// few peaks.
TEST(PeakAgreement, TooLittleToWeighAgreesNothing) {
    const fp::FingerprintConfig config;
    const std::vector<uint32_t> track = randomTrack(2);
    EXPECT_EQ(fp::agreementOf(config, fp::AgreementMap(config, {}, 0), track, kAt), 0.0);
    Scene scene(4);
    scene.play(track, 6.0f);
    EXPECT_EQ(scene.agreement(track, -100000), 0.0);
    EXPECT_EQ(scene.agreement(track, 100000), 0.0);
    const std::vector<uint32_t> few(track.begin() + 250, track.begin() + 255);
    EXPECT_EQ(scene.agreement(few), 0.0);
    EXPECT_EQ(scene.agreement({}), 0.0);
}

// The count's leader is taken when it leads the count outright and agrees clear of the other
// leaders checked: the look settles what the count left open, never overturns its order. The
// same music held twice leaves no lead, unless the second copy is past the leaders checked.
TEST(PeakAgreement, TheCountsOutrightLeaderIsTakenOnlyWhenItAgreesClearOfTheOthers) {
    const test::TempDir dir;
    const fp::FingerprintConfig config;
    const std::vector<uint32_t> played = randomTrack(10);
    std::string error;
    {
        fp::IndexWriter writer(dir.path() + "/work", size_t{1} << 24);
        for (uint32_t track = 1; track <= 9; ++track) {
            const std::vector<uint32_t> packed = track == 1 || track == 9 ? played : randomTrack(10 + track);
            std::vector<fp::Peak> peaks;
            for (const uint32_t p : packed)
                peaks.push_back({fp::peakFrame(p), fp::peakBin(p)});
            ASSERT_TRUE(writer.add(track, {{track, 0}}, peaks, error)) << error;
        }
        ASSERT_TRUE(writer.write(dir.path() + "/seg", error)) << error;
    }
    fp::FingerprintIndex index;
    ASSERT_TRUE(index.open({dir.path() + "/seg"}, {}, error)) << error;
    Scene scene(5);
    scene.play(played, 6.0f, 4);
    const fp::AgreementMap map(config, scene.power, kFrames);

    // Leaders in the count's order; the first of them scores `lead` more than the rest.
    const auto leaders = [](std::vector<uint32_t> tracks, int lead) {
        std::vector<fp::Leader> all;
        for (const uint32_t t : tracks)
            all.push_back({t, all.empty() ? 30 + lead : 30, kAt});
        return all;
    };
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
    for (const auto& c : cases) {
        const std::vector<fp::Leader> given = leaders(c.tracks, c.lead);
        const std::optional<fp::Agreed> agreed = fp::agreedLeader(config, map, index, given);
        EXPECT_EQ(agreed ? std::optional<uint32_t>{agreed->leader.track} : std::nullopt, c.taken) << c.name;
        if (agreed) {
            EXPECT_GE(agreed->agreement, config.minAgreement) << c.name;
            EXPECT_GE(agreed->agreement - agreed->runnerUp, config.minAgreementLead) << c.name;
        }
    }
}
