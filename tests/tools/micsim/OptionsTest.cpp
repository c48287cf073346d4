// The degradations read from a command line: what each option sets, and what is refused.
#include "Degradations.h"
#include "Options.h"

#include <gtest/gtest.h>

#include <functional>

namespace melodex::micsim {
namespace {

// A hall is drawn from the seed the settings hold when it is read.
TEST(ParseDegradations, EachOptionSetsItsDegradation) {
    const struct {
        std::vector<std::string> args;
        std::function<bool(const MicSettings&)> holds;
        uint32_t seed = 1;  // the settings' before the options are read
    } cases[] = {
        {{}, [](const MicSettings& s) { return s.snrDb >= 100.0 && s.babbleDb >= 100.0 && !s.reverb && s.room.empty(); }},
        {{"--snr", "-5"}, [](const MicSettings& s) { return s.snrDb == -5.0 && s.noise == MicSettings::Noise::room; }},
        {{"--noise", "pink", "--snr", "0"}, [](const MicSettings& s) { return s.noise == MicSettings::Noise::pink && s.snrDb == 0.0; }},
        {{"--babble", "10"}, [](const MicSettings& s) { return s.babbleDb == 10.0; }},
        {{"--reverb"}, [](const MicSettings& s) { return s.reverb && s.reverbSeconds == 0.5; }},
        {{"--reverb", "1.2", "--gsm"}, [](const MicSettings& s) { return s.reverb && s.reverbSeconds == 1.2 && s.gsm; }},
        {{"--reverb", "--speaker"}, [](const MicSettings& s) { return s.reverb && s.reverbSeconds == 0.5 && s.speaker; }},
        {{"--room", "hall:2.3"}, [](const MicSettings& s) { return s.room == hallResponse(2.3, 1); }},
        {{"--room", "hall:2.3"}, [](const MicSettings& s) { return s.room == hallResponse(2.3, 9) && s.room != hallResponse(2.3, 1); }, 9},
        {{"--speed", "1.06", "--pitch", "-1"}, [](const MicSettings& s) { return s.speed == 1.06 && s.pitchSemitones == -1.0; }},
        {{"--music-for", "5", "--gain", "6", "--no-band-limit"},
         [](const MicSettings& s) { return s.musicSeconds == 5.0 && s.gainDb == 6.0 && !s.bandLimit; }},
    };
    for (const auto& c : cases) {
        MicSettings settings;
        settings.seed = c.seed;
        std::string error;
        const std::string line = ::testing::PrintToString(c.args) + ", seed " + std::to_string(c.seed);
        ASSERT_TRUE(parseDegradations(c.args, settings, error)) << line << ": " << error;
        EXPECT_TRUE(c.holds(settings)) << line;
    }
}

TEST(ParseDegradations, RefusesWhatItCannotRead) {
    const struct {
        std::vector<std::string> args;
        const char* error;
    } cases[] = {
        {{"--snr"}, "--snr needs a number"},
        {{"--snr", "loud"}, "--snr needs a number"},
        {{"--babble", "10dB"}, "--babble needs a number"},
        {{"--speed", "0"}, "--speed needs a positive number"},
        {{"--speed", "-1.05"}, "--speed needs a positive number"},
        {{"--music-for"}, "--music-for needs a positive number"},
        {{"--reverb", "0"}, "--reverb needs a positive time"},
        {{"--noise", "brown"}, "--noise is room or pink"},
        {{"--noise"}, "--noise is room or pink"},
        {{"--room"}, "--room needs an impulse response's file or hall:RT60"},
        {{"--room", "hall:"}, "--room hall: needs a positive reverberation time"},
        {{"--room", "hall:-2"}, "--room hall: needs a positive reverberation time"},
        {{"--gsm", "--frobnicate"}, "unknown option --frobnicate"},
        {{"5"}, "unknown option 5"},
    };
    for (const auto& c : cases) {
        MicSettings settings;
        std::string error;
        EXPECT_FALSE(parseDegradations(c.args, settings, error)) << ::testing::PrintToString(c.args);
        EXPECT_EQ(error, c.error) << ::testing::PrintToString(c.args);
    }
}

TEST(ParseDegradations, ARoomFileThatCannotBeReadIsRefusedWithItsReason) {
    MicSettings settings;
    std::string error;
    EXPECT_FALSE(parseDegradations({"--room", "/nonexistent/room.wav"}, settings, error));
    EXPECT_NE(error.find("/nonexistent/room.wav"), std::string::npos) << error;
    EXPECT_TRUE(settings.room.empty());
}

} // namespace
} // namespace melodex::micsim
