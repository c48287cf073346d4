#include "Options.h"

#include "Degradations.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>

namespace melodex::micsim {
namespace {

// The whole of `text` as a number; false for anything else ("", "5x", "fast").
bool number(const std::string& text, double& value) {
    if (text.empty())
        return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size();
}

// The options that take one number, and whether it must be above zero.
struct NumberOption {
    const char* name;
    double MicSettings::*field;
    bool positive;
};
constexpr NumberOption kNumberOptions[] = {
    {"--snr", &MicSettings::snrDb, false},       {"--babble", &MicSettings::babbleDb, false},
    {"--gain", &MicSettings::gainDb, false},     {"--pitch", &MicSettings::pitchSemitones, false},
    {"--speed", &MicSettings::speed, true},      {"--music-for", &MicSettings::musicSeconds, true},
};

} // namespace

bool parseDegradations(const std::vector<std::string>& args, MicSettings& settings, std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        double v = 0.0;
        const auto numeric = std::find_if(std::begin(kNumberOptions), std::end(kNumberOptions),
                                          [&](const NumberOption& o) { return arg == o.name; });
        if (numeric != std::end(kNumberOptions)) {
            if (!hasValue || !number(args[i + 1], v) || (numeric->positive && v <= 0.0)) {
                error = arg + " needs " + (numeric->positive ? "a positive number" : "a number");
                return false;
            }
            settings.*numeric->field = v;
            ++i;
        } else if (arg == "--reverb") {
            settings.reverb = true;
            // The time is optional: a number after it is the room's, anything else is not.
            if (hasValue && number(args[i + 1], v)) {
                if (v <= 0.0) {
                    error = "--reverb needs a positive time";
                    return false;
                }
                settings.reverbSeconds = v;
                ++i;
            }
        } else if (arg == "--noise") {
            if (!hasValue || (args[i + 1] != "room" && args[i + 1] != "pink")) {
                error = "--noise is room or pink";
                return false;
            }
            settings.noise = args[++i] == "pink" ? MicSettings::Noise::pink : MicSettings::Noise::room;
        } else if (arg == "--room") {
            if (!hasValue) {
                error = "--room needs an impulse response's file or hall:RT60";
                return false;
            }
            const std::string room = args[++i];
            if (room.starts_with("hall:")) {
                if (!number(room.substr(5), v) || v <= 0.0) {
                    error = "--room hall: needs a positive reverberation time";
                    return false;
                }
                settings.room = hallResponse(v, settings.seed);
            } else if (!loadImpulse(room, settings.room, error)) {
                return false;
            }
        } else if (arg == "--speaker") {
            settings.speaker = true;
        } else if (arg == "--gsm") {
            settings.gsm = true;
        } else if (arg == "--no-band-limit") {
            settings.bandLimit = false;
        } else {
            error = "unknown option " + arg;
            return false;
        }
    }
    return true;
}

} // namespace melodex::micsim
