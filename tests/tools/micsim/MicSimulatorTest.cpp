// The microphone simulator's conditions do to a sound what they say: measured on tones.
#include "Biquad.h"
#include "Degradations.h"
#include "MicSimulator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <filesystem>
#include <numbers>
#include <unistd.h>

namespace melodex::micsim {
namespace {

constexpr int kTrackRate = 16000;
constexpr int kRate = 8000;

// A track of silence with tones summed over [from, to) seconds.
std::vector<float> track(std::vector<double> hertz, double from, double to, double seconds = 12.0) {
    std::vector<float> x(static_cast<size_t>(seconds * kTrackRate), 0.0f);
    for (auto i = static_cast<size_t>(from * kTrackRate); i < static_cast<size_t>(to * kTrackRate); ++i)
        for (double f : hertz)
            x[i] += 0.2f * static_cast<float>(std::sin(2.0 * std::numbers::pi * f * static_cast<double>(i) / kTrackRate));
    return x;
}

std::vector<float> record(const std::vector<float>& source, MicSettings settings) {
    std::vector<float> clip;
    std::string error;
    EXPECT_TRUE(MicSimulator(settings).simulate(source, kTrackRate, clip, error)) << error;
    return clip;
}

double power(const std::vector<float>& x, size_t from = 0, size_t to = SIZE_MAX) {
    to = std::min(to, x.size());
    double sum = 0.0;
    for (size_t i = from; i < to; ++i)
        sum += static_cast<double>(x[i]) * x[i];
    return sum / static_cast<double>(std::max<size_t>(1, to - from));
}

double db(double ratio) { return 10.0 * std::log10(ratio); }

// Level of each 10 ms frame, in dB.
std::vector<double> frameLevels(const std::vector<float>& x) {
    std::vector<double> levels;
    for (size_t at = 0; at + kRate / 100 <= x.size(); at += kRate / 100)
        levels.push_back(db(power(x, at, at + kRate / 100) + 1e-30));
    return levels;
}

// Seconds the sound stays within 10 dB of its loudest frame.
double soundingSeconds(const std::vector<float>& x) {
    const std::vector<double> levels = frameLevels(x);
    const double loudest = *std::max_element(levels.begin(), levels.end());
    return 0.01 * static_cast<double>(std::count_if(levels.begin(), levels.end(), [&](double l) { return l > loudest - 10.0; }));
}

// Frequency of a steady tone from its zero crossings over [from, to) seconds.
double toneHertz(const std::vector<float>& x, double from, double to) {
    int crossings = 0;
    for (auto i = static_cast<size_t>(from * kRate) + 1; i < static_cast<size_t>(to * kRate); ++i)
        crossings += (x[i - 1] < 0.0f) != (x[i] < 0.0f);
    return crossings / (2.0 * (to - from));
}

// Power at one frequency (a single DFT bin over the whole clip).
double powerAt(const std::vector<float>& x, double hertz) {
    std::complex<double> sum = 0.0;
    for (size_t i = 0; i < x.size(); ++i)
        sum += static_cast<double>(x[i]) * std::polar(1.0, -2.0 * std::numbers::pi * hertz * static_cast<double>(i) / kRate);
    return std::norm(sum);
}

TEST(MicSimulator, SpeedAndPitchMoveATonesFrequencyAndOnlySpeedItsLength) {
    struct Case {
        const char* name;
        double speed, semitones;
        double frequencyRatio, lengthRatio;
    } cases[] = {
        {"an octave up", 1.0, 12.0, 2.0, 1.0},
        {"an octave down", 1.0, -12.0, 0.5, 1.0},
        {"a semitone up", 1.0, 1.0, std::pow(2.0, 1.0 / 12.0), 1.0},
        {"5 % fast", 1.05, 0.0, 1.05, 1.0 / 1.05},
        {"8 % slow", 0.92, 0.0, 0.92, 1.0 / 0.92},
    };
    const std::vector<float> source = track({1000.0}, 1.0, 5.0);
    for (const Case& c : cases) {
        MicSettings settings;
        settings.speed = c.speed;
        settings.pitchSemitones = c.semitones;
        const std::vector<float> clip = record(source, settings);
        EXPECT_EQ(clip.size(), 11u * kRate) << c.name;
        EXPECT_NEAR(toneHertz(clip, 2.0, 3.5), 1000.0 * c.frequencyRatio, 5.0) << c.name;
        EXPECT_NEAR(soundingSeconds(clip), 4.0 * c.lengthRatio, 0.06) << c.name;
    }
}

TEST(MicSimulator, ARoomsImpulseResponseLengthensTheDecayToItsReverberationTime) {
    char dir[] = "/tmp/micsim-test-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string file = std::string(dir) + "/hall.wav";
    std::string error;
    ASSERT_TRUE(MicSimulator::writeWav(file, hallResponse(1.0, 3), error)) << error;
    std::vector<float> fromFile;
    ASSERT_TRUE(loadImpulse(file, fromFile, error)) << error;
    std::filesystem::remove_all(dir);

    struct Case {
        const char* name;
        std::vector<float> room;
        double rt60;  // 0: no room
    } cases[] = {{"no room", {}, 0.0}, {"a 2.3 s hall", hallResponse(2.3, 7), 2.3}, {"a 1 s hall from a file", fromFile, 1.0}};
    // Many tones across the mid band: through a room, a single tone's level depends on where its
    // frequency falls between the room's peaks and notches.
    const std::vector<float> source = track({600.0, 800.0, 1000.0, 1200.0, 1400.0, 1600.0, 1800.0}, 1.0, 3.0);
    for (const Case& c : cases) {
        MicSettings settings;
        settings.room = c.room;
        const std::vector<double> levels = frameLevels(record(source, settings));
        // The tone's steady level, then how long after it stops the sound falls 30 dB below it.
        const double steady = levels[250];
        const auto end = static_cast<size_t>(std::find_if(levels.begin() + 300, levels.end(),
                                                          [&](double l) { return l < steady - 30.0; }) - levels.begin());
        const double decay = 0.01 * static_cast<double>(end - 300);
        if (c.rt60 == 0.0)
            EXPECT_LT(decay, 0.05) << c.name;
        else
            EXPECT_NEAR(decay, c.rt60 / 2.0, c.rt60 * 0.15) << c.name;
    }
}

TEST(MicSimulator, ASmallSpeakerLosesTheBassRingsNearTwoAndAHalfKilohertzAndClipsSoftly) {
    struct Case {
        double hertz;
        double minDb, maxDb;  // against 1 kHz
    } cases[] = {{100.0, -100.0, -30.0}, {200.0, -100.0, -10.0}, {2500.0, 3.0, 9.0}};
    for (const Case& c : cases) {
        MicSettings settings;
        settings.bandLimit = false;
        settings.speaker = true;
        const std::vector<float> clip = record(track({c.hertz, 1000.0}, 0.0, 12.0), settings);
        EXPECT_GT(db(powerAt(clip, c.hertz) / powerAt(clip, 1000.0)), c.minDb) << c.hertz;
        EXPECT_LT(db(powerAt(clip, c.hertz) / powerAt(clip, 1000.0)), c.maxDb) << c.hertz;
    }
    // Driven hard, it clips softly: a pure tone comes out with its third harmonic.
    MicSettings settings;
    settings.bandLimit = false;
    const std::vector<float> clean = record(track({1000.0}, 0.0, 12.0), settings);
    settings.speaker = true;
    const std::vector<float> clipped = record(track({1000.0}, 0.0, 12.0), settings);
    EXPECT_LT(db(powerAt(clean, 3000.0) / powerAt(clean, 1000.0)), -60.0);
    EXPECT_GT(db(powerAt(clipped, 3000.0) / powerAt(clipped, 1000.0)), -30.0);
}

TEST(MicSimulator, MusicForPartOfTheClipLeavesTheRestSilent) {
    for (double seconds : {2.0, 5.0, 9.0}) {
        MicSettings settings;
        settings.musicSeconds = seconds;
        EXPECT_NEAR(soundingSeconds(record(track({440.0, 1000.0}, 0.0, 12.0), settings)), seconds, 0.05) << seconds;
    }
}

TEST(MicSimulator, NoiseAndChatterAreAddedAtTheAskedLevelAgainstTheMusic) {
    struct Case {
        const char* name;
        MicSettings::Noise noise;
        double snrDb, babbleDb, musicSeconds;
    } cases[] = {
        {"room noise at 10 dB", MicSettings::Noise::room, 10.0, 1000.0, 0.0},
        {"pink noise at -5 dB", MicSettings::Noise::pink, -5.0, 1000.0, 0.0},
        {"chatter at 10 dB", MicSettings::Noise::room, 1000.0, 10.0, 0.0},
        {"pink noise at 0 dB beside 5 s of music", MicSettings::Noise::pink, 0.0, 1000.0, 5.0},
    };
    const std::vector<float> source = track({440.0, 1000.0}, 0.0, 12.0);
    for (const Case& c : cases) {
        MicSettings settings;
        settings.bandLimit = false;
        settings.musicSeconds = c.musicSeconds;
        const std::vector<float> clean = record(source, settings);
        settings.noise = c.noise;
        settings.snrDb = c.snrDb;
        settings.babbleDb = c.babbleDb;
        std::vector<float> added = record(source, settings);
        double music = 0.0;
        size_t playing = 0;
        for (size_t i = 0; i < added.size(); ++i) {
            added[i] -= clean[i];
            music += static_cast<double>(clean[i]) * clean[i];
            playing += clean[i] != 0.0f;
        }
        EXPECT_NEAR(db(music / static_cast<double>(playing) / power(added)), std::min(c.snrDb, c.babbleDb), 0.3) << c.name;
    }
}

TEST(MicSimulator, PinkNoiseHasEqualPowerInEveryOctave) {
    std::mt19937 random(5);
    const std::vector<float> noise = pinkNoise(20 * kRate, random);
    const auto octave = [&](double from) {
        std::vector<float> band = noise;
        for (int pass = 0; pass < 2; ++pass) {
            Biquad::highPass(from, kRate).run(band);
            Biquad::lowPass(2.0 * from, kRate).run(band);
        }
        return power(band);
    };
    const double reference = octave(250.0);
    for (double from : {62.5, 125.0, 500.0, 1000.0})
        EXPECT_NEAR(db(octave(from) / reference), 0.0, 1.0) << from;
}

} // namespace
} // namespace melodex::micsim
