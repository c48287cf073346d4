// melodex-micsim TRACK --at SECONDS [options] -o OUT: an 11-second clip of TRACK as a phone
// near a loudspeaker would record it, in the client's 180096-byte layout or as a
// plain WAV. It feeds the benchmark and the emulated phone's --mic.
#include "MicSimulator.h"
#include "Options.h"

#include "audio/AudioFile.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

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
    // The clip's own options here, the degradations after them (a hall is made from --seed,
    // wherever it stands).
    std::vector<std::string> degradations;
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
        else if (arg == "--seed" && (v = value()))
            settings.seed = static_cast<uint32_t>(std::strtoul(v, nullptr, 10));
        else
            degradations.push_back(arg);
    }
    if (!haveAt || output.empty() || (format != "client" && format != "wav") || settings.seconds <= 0.0)
        return usage();
    if (format == "client" && settings.seconds != 11.0) {
        std::fprintf(stderr, "melodex-micsim: the client layout holds exactly 11 seconds\n");
        return 2;
    }
    std::string error;
    if (!micsim::parseDegradations(degradations, settings, error)) {
        std::fprintf(stderr, "melodex-micsim: %s\n", error.c_str());
        return usage();
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
