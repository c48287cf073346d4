// Tracks that no catalog holds, made from installed music so that a benchmark catalog can be
// filled to 10^5 tracks around the real ones: a passage of 30-60 s reversed in time, moved by
// whole semitones, or two such passages mixed. Each fingerprints as a song of its own, yet
// has the peaks, tones and rhythms of music, the near relatives of the real tracks included.
//
// They are made in the spectrogram, never as audio: a source is decoded and analysed once,
// and each distractor is rows of its spectrogram reversed (exactly the spectrogram of the
// reversed passage), resampled along frequency (a pitch shift) or added in power (a mix of
// two passages whose phases are unrelated), then peaks and landmarks as the catalog makes
// them. That is what makes 1000 hours of distractors a matter of minutes.
#pragma once

#include "catalog/CatalogBuilder.h"
#include "fingerprint/FingerprintConfig.h"

#include <cstdint>
#include <string>
#include <vector>

namespace melodex::bench {

class DistractorGenerator {
public:
    DistractorGenerator(const fp::FingerprintConfig& config, uint32_t seed);

    // Decodes the sources and keeps their spectrograms (about 190 MB an hour of music).
    bool load(const std::vector<std::string>& sourceFiles, std::string& error);

    // Distractor number `index`, the same for the same seed and sources; safe from many threads.
    catalog::TrackInput make(size_t index) const;

private:
    struct Source {
        std::string name;
        int frames = 0;
        std::vector<float> power;  // frames x bins, log power (PeakExtractor::spectrogram)
    };
    struct Passage {
        const Source* source;
        int start;
        bool reversed;
        int semitones;
    };
    void render(const Passage& p, int frames, std::vector<float>& out) const;
    static std::string describe(const Passage& p);

    fp::FingerprintConfig config_;
    uint32_t seed_;
    int bins_;
    std::vector<Source> sources_;
};

} // namespace melodex::bench
