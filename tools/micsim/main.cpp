// melodex-micsim TRACK --at SECONDS [options] -o OUT: an 11-second clip of TRACK as a phone
// near a loudspeaker would record it, in the client's 180096-byte layout or as a
// plain WAV. It feeds the benchmark and the emulated phone's --mic.
#include "Degradations.h"
#include "MicSimulator.h"

#include "audio/AudioFile.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

using namespace melodex;

namespace {
int usage() {
    std::fprintf(stderr,
                 "usage: melodex-micsim TRACK --at SECONDS -o OUT [--format client|wav] [--seconds 11]\n"
                 "       [--snr DB] [--reverb [RT60]] [--gain DB] [--speed FACTOR] [--gsm] [--no-band-limit]\n"
                 "       [--pitch SEMITONES] [--music-for SECONDS] [--speaker] [--room IR_FILE|hall:RT60]\n"
                 "       [--noise room|pink] [--babble DB] [--seed N]\n"
                 "  --speed changes tempo and pitch together (1.05: 5 %% fast); --pitch moves the pitch only;\n"
                 "  --room convolves with a room's impulse response from a sound file, or with a large hall\n"
                 "  of that reverberation time made from --seed; --snr's noise is a room's hum (room) or pink.\n"
                 "  --format client (default) writes the 180096-byte request body the phone sends;\n"
                 "  --format wav writes 16-bit 8000 Hz mono WAV.\n");
    return 2;
}
} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return usage();
    const std::string track = argv[1];
    std::string output;
    std::string format = "client";
    micsim::MicSettings settings;
    bool haveAt = false;
    std::string room;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        const char* v = nullptr;
        if (arg == "--at" && (v = value()))
            settings.atSeconds = std::atof(v), haveAt = true;
        else if ((arg == "-o" || arg == "--output") && (v = value()))
            output = v;
        else if (arg == "--format" && (v = value()))
            format = v;
        else if (arg == "--seconds" && (v = value()))
            settings.seconds = std::atof(v);
        else if (arg == "--snr" && (v = value()))
            settings.snrDb = std::atof(v);
        else if (arg == "--reverb") {
            settings.reverb = true;
            if (i + 1 < argc && argv[i + 1][0] != '-')
                settings.reverbSeconds = std::atof(argv[++i]);
        } else if (arg == "--gain" && (v = value()))
            settings.gainDb = std::atof(v);
        else if (arg == "--speed" && (v = value()))
            settings.speed = std::atof(v);
        else if (arg == "--pitch" && (v = value()))
            settings.pitchSemitones = std::atof(v);
        else if (arg == "--music-for" && (v = value()))
            settings.musicSeconds = std::atof(v);
        else if (arg == "--speaker")
            settings.speaker = true;
        else if (arg == "--room" && (v = value()))
            room = v;
        else if (arg == "--noise" && (v = value()) && (std::string(v) == "room" || std::string(v) == "pink"))
            settings.noise = std::string(v) == "pink" ? micsim::MicSettings::Noise::pink : micsim::MicSettings::Noise::room;
        else if (arg == "--babble" && (v = value()))
            settings.babbleDb = std::atof(v);
        else if (arg == "--gsm")
            settings.gsm = true;
        else if (arg == "--no-band-limit")
            settings.bandLimit = false;
        else if (arg == "--seed" && (v = value()))
            settings.seed = static_cast<uint32_t>(std::strtoul(v, nullptr, 10));
        else
            return usage();
    }
    if (!haveAt || output.empty() || (format != "client" && format != "wav") || settings.speed <= 0.0 ||
        settings.seconds <= 0.0)
        return usage();
    if (format == "client" && settings.seconds != 11.0) {
        std::fprintf(stderr, "melodex-micsim: the client layout holds exactly 11 seconds\n");
        return 2;
    }

    std::string error;
    if (room.starts_with("hall:")) {
        const double rt60 = std::atof(room.c_str() + 5);
        if (rt60 <= 0.0)
            return usage();
        settings.room = micsim::hallResponse(rt60, settings.seed);
    } else if (!room.empty() && !micsim::loadImpulse(room, settings.room, error)) {
        std::fprintf(stderr, "melodex-micsim: %s\n", error.c_str());
        return 1;
    }

    audio::AudioFile file;
    if (!file.load(track, error)) {
        std::fprintf(stderr, "melodex-micsim: %s\n", error.c_str());
        return 1;
    }
    std::vector<float> clip;
    if (!micsim::MicSimulator(settings).simulate(file.samples, file.sampleRate, clip, error)) {
        std::fprintf(stderr, "melodex-micsim: %s\n", error.c_str());
        return 1;
    }
    if (format == "wav") {
        if (!micsim::MicSimulator::writeWav(output, clip, error)) {
            std::fprintf(stderr, "melodex-micsim: %s\n", error.c_str());
            return 1;
        }
        return 0;
    }
    const std::string image = micsim::MicSimulator::clientImage(clip);
    std::ofstream out(output, std::ios::binary);
    out.write(image.data(), static_cast<std::streamsize>(image.size()));
    if (!out) {
        std::fprintf(stderr, "melodex-micsim: cannot write %s\n", output.c_str());
        return 1;
    }
    return 0;
}
