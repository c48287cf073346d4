// Tracks that no catalog holds, made from installed music so that a benchmark catalog can be
// filled to 10^5 tracks around the real ones: a passage of 30-60 s reversed in time, moved by
// whole semitones, or two such passages mixed. Each fingerprints as a song of its own, yet
// has the peaks, tones and rhythms of music, the near relatives of the real tracks included.
//
// They are made from the sources' spectral peaks, never as audio: a source is decoded and its
// peaks found once, and each distractor moves a passage's peaks where the change would put
// them: mirrored in time (the spectrogram of a reversed passage is the mirrored spectrogram,
// and the peak neighbourhood is symmetric, so this is exact but at the passage's ends),
// moved up or down by the semitones' ratio (peak neighbourhoods are a constant share of an
// octave, so a shifted spectrogram's peaks are the shifted peaks but where the radius is
// clamped), or two passages' peaks joined, each kept only if no louder one of the other
// passage is in its neighbourhood (the peaks of a mix, but where two peaks share a cell).
// Landmarks follow as the catalog makes them. That is what makes 1000 hours of distractors a
// matter of minutes.
#pragma once

#include "catalog/CatalogBuilder.h"
#include "fingerprint/FingerprintConfig.h"
#include "fingerprint/PeakExtractor.h"

#include <cstdint>
#include <string>
#include <vector>

namespace melodex::bench {

class DistractorGenerator {
public:
    DistractorGenerator(const fp::FingerprintConfig& config, uint32_t seed);

    // Decodes the sources and keeps their peaks (about 1 MB an hour of music).
    bool load(const std::vector<std::string>& sourceFiles, std::string& error);

    // Distractor number `index`, the same for the same seed and sources; safe from many threads.
    catalog::TrackInput make(size_t index) const;

private:
    struct Source {
        std::string name;
        int frames = 0;
        std::vector<fp::Peak> peaks;  // reference peaks, sorted by frame
    };
    struct Passage {
        const Source* source;
        int start;
        bool reversed;
        int semitones;
    };
    std::vector<fp::Peak> render(const Passage& p, int frames, float gainDb) const;
    static std::string describe(const Passage& p);

    fp::FingerprintConfig config_;
    uint32_t seed_;
    fp::PeakExtractor extractor_;
    std::vector<Source> sources_;
};

} // namespace melodex::bench
