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
    : config_(config), seed_(seed), extractor_(config) {}

bool DistractorGenerator::load(const std::vector<std::string>& sourceFiles, std::string& error) {
    const int minFrames = static_cast<int>(62.0 * config_.sampleRate / config_.hopSize);  // a 60 s passage fits
    for (const std::string& path : sourceFiles) {
        audio::AudioFile file;
        if (!file.load(path, error))
            return false;
        Source s;
        s.name = std::filesystem::path(path).stem().string();
        const std::vector<float> mono = audio::resample(file.samples, file.sampleRate, config_.sampleRate);
        s.frames = static_cast<int>(mono.size() / static_cast<size_t>(config_.hopSize));
        s.peaks = extractor_.extract(mono, fp::PeakDensity::Reference);
        if (s.frames >= minFrames)
            sources_.push_back(std::move(s));
    }
    if (sources_.empty())
        error = "no source of a minute or more to make distractors from";
    return !sources_.empty();
}

std::vector<fp::Peak> DistractorGenerator::render(const Passage& p, int frames, float gainDb) const {
    const double ratio = std::pow(2.0, p.semitones / 12.0);
    const auto first = std::lower_bound(p.source->peaks.begin(), p.source->peaks.end(), p.start,
                                        [](const fp::Peak& a, int frame) { return a.frame < frame; });
    std::vector<fp::Peak> out;
    for (auto it = first; it != p.source->peaks.end() && it->frame < p.start + frames; ++it) {
        fp::Peak q = *it;
        q.frame = p.reversed ? p.start + frames - 1 - it->frame : it->frame - p.start;
        q.frameFraction = p.reversed ? -it->frameFraction : it->frameFraction;
        const double bin = (it->bin + static_cast<double>(it->binFraction)) * ratio;
        q.bin = static_cast<int32_t>(std::lround(bin));
        q.binFraction = static_cast<float>(bin - q.bin);
        q.level += gainDb;
        if (q.bin >= config_.minBin && q.bin <= config_.maxBin)
            out.push_back(q);
    }
    std::sort(out.begin(), out.end(), [](const fp::Peak& a, const fp::Peak& b) {
        return a.frame != b.frame ? a.frame < b.frame : a.bin < b.bin;
    });
    return out;
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
            // A passage moved but not reversed keeps three semitones or more from its source.
            // One semitone away it is its source played a semitone off, which the service finds
            // as that very song; two away, a clip of the source played a semitone off is as
            // near it as its source, and is found as either.
            p.semitones = std::uniform_int_distribution<int>(p.reversed ? 1 : 3, 7)(random);
            if (random() & 1)
                p.semitones = -p.semitones;
        }
        return p;
    };
    const Passage first = draw();
    std::vector<fp::Peak> peaks = render(first, frames, 0.0f);
    std::string title = describe(first);
    if (random() % 3 == 0) {
        // A mix, the second passage 0-9 dB down: a peak stays if no louder peak of the other
        // passage lies in its neighbourhood.
        const Passage second = draw();
        const auto gain = static_cast<float>(-std::uniform_real_distribution<double>(0.0, 9.0)(random));
        const std::vector<fp::Peak> other = render(second, frames, gain);
        const auto keep = [this](const fp::Peak& p, const std::vector<fp::Peak>& rivals) {
            const int radius = extractor_.frequencyRadius(p.bin, fp::PeakDensity::Reference);
            const auto from = std::lower_bound(rivals.begin(), rivals.end(), p.frame - config_.refPeakTimeRadius,
                                               [](const fp::Peak& a, int frame) { return a.frame < frame; });
            for (auto it = from; it != rivals.end() && it->frame <= p.frame + config_.refPeakTimeRadius; ++it)
                if (std::abs(it->bin - p.bin) <= radius && it->level > p.level)
                    return false;
            return true;
        };
        std::vector<fp::Peak> mixed;
        for (const fp::Peak& p : peaks)
            if (keep(p, other))
                mixed.push_back(p);
        for (const fp::Peak& p : other)
            if (keep(p, peaks))
                mixed.push_back(p);
        std::sort(mixed.begin(), mixed.end(), [](const fp::Peak& a, const fp::Peak& b) {
            return a.frame != b.frame ? a.frame < b.frame : a.bin != b.bin ? a.bin < b.bin : a.level > b.level;
        });
        mixed.erase(std::unique(mixed.begin(), mixed.end(),
                                [](const fp::Peak& a, const fp::Peak& b) { return a.frame == b.frame && a.bin == b.bin; }),
                    mixed.end());
        peaks = std::move(mixed);
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
    t.peaks = std::move(peaks);
    return t;
}

} // namespace melodex::bench
