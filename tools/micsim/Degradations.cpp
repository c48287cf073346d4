#include "Degradations.h"

#include "Biquad.h"
#include "audio/AudioFile.h"
#include "audio/Resampler.h"

#include <rubberband/rubberband-c.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <numbers>

namespace melodex::micsim {
namespace {

constexpr int kRate = 8000;

void scaleTo(std::vector<float>& x, double targetRms) {
    const double now = std::sqrt(meanPower(x));
    if (now > 0.0)
        for (float& s : x)
            s = static_cast<float>(s * targetRms / now);
}

} // namespace

double meanPower(std::span<const float> x) {
    double sum = 0.0;
    for (float s : x)
        sum += static_cast<double>(s) * s;
    return x.empty() ? 0.0 : sum / static_cast<double>(x.size());
}

std::vector<float> pitchShift(const std::vector<float>& clip, double semitones) {
    const auto options = RubberBandOptionProcessOffline | RubberBandOptionEngineFiner;
    std::unique_ptr<RubberBandState_, void (*)(RubberBandState)> stretcher(
        rubberband_new(kRate, 1, options, 1.0, std::pow(2.0, semitones / 12.0)), &rubberband_delete);
    constexpr unsigned kBlock = 4096;
    rubberband_set_max_process_size(stretcher.get(), kBlock);
    rubberband_set_expected_input_duration(stretcher.get(), static_cast<unsigned>(clip.size()));
    std::vector<float> out;
    const auto drain = [&] {
        for (int available; (available = rubberband_available(stretcher.get())) > 0;) {
            const size_t had = out.size();
            out.resize(had + static_cast<size_t>(available));
            float* into[1] = {out.data() + had};
            rubberband_retrieve(stretcher.get(), into, static_cast<unsigned>(available));
        }
    };
    for (int pass = 0; pass < 2; ++pass)
        for (size_t at = 0; at < clip.size(); at += kBlock) {
            const float* in[1] = {clip.data() + at};
            const auto n = static_cast<unsigned>(std::min<size_t>(kBlock, clip.size() - at));
            const int last = at + n == clip.size();
            if (pass == 0) {
                rubberband_study(stretcher.get(), in, n, last);
            } else {
                rubberband_process(stretcher.get(), in, n, last);
                drain();
            }
        }
    out.resize(clip.size(), 0.0f);
    return out;
}

void smallSpeaker(std::vector<float>& clip) {
    Biquad::highPass(300.0, kRate, 1.2).run(clip);  // the cone's corner, peaking a little
    Biquad::highPass(300.0, kRate).run(clip);       // the box: steeper below it
    Biquad::peak(2500.0, kRate, 2.0, 6.0).run(clip);
    // Driven so that its loudest moments squash (tanh past about a third of the peak); quiet
    // passages pass at unity gain.
    float peak = 0.0f;
    for (float s : clip)
        peak = std::max(peak, std::abs(s));
    if (peak > 0.0f)
        for (float& s : clip)
            s = peak / 3.0f * std::tanh(3.0f * s / peak);
}

std::vector<float> hallResponse(double rt60, uint32_t seed) {
    std::mt19937 random(seed);
    std::normal_distribution<float> gauss(0.0f, 1.0f);
    const auto length = static_cast<size_t>(1.5 * rt60 * kRate);
    std::vector<float> direct(length, 0.0f);
    direct[0] = 1.0f;
    // Early reflections: walls and ceiling, 8-80 ms after the direct sound, weaker the later.
    for (int r = 0; r < 24; ++r) {
        const double t = std::uniform_real_distribution<double>(0.008, 0.080)(random);
        const auto at = static_cast<size_t>(t * kRate);
        const double gain = std::uniform_real_distribution<double>(0.2, 0.6)(random) * std::exp(-t / 0.08);
        if (at < length)
            direct[at] += static_cast<float>((random() % 2 ? 1.0 : -1.0) * gain);
    }
    double directEnergy = 0.0;
    for (float s : direct)
        directEnergy += static_cast<double>(s) * s;

    // The diffuse tail in three bands, each with its own decay, building up over ~20 ms.
    struct Band {
        double rtShare;
        double low, high;  // pass band, 0 for none
    };
    const std::array<Band, 3> bands{{{1.3, 0, 500}, {1.0, 500, 2000}, {0.6, 2000, 0}}};
    std::vector<float> tail(length, 0.0f);
    for (const Band& band : bands) {
        std::vector<float> noise(length);
        for (float& n : noise)
            n = gauss(random);
        if (band.low > 0)
            Biquad::highPass(band.low, kRate).run(noise);
        if (band.high > 0)
            Biquad::lowPass(band.high, kRate).run(noise);
        const double decay = std::log(1000.0) / (band.rtShare * rt60);  // amplitude, per second
        for (size_t i = 0; i < length; ++i) {
            const double t = static_cast<double>(i) / kRate - 0.025;
            if (t > 0)
                tail[i] += static_cast<float>(noise[i] * std::exp(-decay * t) * (1.0 - std::exp(-t / 0.02)));
        }
    }
    double tailEnergy = 0.0;
    for (float s : tail)
        tailEnergy += static_cast<double>(s) * s;
    const double tailGain = std::sqrt(8.0 * directEnergy / std::max(tailEnergy, 1e-30));
    for (size_t i = 0; i < length; ++i)
        direct[i] += static_cast<float>(tailGain * tail[i]);
    return direct;
}

bool loadImpulse(const std::string& path, std::vector<float>& impulse, std::string& error) {
    audio::AudioFile file;
    if (!file.load(path, error))
        return false;
    impulse = audio::resample(file.samples, file.sampleRate, kRate);
    if (impulse.empty()) {
        error = path + " holds no sound";
        return false;
    }
    return true;
}

std::vector<float> pinkNoise(size_t count, std::mt19937& random) {
    // One-pole low-passes with corners an octave apart, each weighted by 1/sqrt(corner): their
    // sum falls 3 dB an octave from 10 Hz to 4 kHz within half a decibel.
    constexpr int kPoles = 10;
    std::array<double, kPoles> pole{}, weight{}, state{};
    for (int k = 0; k < kPoles; ++k) {
        const double corner = 10.0 * std::pow(2.0, k);
        pole[static_cast<size_t>(k)] = std::exp(-2.0 * std::numbers::pi * corner / kRate);
        weight[static_cast<size_t>(k)] = (1.0 - pole[static_cast<size_t>(k)]) / std::sqrt(corner);
    }
    std::normal_distribution<double> gauss(0.0, 1.0);
    std::vector<float> noise(count);
    for (float& n : noise) {
        const double white = gauss(random);
        double sum = 0.0;
        for (size_t k = 0; k < kPoles; ++k) {
            state[k] = pole[k] * state[k] + weight[k] * white;
            sum += state[k];
        }
        n = static_cast<float>(sum);
    }
    return noise;
}

std::vector<float> babble(size_t count, std::mt19937& random) {
    // Vowel formants of an adult male voice (Hz); other voices scale them.
    constexpr std::array<std::array<double, 3>, 5> kVowels{
        {{270, 2290, 3010}, {530, 1840, 2480}, {730, 1090, 2440}, {570, 840, 2410}, {300, 870, 2240}}};
    constexpr std::array<double, 3> kBandwidths{80, 100, 150};
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<float> crowd(count, 0.0f);
    for (int voice = 0; voice < 6; ++voice) {
        const bool high = voice % 2 == 1;
        const double pitch = high ? 170.0 + 70.0 * unit(random) : 95.0 + 45.0 * unit(random);
        const double formantScale = high ? 1.15 : 1.0;
        std::vector<float> speech(count, 0.0f);
        std::array<double, 6> state{};  // two per formant resonator
        double phase = unit(random);
        size_t at = static_cast<size_t>(0.3 * kRate * unit(random));
        while (at < count) {
            if (unit(random) < 0.25) {  // a pause between words
                at += static_cast<size_t>((0.05 + 0.2 * unit(random)) * kRate);
                continue;
            }
            const auto& vowel = kVowels[static_cast<size_t>(random() % kVowels.size())];
            const auto length = static_cast<size_t>((0.1 + 0.2 * unit(random)) * kRate);
            const double f0From = pitch * (0.85 + 0.3 * unit(random)), f0To = pitch * (0.85 + 0.3 * unit(random));
            std::array<double, 6> coefficient{};  // per resonator: 2 r cos(theta), -r^2
            std::array<double, 3> dcGain{};
            for (size_t f = 0; f < 3; ++f) {
                const double r = std::exp(-std::numbers::pi * kBandwidths[f] / kRate);
                const double theta = 2.0 * std::numbers::pi * vowel[f] * formantScale / kRate;
                coefficient[2 * f] = 2.0 * r * std::cos(theta);
                coefficient[2 * f + 1] = -r * r;
                dcGain[f] = 1.0 - coefficient[2 * f] - coefficient[2 * f + 1];
            }
            for (size_t i = 0; i < length && at + i < count; ++i) {
                const double progress = static_cast<double>(i) / static_cast<double>(length);
                phase += (f0From + (f0To - f0From) * progress) / kRate;
                double x = 0.0;
                if (phase >= 1.0) {  // a glottal pulse
                    phase -= 1.0;
                    x = 1.0;
                }
                for (size_t f = 0; f < 3; ++f) {
                    const double y = dcGain[f] * x + coefficient[2 * f] * state[2 * f] + coefficient[2 * f + 1] * state[2 * f + 1];
                    state[2 * f + 1] = state[2 * f];
                    state[2 * f] = y;
                    x = y;
                }
                const double envelope = std::sin(std::numbers::pi * progress);
                speech[at + i] = static_cast<float>(x * envelope * envelope);
            }
            at += length;
        }
        scaleTo(speech, 1.0);
        for (size_t i = 0; i < count; ++i)
            crowd[i] += speech[i];
    }
    return crowd;
}

} // namespace melodex::micsim
