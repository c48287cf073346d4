#include "DistractorGenerator.h"

#include "audio/AudioFile.h"
#include "audio/Resampler.h"
#include "fingerprint/HashBuilder.h"
#include "fingerprint/PeakExtractor.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>

namespace melodex::bench {

DistractorGenerator::DistractorGenerator(const fp::FingerprintConfig& config, uint32_t seed)
    : config_(config), seed_(seed), bins_(config.maxBin - config.minBin + 1) {}

bool DistractorGenerator::load(const std::vector<std::string>& sourceFiles, std::string& error) {
    const fp::PeakExtractor extractor(config_);
    const int minFrames = static_cast<int>(62.0 * config_.sampleRate / config_.hopSize);  // a 60 s passage fits
    for (const std::string& path : sourceFiles) {
        audio::AudioFile file;
        if (!file.load(path, error))
            return false;
        Source s;
        s.name = std::filesystem::path(path).stem().string();
        s.power = extractor.spectrogram(audio::resample(file.samples, file.sampleRate, config_.sampleRate), s.frames);
        if (s.frames >= minFrames)
            sources_.push_back(std::move(s));
    }
    if (sources_.empty())
        error = "no source of a minute or more to make distractors from";
    return !sources_.empty();
}

void DistractorGenerator::render(const Passage& p, int frames, std::vector<float>& out) const {
    out.resize(static_cast<size_t>(frames) * static_cast<size_t>(bins_));
    const double ratio = std::pow(2.0, p.semitones / 12.0);
    for (int f = 0; f < frames; ++f) {
        const int from = p.reversed ? p.start + frames - 1 - f : p.start + f;
        const float* in = p.source->power.data() + static_cast<size_t>(from) * static_cast<size_t>(bins_);
        float* row = out.data() + static_cast<size_t>(f) * static_cast<size_t>(bins_);
        const float floor = *std::min_element(in, in + bins_);
        for (int b = 0; b < bins_; ++b) {
            // A tone at bin x sounds at x * ratio after the shift: bin b shows what was at b / ratio.
            const double x = (config_.minBin + b) / ratio - config_.minBin;
            const int i = static_cast<int>(std::floor(x));
            const auto t = static_cast<float>(x - i);
            row[b] = i < 0 || i + 1 >= bins_ ? floor : (1.0f - t) * in[i] + t * in[i + 1];
        }
    }
}

std::string DistractorGenerator::describe(const Passage& p) {
    char text[128];
    std::snprintf(text, sizeof text, "%s%s %+d st", p.source->name.c_str(), p.reversed ? " reversed" : "", p.semitones);
    return text;
}

catalog::TrackInput DistractorGenerator::make(size_t index) const {
    std::mt19937_64 random(seed_ * 0x9E3779B97F4A7C15ull + index);
    const auto hopsPerSecond = static_cast<double>(config_.sampleRate) / config_.hopSize;
    const double seconds = std::uniform_real_distribution<double>(30.0, 60.0)(random);
    const int frames = static_cast<int>(seconds * hopsPerSecond);
    // Every passage is changed (reversed, shifted, or both): none is a copy of its source.
    auto draw = [&]() {
        const Source& s = sources_[std::uniform_int_distribution<size_t>(0, sources_.size() - 1)(random)];
        Passage p{&s, std::uniform_int_distribution<int>(0, s.frames - frames)(random), false, 0};
        const int kind = std::uniform_int_distribution<int>(0, 2)(random);
        p.reversed = kind != 1;
        if (kind != 0) {
            p.semitones = std::uniform_int_distribution<int>(1, 7)(random);
            if (random() & 1)
                p.semitones = -p.semitones;
        }
        return p;
    };
    std::vector<float> power;
    const Passage first = draw();
    render(first, frames, power);
    std::string title = describe(first);
    if (random() % 3 == 0) {
        // A mix: powers add (unrelated phases), the second passage 0-9 dB down.
        const Passage second = draw();
        std::vector<float> other;
        render(second, frames, other);
        const double gain = std::pow(10.0, -std::uniform_real_distribution<double>(0.0, 9.0)(random) / 10.0);
        for (size_t i = 0; i < power.size(); ++i)
            power[i] = static_cast<float>(10.0 * std::log10(std::pow(10.0, power[i] / 10.0) + gain * std::pow(10.0, other[i] / 10.0)));
        title += " + " + describe(second);
    }
    catalog::TrackInput t;
    t.ok = true;
    char path[48];
    std::snprintf(path, sizeof path, "distractor:%07zu", index);
    t.path = path;
    t.title = title;
    t.artist = "Melodex bench";
    t.album = "Distractors";
    t.seconds = static_cast<double>(frames) / hopsPerSecond;
    const fp::PeakExtractor extractor(config_);
    t.landmarks = fp::HashBuilder(config_).build(extractor.extractFromSpectrogram(power, frames, fp::PeakDensity::Reference),
                                                 config_.refFanOut);
    return t;
}

} // namespace melodex::bench
